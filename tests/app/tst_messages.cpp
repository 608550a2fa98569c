// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Every text the window shows in a message box, in one table.

#include "graph_results.h"
#include "messages.h"
#include "run_messages.h"

#include <QDir>
#include <QTest>

namespace {

analysis::StripCheck strip_check(std::vector<std::int32_t> missed, std::vector<std::int32_t> extra,
    std::vector<std::int32_t> coarse, double period_ms, double longest_ms, double followable_cm_s = 0,
    std::vector<std::int32_t> torn = {}, std::int32_t turn = 0)
{
    analysis::StripCheck check;
    check.torn_hole_sections = std::move(torn);
    if (turn > 0)
        check.turn_section = turn;
    check.missed_hole_sections = std::move(missed);
    check.extra_edge_sections = std::move(extra);
    check.coarse_period_sections = std::move(coarse);
    check.period_ms = period_ms;
    check.longest_period_ms = longest_ms;
    if (followable_cm_s > 0)
        check.followable_speed_cm_s = followable_cm_s;
    return check;
}

}  // namespace

class TestMessages : public QObject {
    Q_OBJECT

private slots:
    void texts_data();
    void texts();
    void edge_findings_data();
    void edge_findings();
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
    // A board's faults: where in the run the first reading went missing, and what to do.
    acquisition::MeasurementOutcome lost;
    lost.kind = acquisition::MeasurementOutcome::Kind::ReadingLost;
    lost.first_missing = 1500;
    QTest::newRow("a board's reading lost")
        << messages::run_fault(lost, 2, QString()).value_or(QString())
        << QStringLiteral("計測開始から 3.000 秒の読み取りがボードから届きませんでした。それまでの読み取りは残して"
                          "あります。もう一度計測してください。");
    lost.first_missing = 0;
    lost.noise = true;
    QTest::newRow("noise on the first reading")
        << messages::run_fault(lost, 1000, QString()).value_or(QString())
        << QStringLiteral("ボードとの通信に雑音が入り、計測開始から 0.000 秒の読み取りが壊れました。それまでの"
                          "読み取りは残してあります。USBケーブルをつなぎ直すか、別のケーブルに替えて計測し直して"
                          "ください。");
    acquisition::LiveOutcome live_noise;
    live_noise.kind = acquisition::LiveOutcome::Kind::ReadingLost;
    live_noise.noise = true;
    QTest::newRow("noise in the live view")
        << messages::run_fault(live_noise, 1, QString()).value_or(QString())
        << QStringLiteral("ボードとの通信に雑音が入り、読み取りが壊れました。USBケーブルをつなぎ直すか、"
                          "別のケーブルに替えてください。");
    acquisition::MeasurementOutcome overflow;
    overflow.kind = acquisition::MeasurementOutcome::Kind::BoardOverflow;
    QTest::newRow("a board's overflow")
        << messages::run_fault(overflow, 1, QString()).value_or(QString())
        << QStringLiteral("ボードが読み取りを送りきれませんでした（計測周期 1 ms）。それまでの読み取りは残して"
                          "あります。ボードをパソコンのUSB端子に直接つなぐか、計測周期を長くしてください。");
    QTest::newRow("no board on any port")
        << messages::board_not_found(QString())
        << QStringLiteral("ボードが見つかりません。ボードをUSBケーブルでつなぎ、ファームウェアが書き込まれているか"
                          "確認してください。");
    QTest::newRow("a board of another firmware")
        << messages::board_other_firmware(QStringLiteral("0.9"), QStringLiteral("1.0"))
        << QStringLiteral("ボードのファームウェアは 0.9 ですが、このプログラムには 1.0 が必要です。ボードに 1.0 を"
                          "書き込んでください。");
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
                                               "遅れました。穴の縁の時刻がずれているので、もう一度計測してください。"
                                               "たびたび起きるときは、ほかのプログラムを閉じてください。ボード（手引き"
                                               "の「変換器のかわりにボードを使う」）で計測すれば、コンピューターが忙し"
                                               "くても読み取りの時刻はずれません。");
    // The results view's line on the standing a run had, from the 入力 row of its file.
    const QString no_line = QStringLiteral("(no line)");
    QTest::newRow("standing of a run")
        << run_priority_text({"port", "COM1", "計測中の優先度", "SCHED_FIFO 10"}).value_or(no_line)
        << QStringLiteral("計測中の優先度：SCHED_FIFO 10");
    QTest::newRow("standing: the key without its value")
        << run_priority_text({"simulated", "計測中の優先度"}).value_or(no_line) << no_line;
    QTest::newRow("standing: a file from before it was kept")
        << run_priority_text({"board", "COM3", "ファームウェア", "1.0"}).value_or(no_line) << no_line;
    QTest::newRow("no edges") << messages::no_hole_edges()
                              << QStringLiteral("穴の縁が見つかりませんでした。センサーの位置と、計測中にテープが"
                                                "通ったかを確かめてください。");
    QTest::newRow("strip check: missed holes")
        << messages::strip_check_found(strip_check({12, 13}, {}, {}, 5, 2.6))
        << QStringLiteral("速すぎて穴を読み落とした区間があります（12, 13 番目）。計測周期を 2 ms "
                          "以下にして計測し直してください。");
    // Each cause with its own remedy: the period's, then the sensor's.
    const QString bounced = QStringLiteral(
        "番目）。その区間の速度の点は正しくありません。位置の当てはめは余分な縁を除いて求めましたが、揺れの多い計測では"
        "確かではありません。センサーを覆って外の光をさえぎるか、センサーをテープに近づけて計測し直してください。");
    QTest::newRow("strip check: all three, the sections in runs")
        << messages::strip_check_found(strip_check({3}, {7}, {14, 15, 16, 17, 18, 19, 20, 22}, 5, 1.3, 100.4))
        << QStringLiteral(
               "速すぎて穴を読み落とした区間があります（3 番目）。穴か穴と穴の間を1回しか読み取れなかった区間"
               "があります（14〜20, 22 番目）。計測周期 5 ms で追える速さは約 100 cm/s までです。計測周期を "
               "1 ms にして計測し直してください。読み値がしきい値のところで揺れて、穴の縁を余分に数えた区間が"
               "あります（7 ")
            + bounced;
    QTest::newRow("strip check: edges counted twice, nothing of the period")
        << messages::strip_check_found(strip_check({}, {4, 9}, {}, 1, 4.0))
        << QStringLiteral("読み値がしきい値のところで揺れて、穴の縁を余分に数えた区間があります（4, 9 ") + bounced;
    QTest::newRow("strip check: a hole missing from the strip")
        << messages::strip_check_found(strip_check({}, {}, {}, 1, 30.0, 0, {12}))
        << QStringLiteral(
               "テープに穴の欠けた所があります（12 番目の区間。破れているか、穴があいていません）。その区間の"
               "速度の点は低く出ますが、位置の当てはめは欠けた穴も数えてあります。");
    QTest::newRow("strip check: a turn")
        << messages::strip_check_found(strip_check({}, {}, {}, 1, 30.0, 0, {}, 9))
        << QStringLiteral(
               "9 番目の区間で台車が止まったか、向きを変えたか、跳ね返りました。センサー1つでは向きがわからない"
               "ので、その先の点は進む向きの動きとして描かれています。位置の当てはめはそれより前の縁だけを使っ"
               "ています。");
    // At 5 ms with the narrower taking 0.8 ms at the fastest speed: 1 ms would see every hole, though
    // not twice; taking 0.9 ms, nothing but a slower cart will do.
    QTest::newRow("strip check: 1 ms sees every hole")
        << messages::strip_check_found(strip_check({2}, {}, {}, 5, 0.5))
        << QStringLiteral(
               "速すぎて穴を読み落とした区間があります（2 番目）。計測周期を 1 ms にして計測し直してください。");
    QTest::newRow("strip check: no period sees every hole")
        << messages::strip_check_found(strip_check({2}, {}, {}, 5, 0.49))
        << QStringLiteral(
               "速すぎて穴を読み落とした区間があります（2 番目）。台車をもっと遅くして計測し直してください。");
    QTest::newRow("strip check: too fast for 1 ms")
        << messages::strip_check_found(strip_check({}, {}, {2, 3}, 1, 0.4, 250.0))
        << QStringLiteral(
               "穴か穴と穴の間を1回しか読み取れなかった区間があります（2, 3 番目）。計測周期 1 ms で追える速さは"
               "約 250 cm/s までです。台車をもっと遅くして計測し直してください。");
    QTest::newRow("strip check: a hole lost at a speed the period follows")
        << messages::strip_check_found(strip_check({6}, {}, {}, 2, 3.5))
        << QStringLiteral("速すぎて穴を読み落とした区間があります（6 番目）。もう一度計測してください。");
    // Readings late in section 14: the turn the check saw there is the pause's doing, not the cart's.
    const QString stalled = QStringLiteral("計測中にコンピューターがこのプログラムを止めたため、");
    const QString not_the_cart = QStringLiteral("その区間の時刻は台車の動きを表していません。");
    const QString inspected = QStringLiteral("「グラフを調べる」の当てはめでは、その区間を除きます。");
    QTest::newRow("late readings: a turn in their section")
        << messages::graph_findings(strip_check({}, {}, {}, 1, 30.0, 0, {}, 14), {14})
        << stalled + QStringLiteral("14 番目の区間の読み取りが遅れました。") + not_the_cart
            + QStringLiteral("その区間で見つかった折り返しも、台車ではなくこの遅れによるものです。位置の当てはめは "
                             "14 番目の区間より前の縁だけを使っています。")
            + inspected;
    // Holes missed in sections 12 and 13, readings late in 13 and 14: only 12 is the period's.
    QTest::newRow("late readings beside a finding of their own")
        << messages::graph_findings(strip_check({12, 13}, {}, {}, 5, 2.6), {13, 14})
        << stalled + QStringLiteral("13, 14 番目の区間の読み取りが遅れました。") + not_the_cart
            + QStringLiteral("その区間で見つかった穴の読み落としも、台車ではなくこの遅れによるものです。") + inspected
            + QStringLiteral("速すぎて穴を読み落とした区間があります（12 番目）。計測周期を 2 ms "
                             "以下にして計測し直してください。");
    QTest::newRow("late readings where the check found nothing")
        << messages::graph_findings(strip_check({}, {}, {}, 1, 30.0), {3, 4, 5})
        << stalled + QStringLiteral("3〜5 番目の区間の読み取りが遅れました。") + not_the_cart + inspected;
    QTest::newRow("strip check: nothing found")
        << messages::strip_check_clean()
        << QStringLiteral("穴の読み落としなど、テープの点検で見つかったものはありません。");
    QTest::newRow("results before グラフ")
        << messages::results_wait_for_graph() << QStringLiteral("グラフボタンを押すと、この計測の結果が出ます。");
    QTest::newRow("position fit before a turn")
        << messages::position_fit_refused(analysis::PositionFitRefusal::TooFewBeforeTurn)
        << QStringLiteral("台車が止まるか向きを変えるまでの縁が少なすぎて求まりません。");
    QTest::newRow("fit of one point") << messages::fit_needs_two_points()
                                      << QStringLiteral("直線を引くには、グラフの枠内に速度の点が2つ以上必要です。"
                                                        "縦縮小や横縮小で点を枠内に入れてください。");

    using storage::SaveFailure;
    using storage::SaveProblem;
    // A path is shown as the system writes it.
    const QString path = QStringLiteral("/home/rika/data.csv");
    const QString shown = QDir::toNativeSeparators(path);
    const QString cannot_save = shown + QStringLiteral(" に保存できませんでした。\n理由: ");
    const QString kept = QStringLiteral("\n前からあるファイルはそのままです。");
    QTest::newRow("disk full over an earlier file")
        << messages::file_cannot_save(path, SaveFailure{SaveProblem::DiskFull, QStringLiteral("No space left"), true})
        << cannot_save + QStringLiteral("ディスクがいっぱいです。") + kept;
    QTest::newRow("disk full, a new file") << messages::file_cannot_save(path, {SaveProblem::DiskFull, {}, false})
                                           << cannot_save + QStringLiteral("ディスクがいっぱいです。");
    QTest::newRow("no permission") << messages::file_cannot_save(path, {SaveProblem::NoPermission, {}, true})
                                   << cannot_save
            + QStringLiteral("このフォルダーかファイルに書き込む権限がありません。") + kept;
    QTest::newRow("read-only disk") << messages::file_cannot_save(path, {SaveProblem::ReadOnlyDisk, {}, false})
                                    << cannot_save + QStringLiteral("ディスクが読み取り専用です。");
    QTest::newRow("folder gone") << messages::file_cannot_save(path, {SaveProblem::FolderMissing, {}, false})
                                 << cannot_save + QStringLiteral("保存先のフォルダーがありません。");
    QTest::newRow("the system's own words")
        << messages::file_cannot_save(path, {SaveProblem::Other, QStringLiteral("File too large"), true})
        << cannot_save + QStringLiteral("File too large") + kept;

    using storage::ReadProblem;
    const QString cannot_open = shown + QStringLiteral(" を開けませんでした。\n");
    const QString unchanged = QStringLiteral("\n画面の計測データはそのままです。");
    QTest::newRow("not a file") << messages::file_cannot_open(path, {ReadProblem::NotAFile, 0, {}})
                                << cannot_open
            + QStringLiteral("フォルダーやパイプ、装置などで、ファイルではありません。") + unchanged;
    QTest::newRow("reading out of range")
        << messages::file_cannot_open(path, {ReadProblem::SampleOutOfRange, 14, {}})
        << cannot_open + QStringLiteral("14 行目: 読み値が -255〜255 の範囲にありません。") + unchanged;
    QTest::newRow("period out of range") << messages::file_cannot_open(path, {ReadProblem::PeriodOutOfRange, 5, {}})
                                         << cannot_open
            + QStringLiteral("5 行目: 計測周期が 1〜1000 ms の範囲にありません。") + unchanged;
    QTest::newRow("time out of range") << messages::file_cannot_open(path, {ReadProblem::TimeOutOfRange, 6, {}})
                                       << cannot_open
            + QStringLiteral("6 行目: 計測時間が 1〜10 s の整数ではありません。") + unchanged;
    QTest::newRow("N out of range") << messages::file_cannot_open(path, {ReadProblem::CountOutOfRange, 8, {}})
                                    << cannot_open + QStringLiteral("8 行目: N が 1〜10000 の範囲にありません。")
            + unchanged;
}

