// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "storage/cp932.h"

#include <windows.h>

namespace storage {

std::optional<std::u16string> decode_cp932(std::string_view bytes)
{
    if (bytes.empty())
        return std::u16string();
    // MB_ERR_INVALID_CHARS refuses what is not code page 932 instead of putting in a default.
    const int size = static_cast<int>(bytes.size());
    const int units = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
    if (units <= 0)
        return std::nullopt;
    std::u16string output(static_cast<std::size_t>(units), u'\0');
    if (MultiByteToWideChar(
            932, MB_ERR_INVALID_CHARS, bytes.data(), size, reinterpret_cast<wchar_t *>(output.data()), units)
        != units)
        return std::nullopt;
    return output;
}

}  // namespace storage
