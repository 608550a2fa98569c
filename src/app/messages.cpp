// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "messages.h"

#include "common/limits.h"

#include <QDir>
#include <QStringList>

#include <algorithm>
#include <cmath>

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
    return QStringLiteral(
        "計測中にコンピューターの処理が止まり、読み取りが最大 %1 ms "
        "遅れました。穴の縁の時刻がずれているので、もう一度計測してください。"
        "たびたび起きるときは、ほかのプログラムを閉じてください。ボード（手引きの「変換器の"
        "かわりにボードを使う」）で計測すれば、コンピューターが忙しくても読み取りの時刻はずれません。")
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

namespace {

// Why a measurement file was refused, after the line that showed it.
QString refusal(const storage::ReadFailure &failure)
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
    case ReadProblem::RangeOutOfRange:
        reason = QStringLiteral("時間の範囲が 0 s〜計測時間の中にないか、終了が開始より後ではありません。");
        break;
    }
    const QString where = failure.line > 0 ? QStringLiteral("%1 行目: ").arg(failure.line) : QString();
    return where + reason;
}

}  // namespace

QString file_cannot_open(const QString &path, const storage::ReadFailure &failure)
{
    return QStringLiteral("%1 を開けませんでした。\n%2\n画面の計測データはそのままです。")
        .arg(QDir::toNativeSeparators(path), refusal(failure));
}

QString file_cannot_report(const QString &path, const storage::ReadFailure &failure)
{
    return QStringLiteral("%1 を開けませんでした。\n%2").arg(QDir::toNativeSeparators(path), refusal(failure));
}

QString cannot_print() { return QStringLiteral("印刷できませんでした。プリンターを確認してください。"); }

QString strip_check_clean() { return QStringLiteral("穴の読み落としなど、テープの点検で見つかったものはありません。"); }

QString results_wait_for_graph() { return QStringLiteral("グラフボタンを押すと、この計測の結果が出ます。"); }

QString lesson_brought_back(int runs) { return QStringLiteral("前回の授業を戻しました（計測 %1 回）。").arg(runs); }

QString lesson_set_aside(const QString &path)
{
    return QStringLiteral("前回の授業を読めなかったので、%1 に残して新しい授業を始めました。").arg(path);
}

QString lesson_cannot_keep(const QString &folder, const storage::SaveFailure &failure)
{
    return file_cannot_save(folder, failure)
        + QStringLiteral("\n授業はこのまま続けられますが、プログラムを閉じると残りません。授業を保存してください。");
}

QString lesson_run_refused(const QString &path, int run)
{
    return QStringLiteral("%1 を開けませんでした。\n%2 "
                          "回目の計測の周期と時間が、その読み値の数と合いません。\n画面の授業はそのままです。")
        .arg(QDir::toNativeSeparators(path))
        .arg(run);
}

QString lesson_full(int most_runs)
{
    return QStringLiteral("授業に入れられる計測は %1 回までです。新しい授業を始めるか、要らない回を消してください。")
        .arg(most_runs);
}

QString law_leaves_out(LawExclusion why, const QString &runs)
{
    switch (why) {
    case LawExclusion::NoValue:
        return QStringLiteral("条件の値のない回（%1）は除いています。").arg(runs);
    case LawExclusion::ZeroUnderInverse:
        return QStringLiteral("条件の値が 0 の回（%1）は 1/値 にできないので除いています。").arg(runs);
    case LawExclusion::NoPositionFit:
        return QStringLiteral("位置の当てはめが求まらない回（%1）は除いています。").arg(runs);
    case LawExclusion::NoStandardError:
        return QStringLiteral("位置の当てはめの標準誤差が 0 か求まらない回（%1）は、重みが決まらないので除いています。")
            .arg(runs);
    }
    return {};
}

QString law_has_no_line(LawGap gap)
{
    switch (gap) {
    case LawGap::None:
        return {};
    case LawGap::TooFewRuns:
        return QStringLiteral("直線を引くには、値のある回が 2 回以上必要です。");
    case LawGap::ValuesAlike:
        return QStringLiteral("条件の値がみな同じなので、直線が決まりません。");
    }
    return {};
}

