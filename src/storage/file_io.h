// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Files written whole or not at all, and measurement files read with a bound on their size.

#include "storage/measurement_csv.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

class QIODevice;

namespace storage {

// Why a file could not be saved.
enum class SaveProblem {
    DiskFull,       // no room left on the disk
    NoPermission,   // the folder or the earlier file may not be written
    ReadOnlyDisk,   // the disk is mounted, or the medium set, read-only
    FolderMissing,  // the folder is not there (or is no folder)
    Other,          // anything else: the system's reason says what
};

struct SaveFailure {
    SaveProblem problem = SaveProblem::Other;
    QString system_reason;      // the system's own words; empty when the system reported nothing
    bool earlier_file = false;  // a file of that name was there before, and is as it was
};

// Writes through a temporary file in the same folder that takes the place of `path` only once
// every byte is on the disk: a failure leaves any earlier file of that name byte for byte as it
// was, and no temporary file behind. `write` puts the content into the device and returns false
// when it could not; a write that the system refused fails the save whatever `write` returns.
// When only `write` failed, the failure's system_reason is empty.
std::optional<SaveFailure> save_whole_file(const QString &path, const std::function<bool(QIODevice &)> &write);
std::optional<SaveFailure> save_whole_file(const QString &path, const QByteArray &bytes);

// The bytes of a regular file of at most `max_bytes`; nothing, with `failure` saying why, for a
// folder, a pipe or a device (refused before it is opened), a larger file, or one that cannot be
// read.
std::optional<QByteArray> read_whole_file(const QString &path, qint64 max_bytes, ReadFailure &failure);

// Reads and parses a measurement file. Only a regular file is read: a folder, a pipe or a device
// is refused before it is opened. A file larger than kMaxFileBytes is refused unread.
ReadResult read_measurement_file(const QString &path);

}  // namespace storage
