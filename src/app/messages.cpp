#include "messages.h"

#include "common/limits.h"

#include <QDir>

namespace messages {

QString measure_first() { return QStringLiteral("計測ボタンを押してからにしてください。"); }

QString graph_first() { return QStringLiteral("グラフボタンを押してからにしてください。"); }

QString holes_per_section_refused()
{
    return QStringLiteral("1区間の穴数には%1から%2までの整数を入れてください。")
        .arg(common::kFewestHolesPerSection)
        .arg(common::kMostHolesPerSection);
}

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

QString file_cannot_save(const QString &path, const storage::SaveFailure &failure)
{
    using storage::SaveProblem;
    QString reason;
    switch (failure.problem) {
    case SaveProblem::DiskFull:
        reason = QStringLiteral("ディスクがいっぱいです。");
        break;
    case SaveProblem::NoPermission:
        reason = QStringLiteral("このフォルダーかファイルに書き込む権限がありません。");
        break;
    case SaveProblem::ReadOnlyDisk:
        reason = QStringLiteral("ディスクが読み取り専用です。");
        break;
    case SaveProblem::FolderMissing:
        reason = QStringLiteral("保存先のフォルダーがありません。");
        break;
    case SaveProblem::Other:
        reason = failure.system_reason.isEmpty() ? QStringLiteral("書き込めませんでした。") : failure.system_reason;
        break;
    }
    const QString kept = failure.earlier_file ? QStringLiteral("\n前からあるファイルはそのままです。") : QString();
    return QStringLiteral("%1 に保存できませんでした。\n理由: %2%3").arg(QDir::toNativeSeparators(path), reason, kept);
}

QString file_cannot_open(const QString &path, const storage::ReadFailure &failure)
{
    using storage::ReadProblem;
    QString reason;
    switch (failure.problem) {
    case ReadProblem::CannotOpen:
        reason = QStringLiteral("ファイルを読めません（%1）。").arg(failure.system_reason);
        break;
    case ReadProblem::NotAFile:
        reason = QStringLiteral("フォルダーやパイプ、装置などで、ファイルではありません。");
        break;
    case ReadProblem::TooLarge:
        reason = QStringLiteral("このプログラムが保存するどのファイルよりも大きいファイルです。");
        break;
    case ReadProblem::NotOurs:
        reason = QStringLiteral("運動の解析で保存した計測データではありません。");
        break;
    case ReadProblem::Truncated:
        reason = QStringLiteral("ファイルが途中で切れています。");
        break;
    case ReadProblem::BrokenLine:
        reason = QStringLiteral("この行が壊れています。");
        break;
    case ReadProblem::SampleOutOfRange:
        reason = QStringLiteral("読み値が %1〜%2 の範囲にありません。")
                     .arg(-common::kLargestReading)
                     .arg(common::kLargestReading);
        break;
    case ReadProblem::PeriodOutOfRange:
        reason = QStringLiteral("計測周期が %1〜%2 ms の範囲にありません。")
                     .arg(common::kShortestPeriodMs)
                     .arg(common::kLongestPeriodMs);
        break;
    case ReadProblem::TimeOutOfRange:
        reason = QStringLiteral("計測時間が %1〜%2 s の整数ではありません。")
                     .arg(common::kShortestTimeS)
                     .arg(common::kLongestTimeS);
        break;
    case ReadProblem::CountOutOfRange:
        reason = QStringLiteral("N が 1〜%1 の範囲にありません。").arg(common::kLargestLastSample);
        break;
    case ReadProblem::SampleCountMismatch:
        reason = QStringLiteral("読み値の数が N + 1 になっていません。");
        break;
    case ReadProblem::RateMismatch:
        reason = QStringLiteral("計測周期と計測時間から決まる値と合いません。");
        break;
    }
    const QString where = failure.line > 0 ? QStringLiteral("%1 行目: ").arg(failure.line) : QString();
    return QStringLiteral("%1 を開けませんでした。\n%2%3\n画面の計測データはそのままです。")
        .arg(QDir::toNativeSeparators(path), where, reason);
}

QString cannot_print() { return QStringLiteral("印刷できませんでした。プリンターを確認してください。"); }

}  // namespace messages