void TestMessages::texts()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(text, expected);
}

void TestMessages::edge_findings_data()
{
    QTest::addColumn<bool>("stamped");
    QTest::addColumn<int>("edges");
    QTest::addColumn<int>("pulses");  // holes the readings show
    QTest::addColumn<bool>("lost");
    QTest::addColumn<int>("refused");
    QTest::addColumn<QStringList>("findings");

    const QString unwired = messages::board_edges_unwired();
    const QString lost = messages::board_edges_lost();
    QTest::newRow("no stamps: a converter, or a board of layout 1") << false << 0 << 5 << false << 0 << QStringList{};
    QTest::newRow("every edge stamped") << true << 10 << 5 << false << 0 << QStringList{};
    QTest::newRow("D8 silent, the readings show one hole") << true << 0 << 1 << false << 0 << QStringList{unwired};
    QTest::newRow("D8 silent, the readings show none") << true << 0 << 0 << false << 0 << QStringList{};
    QTest::newRow("chatter: some not sent") << true << 8 << 5 << true << 0 << QStringList{lost};
    QTest::newRow("one left out") << true << 9 << 5 << false << 1 << QStringList{messages::board_edges_refused(1)};
}

void TestMessages::edge_findings()
{
    QFETCH(bool, stamped);
    QFETCH(int, edges);
    QFETCH(int, pulses);
    QFETCH(bool, lost);
    QFETCH(int, refused);
    QFETCH(QStringList, findings);
    common::EdgeStamps stamps;
    stamps.stamped = stamped;
    for (int i = 0; i < edges; ++i)
        stamps.edges.push_back({i * 1000, i % 2 == 0});
    stamps.lost = lost;
    stamps.refused = refused;
    QCOMPARE(edge_stamp_findings(stamps, static_cast<std::size_t>(pulses)), findings);
}

QTEST_GUILESS_MAIN(TestMessages)
#include "tst_messages.moc"
