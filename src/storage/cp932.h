// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Text in Windows' Japanese code page 932 (Shift_JIS with Microsoft's additions), which a
// spreadsheet on Japanese Windows writes a CSV file in unless asked for UTF-8. Plain C++: the
// system converts, through iconv on Unix and the code-page functions on Windows.

#include <optional>
#include <string>
#include <string_view>

namespace storage {

// The UTF-16 text of the bytes; nothing when they are not valid code page 932.
std::optional<std::u16string> decode_cp932(std::string_view bytes);

}  // namespace storage
