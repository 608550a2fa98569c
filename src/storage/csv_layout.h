// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The names in a measurement file, shared by its writer and its reader.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace storage::layout {

// The first field of the first line names the kind of file, the second the layout of its rows; a
// later layout would get a new number and this reader would refuse it.
inline const QString kFileTitle = QStringLiteral("運動の解析 計測データ");
inline const QString kLayout = QStringLiteral("1");

// The header rows, in their order; 計測日時, 遅れた読み取り, 1区間の穴数 and 範囲(s) may be missing.
inline const QString kProgramKey = QStringLiteral("プログラム");
inline const QString kSavedKey = QStringLiteral("保存日時");
inline const QString kMeasuredKey = QStringLiteral("計測日時");
inline const QString kSourceKey = QStringLiteral("入力");
inline const QString kPeriodKey = QStringLiteral("計測周期(ms)");
inline const QString kTimeKey = QStringLiteral("計測時間(s)");
inline const QString kRateKey = QStringLiteral("サンプル毎秒");
inline const QString kCountKey = QStringLiteral("N");
// The readings that came late: spans of their indices, "532-548 901-903".
inline const QString kLateReadingsKey = QStringLiteral("遅れた読み取り");
inline const QString kHolesKey = QStringLiteral("1区間の穴数");
// The chosen part of the run: its start and end in s from the first counted edge.
inline const QString kRangeKey = QStringLiteral("範囲(s)");

// The tables: a title row, a row of column names, the rows, an empty line.
inline const QString kSamplesTitle = QStringLiteral("サンプル");
inline const QStringList kSampleColumns = {QStringLiteral("番号"), QStringLiteral("時刻(s)"), QStringLiteral("読み値")};
// The board's own stamps of the edges, after the readings when it stamped them: each edge's number
// from 0, 上がり (the light began) or 下がり, and its time in µs after reading 0. An empty table is a
// board that stamped none.
inline const QString kEdgeStampsTitle = QStringLiteral("縁の時刻");
inline const QStringList kEdgeStampColumns = {QStringLiteral("縁"), QStringLiteral("向き"), QStringLiteral("時刻(µs)")};
inline const QString kRisingEdge = QStringLiteral("上がり");
inline const QString kFallingEdge = QStringLiteral("下がり");
inline const QString kSectionsTitle = QStringLiteral("区間");
inline const QStringList kSectionColumns
    = {QStringLiteral("k"), QStringLiteral("中央時刻(s)"), QStringLiteral("時間(s)"), QStringLiteral("速度(cm/s)")};
inline const QString kBoundariesTitle = QStringLiteral("境界");
inline const QStringList kBoundaryColumns
    = {QStringLiteral("k"), QStringLiteral("時刻(s)"), QStringLiteral("距離(cm)")};
inline const QString kFitTitle = QStringLiteral("最小２乗法");
// 値 is the window's single-precision fit; 倍精度 the same line in double precision, whose
// standard error follows.
inline const QStringList kFitColumns = {QStringLiteral("量"), QStringLiteral("表示"), QStringLiteral("値"),
    QStringLiteral("倍精度"), QStringLiteral("標準誤差")};
inline const QString kInitialVelocityKey = QStringLiteral("初速度(cm/s)");
inline const QString kAccelerationKey = QStringLiteral("加速度(cm/s²)");
inline const QString kRSquaredKey = QStringLiteral("r²");
inline const QString kPointsKey = QStringLiteral("点の数");
// The fit of the edges' positions, with its initial velocity, acceleration and r² under the keys
// above.
inline const QString kPositionFitTitle = QStringLiteral("位置の当てはめ");
inline const QStringList kPositionFitColumns = {QStringLiteral("量"), QStringLiteral("値"), QStringLiteral("標準誤差")};
inline const QString kEdgesKey = QStringLiteral("縁の数");
// The strip check: section numbers separated by blanks, and the speed the period follows.
inline const QString kStripCheckTitle = QStringLiteral("テープの点検");
inline const QStringList kStripCheckColumns = {QStringLiteral("量"), QStringLiteral("値")};
inline const QString kMissedHolesKey = QStringLiteral("読み落とした区間");
inline const QString kExtraEdgesKey = QStringLiteral("余分な縁の区間");
inline const QString kFollowableSpeedKey = QStringLiteral("追える速さ(cm/s)");
// Rows that later versions added, each there or not, in this order.
inline const QString kCoarsePeriodKey = QStringLiteral("周期の限界の区間");
inline const QString kTurnKey = QStringLiteral("折り返し");
inline const QString kTornHolesKey = QStringLiteral("穴の欠け");

// The last line of a complete file.
inline const QString kEndMark = QStringLiteral("終わり");

inline const QString kDateFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
inline const QByteArray kByteOrderMark("\xEF\xBB\xBF");

}  // namespace storage::layout
