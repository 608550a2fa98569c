// Every text the window shows in a message box, in one table.

#include "messages.h"

#include <QTest>

class TestMessages : public QObject {
    Q_OBJECT

private slots:
    void texts_data();
    void texts();
};

void TestMessages::texts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("graph first") << messages::measure_first()
                                 << QStringLiteral("計測ボタンを押してからにしてください。");
    QTest::newRow("fit first") << messages::graph_first() << QStringLiteral("グラフボタンを押してからにしてください。");
    QTest::newRow("holes per section") << messages::holes_per_section_refused()
                                       << QStringLiteral("1区間の穴数には1から32767までの整数を入れてください。");
    QTest::newRow("port cannot open") << messages::port_cannot_open(QStringLiteral("/dev/ttyUSB0"))
                                      << QStringLiteral("ポート /dev/ttyUSB0 を開けません。接続を確認してください。");
    QTest::newRow("port lost") << messages::port_lost(QStringLiteral("COM3"))
                               << QStringLiteral("ポート COM3 との通信が途切れました。接続を確認してください。");
    QTest::newRow("converter silent") << messages::converter_silent()
                                      << QStringLiteral("変換器が応答しません。変換器の接続と電源を確認してください。");
    QTest::newRow("slow readings, whole milliseconds")
        << messages::schedule_too_short(1, 48.4, 54)
        << QStringLiteral("読み取りが計測周期 1 ms に間に合いませんでした（1回の読み取りに約 48 ms "
                          "かかりました）。計測周期を 54 ms 以上にしてください。");
    QTest::newRow("slow readings, tenths under 10 ms")
        << messages::schedule_too_short(2, 2.46, 3)
        << QStringLiteral("読み取りが計測周期 2 ms に間に合いませんでした（1回の読み取りに約 2.5 ms "
                          "かかりました）。計測周期を 3 ms 以上にしてください。");
    QTest::newRow("a pause") << messages::schedule_paused(4.2)
                             << QStringLiteral("計測中にコンピューターの処理が止まり、読み取りが最大 4 ms "
                                               "遅れました。穴の縁の時刻がずれているので、もう一度計測してください。");
    QTest::newRow("no edges") << messages::no_hole_edges()
                              << QStringLiteral("穴の縁が見つかりませんでした。センサーの位置と、計測中にテープが"
                                                "通ったかを確かめてください。");
    QTest::newRow("fit of one point") << messages::fit_needs_two_points()
                                      << QStringLiteral("直線を引くには、グラフの枠内に速度の点が2つ以上必要です。"
                                                        "縦縮小や横縮小で点を枠内に入れてください。");
}

void TestMessages::texts()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(text, expected);
}

QTEST_GUILESS_MAIN(TestMessages)
#include "tst_messages.moc"
