// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// A report of a saved measurement without the window, for teachers who keep many files and for
// the benchmark: the file opened, グラフ and 最小２乗法 pressed at the first scale, and what
// データを保存 would then write.

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>

struct Report {
    QByteArray file;  // the measurement file as データを保存 writes it
    QString refusal;  // why the file was refused; empty when it was read
};

// The report of the file at `path`, with `holes_per_section` holes a section (the file's own
// when not given, else 1, as the window starts), saved at `saved_at`.
Report report_of_file(
    const QString &path, const std::optional<std::int32_t> &holes_per_section, const QDateTime &saved_at);
