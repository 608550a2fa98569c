#include "messages.h"

#include <QDir>

namespace messages {

QString measure_first() { return QStringLiteral("計測ボタンを押してからにしてください。"); }

QString graph_first() { return QStringLiteral("グラフボタンを押してからにしてください。"); }

QString holes_per_section_refused() { return QStringLiteral("1区間の穴数には1以上の整数を入れてください。"); }

QString port_cannot_open(const QString &device)
{
    return QStringLiteral("ポート %1 を開けません。接続を確認してください。").arg(device);
}

QString file_cannot_save(const QString &path, const QString &reason)
{
    return QStringLiteral("%1 に保存できませんでした。\n理由: %2\n前からあるファイルはそのままです。")
        .arg(QDir::toNativeSeparators(path), reason);
}

QString file_cannot_open(const QString &path, const storage::ReadFailure &failure)
{
    using storage::ReadProblem;
    QString reason;
    switch (failure.problem) {
    case ReadProblem::CannotOpen:
        reason = QStringLiteral("ファイルを読めません（%1）。").arg(failure.system_reason);
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
        reason = QStringLiteral("読み値が -255〜255 の範囲にありません。");
        break;
    case ReadProblem::PeriodOutOfRange:
        reason = QStringLiteral("計測周期が 1〜1000 ms の範囲にありません。");
        break;
    case ReadProblem::TimeOutOfRange:
        reason = QStringLiteral("計測時間が 1〜10 s の整数ではありません。");
        break;
    case ReadProblem::CountOutOfRange:
        reason = QStringLiteral("N が 1〜10000 の範囲にありません。");
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
