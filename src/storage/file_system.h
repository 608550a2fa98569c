// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// What the system does differently for files: opening only what is a regular file, and making sure
// that written data has reached the disk. Plain C++, one source file for Unix and one for Windows.

#include <filesystem>
#include <optional>
#include <string>

namespace storage {

enum class OpenOutcome {
    Opened,
    NotAFile,  // a folder, a pipe, a device or a socket
    Failed,    // the system refused; the reason says why
};

struct OpenedFile {
    OpenOutcome outcome = OpenOutcome::Failed;
    int descriptor = -1;    // when opened: a C runtime file descriptor, open for reading only
    std::u16string reason;  // when the system refused: its own words
};

// Opens the file read-only when it is a regular file. A pipe, a terminal or a device is never
// opened where the system lets us look first, and never waited on: it is refused at once.
OpenedFile open_regular_file(const std::filesystem::path &path);

// Asks the system to put what was written through the descriptor on the disk; its reason when it
// reports that it could not.
std::optional<std::u16string> sync_to_disk(int descriptor);

}  // namespace storage
