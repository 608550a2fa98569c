// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// A measurement or lesson file as a spreadsheet on Japanese Windows saves it again: in code page
// 932, where a character that the code page lacks becomes '?' (so "cm/s²" becomes "cm/s?"). The
// bytes of the Japanese characters of our files and of the tests' memos are written out here, so
// that no converter is needed.

#include <QByteArray>
#include <QString>

namespace test_support {

// Each character of the first text is the two bytes at its place in the second.
inline const QString kJapaneseCharacters = QStringLiteral(
    "運動の解析計測データプログラム保存日時入力周期間サンル毎秒区穴数番号刻読み値中央速度境界距離最小"
    "２乗法量表示倍精標準誤差初加点終わり発車まで位置当てはめ縁テ検落とした余分な追えるさ限折返欠け優先"
    "授業条件名前単横軸原をい通班遅れメモ台質回傾きおも個二行目組");
inline const QByteArray kJapaneseCp932 = QByteArray::fromHex(
    "895e93ae82cc89f090cd8c7691aa8366815b835e8376838d834f8389838095db91b693fa8e9e93fc97cd8efc8afa8ad483548393838b96"
    "8895628be68c8a909494d48d868d8f93c782dd926c9286899b91ac93788bab8a458b9797a38dc58fac82518fe6964097ca955c8ea6947b"
    "90b895578f808ceb8db78f8989c1935f8f4982ed82e894ad8ed482dc82c588ca9275939682c482cd82df898f83658c9f978e82c682b5"
    "82bd975d95aa82c892c782a682e982b38cc090dc95d48c8782af974490e6"
    "8ef68bc68ff08c8f96bc914f925089a18eb28cb482f082a292ca94c79278"
    "82ea8381838291e48ebf89f18c5882ab82a882e08cc293f18d7396da9167");

// The text in code page 932.
inline QByteArray in_cp932(const QString &text)
{
    QByteArray bytes;
    for (const QChar c : text) {
        const qsizetype at = kJapaneseCharacters.indexOf(c);
        if (c.unicode() < 0x80)
            bytes += static_cast<char>(c.unicode());
        else if (at >= 0)
            bytes += kJapaneseCp932.mid(2 * at, 2);
        else
            bytes += '?';
    }
    return bytes;
}

}  // namespace test_support