QString keeper_note(const KeeperNote &note)
{
    switch (note.kind) {
    case KeeperNote::Kind::BroughtBack:
        return lesson_brought_back(note.count);
    case KeeperNote::Kind::ReadOnly:
        return QStringLiteral("この授業は、もう一つ開いている運動の解析が使っているので、見るだけにしています。"
                              "ここで計測した回は新しい授業に入ります。");
    case KeeperNote::Kind::DatabaseSetAside:
        return lesson_set_aside(note.path);
    case KeeperNote::Kind::RunSetAside:
        return QStringLiteral("前回の授業の %1 回目の計測を読めなかったので、それを除いて戻しました。").arg(note.count);
    }
    return {};
}

QString section_list(const std::vector<std::int32_t> &sections)
{
    QStringList parts;
    for (std::size_t i = 0; i < sections.size();) {
        std::size_t end = i + 1;
        while (end < sections.size() && sections[end] == sections[end - 1] + 1)
            ++end;
        if (end - i >= 3) {
            parts << QStringLiteral("%1〜%2").arg(sections[i]).arg(sections[end - 1]);
        } else {
            for (std::size_t k = i; k < end; ++k)
                parts << QString::number(sections[k]);
        }
        i = end;
    }
    return parts.join(QStringLiteral(", "));
}

namespace {

QString period_remedy_text(const analysis::StripCheck &check)
{
    using Kind = analysis::PeriodRemedy::Kind;
    const analysis::PeriodRemedy remedy = analysis::period_remedy(check);
    switch (remedy.kind) {
    case Kind::SlowerCart:
        return QStringLiteral("台車をもっと遅くして計測し直してください。");
    case Kind::OneMillisecond:
        return QStringLiteral("計測周期を 1 ms にして計測し直してください。");
    case Kind::ShorterPeriod:
        return QStringLiteral("計測周期を %1 ms 以下にして計測し直してください。").arg(remedy.period_ms);
    case Kind::MeasureAgain:
        break;
    }
    return QStringLiteral("もう一度計測してください。");
}

}  // namespace

QString strip_check_found(const analysis::StripCheck &check)
{
    // Each cause with its own remedy: the period (or the cart) for holes passed unseen or seen by
    // a single reading; the sensor and its light for readings that bounced; nothing to do for a
    // strip that lacks holes or a cart that turned, whose results are said as they stand.
    QString text;
    if (!check.missed_hole_sections.empty())
        text += QStringLiteral("速すぎて穴を読み落とした区間があります（%1 番目）。")
                    .arg(section_list(check.missed_hole_sections));
    if (!check.coarse_period_sections.empty()) {
        text += QStringLiteral("穴か穴と穴の間を1回しか読み取れなかった区間があります（%1 番目）。")
                    .arg(section_list(check.coarse_period_sections));
        if (check.followable_speed_cm_s)
            text += QStringLiteral("計測周期 %1 ms で追える速さは約 %2 cm/s までです。")
                        .arg(std::lround(check.period_ms))
                        .arg(std::lround(*check.followable_speed_cm_s));
    }
    if (check.period_at_fault())
        text += period_remedy_text(check);
    if (!check.extra_edge_sections.empty())
        text += QStringLiteral("読み値がしきい値のところで揺れて、穴の縁を余分に数えた区間があります（%1 番目）。"
                               "その区間の速度の点は正しくありません。位置の当てはめは余分な縁を除いて求めましたが、"
                               "揺れの多い計測では確かではありません。"
                               "センサーを覆って外の光をさえぎるか、センサーをテープに近づけて計測し直してください。")
                    .arg(section_list(check.extra_edge_sections));
    if (!check.torn_hole_sections.empty())
        text += QStringLiteral("テープに穴の欠けた所があります（%1 番目の区間。破れているか、穴があいていません）。"
                               "その区間の速度の点は低く出ますが、位置の当てはめは欠けた穴も数えてあります。")
                    .arg(section_list(check.torn_hole_sections));
    if (check.turn_section)
        text += QStringLiteral("%1 番目の区間で台車が止まったか、向きを変えたか、跳ね返りました。センサー1つでは"
                               "向きがわからないので、その先の点は進む向きの動きとして描かれています。"
                               "位置の当てはめはそれより前の縁だけを使っています。")
                    .arg(*check.turn_section);
    return text;
}

