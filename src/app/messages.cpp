#include "messages.h"

namespace messages {

QString measure_first() { return QStringLiteral("計測ボタンを押してからにしてください。"); }

QString graph_first() { return QStringLiteral("グラフボタンを押してからにしてください。"); }

QString holes_per_section_refused() { return QStringLiteral("1区間の穴数には1から32767までの整数を入れてください。"); }

QString port_cannot_open(const QString &device)
{
    return QStringLiteral("ポート %1 を開けません。接続を確認してください。").arg(device);
}

QString port_lost(const QString &device)
{
    return QStringLiteral("ポート %1 との通信が途切れました。接続を確認してください。").arg(device);
}

QString converter_silent() { return QStringLiteral("変換器が応答しません。変換器の接続と電源を確認してください。"); }

QString schedule_too_short(std::int32_t period_ms, double reading_ms, std::int32_t shortest_period_ms)
{
    // Under 10 ms the tenths still say something; above, whole milliseconds are enough.
    const QString reading = QString::number(reading_ms, 'f', reading_ms < 10 ? 1 : 0);
    return QStringLiteral("読み取りが計測周期 %1 ms に間に合いませんでした（1回の読み取りに約 %2 ms "
                          "かかりました）。計測周期を %3 ms 以上にしてください。")
        .arg(period_ms)
        .arg(reading)
        .arg(shortest_period_ms);
}

QString schedule_paused(double worst_ms)
{
    return QStringLiteral("計測中にコンピューターの処理が止まり、読み取りが最大 %1 ms "
                          "遅れました。穴の縁の時刻がずれているので、もう一度計測してください。")
        .arg(QString::number(worst_ms, 'f', 0));
}

QString no_hole_edges()
{
    return QStringLiteral(
        "穴の縁が見つかりませんでした。センサーの位置と、計測中にテープが通ったかを確かめてください。");
}

QString fit_needs_two_points()
{
    return QStringLiteral("直線を引くには、グラフの枠内に速度の点が2つ以上必要です。縦縮小や横縮小で点を枠内に"
                          "入れてください。");
}

}  // namespace messages
