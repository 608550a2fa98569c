// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The texts about the board: finding it, its runs' faults, its clock and its edge stamps.

#include "messages.h"

namespace messages {

QString board_not_found(const QString &device)
{
    if (device.isEmpty())
        return QStringLiteral("ボードが見つかりません。ボードをUSBケーブルでつなぎ、ファームウェアが書き込まれているか"
                              "確認してください。");
    return QStringLiteral("ポート %1 のボードが応答しません。ボードの接続と、ファームウェアが書き込まれているかを"
                          "確認してください。")
        .arg(device);
}

QString board_other_firmware(const QString &found, const QString &wanted)
{
    return QStringLiteral("ボードのファームウェアは %1 ですが、このプログラムには %2 が必要です。ボードに "
                          "%2 を書き込んでください。")
        .arg(found, wanted);
}

QString board_reading_lost(std::optional<double> at_s, bool noise)
{
    if (!at_s)
        return noise ? QStringLiteral("ボードとの通信に雑音が入り、読み取りが壊れました。USBケーブルをつなぎ直すか、"
                                      "別のケーブルに替えてください。")
                     : QStringLiteral("ボードからの読み取りが届かなくなりました。ボードの接続を確認してください。");
    // Where in the measurement it happened, to the millisecond.
    const QString at = QString::number(*at_s, 'f', 3);
    if (noise)
        return QStringLiteral("ボードとの通信に雑音が入り、計測開始から %1 秒の読み取りが壊れました。それまでの"
                              "読み取りは残してあります。USBケーブルをつなぎ直すか、別のケーブルに替えて計測し直して"
                              "ください。")
            .arg(at);
    return QStringLiteral("計測開始から %1 秒の読み取りがボードから届きませんでした。それまでの読み取りは残して"
                          "あります。もう一度計測してください。")
        .arg(at);
}

QString board_silent()
{
    return QStringLiteral("ボードからの読み取りが途絶えました。それまでの読み取りは残してあります。ボードの接続と"
                          "電源を確認してください。");
}

QString board_overflow(std::int32_t period_ms)
{
    return QStringLiteral("ボードが読み取りを送りきれませんでした（計測周期 %1 ms）。それまでの読み取りは残して"
                          "あります。ボードをパソコンのUSB端子に直接つなぐか、計測周期を長くしてください。")
        .arg(period_ms);
}

QString board_clock_uncorrected()
{
    return QStringLiteral("このボードの時計はまだ補正されていません。時刻が最大 0.5 % ずれることがあります。"
                          "実時間計測を1分ほど続けると、ボードに補正が記録されます。");
}

QString board_edges_unwired()
{
    return QStringLiteral("ボードの D8 に穴の縁が届いていません。縁は読み取りから求めました。センサーの出力を D8 "
                          "にもつなぐと、ボードが縁の時刻を 4 µs まで正確に記録します。");
}

QString board_edges_lost()
{
    return QStringLiteral("しきい値のあたりで光の信号が細かく揺れ、ボードが縁の時刻を送りきれませんでした。届いた縁の"
                          "時刻は残してあります。センサーの位置と向きを確かめてください。");
}

QString board_edges_refused(std::int32_t refused)
{
    return QStringLiteral("順序の合わない縁の時刻が %1 個あり、除きました。").arg(refused);
}

}  // namespace messages
