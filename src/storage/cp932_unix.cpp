// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "storage/cp932.h"

#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace storage {

std::optional<std::u16string> decode_cp932(std::string_view bytes)
{
    // UTF-16 in the machine's own byte order, without a byte-order mark.
    const iconv_t converter = iconv_open("UTF-16LE", "CP932");
    if (converter == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::string input(bytes);
    // Every byte gives at most one UTF-16 unit.
    std::u16string output(bytes.size() + 1, u'\0');
    char *in = input.data();
    std::size_t in_left = input.size();
    char *out = reinterpret_cast<char *>(output.data());
    std::size_t out_left = output.size() * sizeof(char16_t);
    const std::size_t done = iconv(converter, &in, &in_left, &out, &out_left);
    iconv_close(converter);
    // An invalid or incomplete sequence stops the conversion with bytes left over.
    if (done == static_cast<std::size_t>(-1) || in_left != 0)
        return std::nullopt;
    output.resize(output.size() - out_left / sizeof(char16_t));
    for (char16_t &unit : output) {
        // iconv wrote little-endian bytes; read them back as this machine's units.
        unsigned char pair[2];
        std::memcpy(pair, &unit, 2);
        unit = static_cast<char16_t>(pair[0] | (pair[1] << 8));
    }
    return output;
}

}  // namespace storage