namespace {

// Takes the spoiled sections (ascending) out of `sections`; true when there were some.
bool take_out(std::vector<std::int32_t> &sections, const std::vector<std::int32_t> &spoiled_sections)
{
    const auto kept = std::remove_if(sections.begin(), sections.end(),
        [&](std::int32_t k) { return std::binary_search(spoiled_sections.begin(), spoiled_sections.end(), k); });
    const bool some = kept != sections.end();
    sections.erase(kept, sections.end());
    return some;
}

}  // namespace

QString graph_findings(const analysis::StripCheck &check, const std::vector<std::int32_t> &spoiled_sections)
{
    if (spoiled_sections.empty())
        return strip_check_found(check);
    // What the check found in a spoiled section is the pause's doing: it is named there, under the
    // words of the results view's column, and left out of what is said of the cart and the strip.
    analysis::StripCheck rest = check;
    QStringList found;
    if (take_out(rest.missed_hole_sections, spoiled_sections))
        found << QStringLiteral("穴の読み落とし");
    if (take_out(rest.extra_edge_sections, spoiled_sections))
        found << QStringLiteral("縁の二重読み");
    if (take_out(rest.coarse_period_sections, spoiled_sections))
        found << QStringLiteral("周期の限界");
    if (take_out(rest.torn_hole_sections, spoiled_sections))
        found << QStringLiteral("穴の欠け");
    const bool turn_spoiled = check.turn_section
        && std::binary_search(spoiled_sections.begin(), spoiled_sections.end(), *check.turn_section);
    if (turn_spoiled) {
        found << QStringLiteral("折り返し");
        rest.turn_section.reset();
    }
    QString text = QStringLiteral("計測中にコンピューターがこのプログラムを止めたため、%1 番目の区間の読み取りが"
                                  "遅れました。その区間の時刻は台車の動きを表していません。")
                       .arg(section_list(spoiled_sections));
    if (!found.isEmpty())
        text += QStringLiteral("その区間で見つかった%1も、台車ではなくこの遅れによるものです。")
                    .arg(found.join(QStringLiteral("、")));
    // The position fit still ends where the check saw the cart stop: the holes that passed during
    // the pause are not counted.
    if (turn_spoiled)
        text += QStringLiteral("位置の当てはめは %1 番目の区間より前の縁だけを使っています。").arg(*check.turn_section);
    text += QStringLiteral("「グラフを調べる」の当てはめでは、その区間を除きます。");
    if (rest.found_something())
        text += strip_check_found(rest);
    return text;
}

QString position_fit_refused(analysis::PositionFitRefusal why)
{
    switch (why) {
    case analysis::PositionFitRefusal::TooFewBeforeTurn:
        return QStringLiteral("台車が止まるか向きを変えるまでの縁が少なすぎて求まりません。");
    case analysis::PositionFitRefusal::HolesNotSeen:
        return QStringLiteral("穴を読み落とした区間があり、縁の数え方が確かでないので求まりません。");
    case analysis::PositionFitRefusal::Undetermined:
        return QStringLiteral("縁の時刻から曲線が決まらないので求まりません。");
    case analysis::PositionFitRefusal::None:
    case analysis::PositionFitRefusal::NoSections:
    case analysis::PositionFitRefusal::TooFewEdges:
        break;
    }
    return QStringLiteral("グラフの枠内の縁が少なすぎて求まりません。");
}

}  // namespace messages
