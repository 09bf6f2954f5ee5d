#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "serial_line.h"

namespace palmota::testing {

// Bytes written as hex pairs, "00 02 12 34", so that test data reads like a line trace.
inline Bytes hex(std::string_view pairs) {
    Bytes out;
    int high = -1;
    for (char c : pairs) {
        int v;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'A' && c <= 'F')
            v = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        else
            continue;
        if (high < 0) {
            high = v;
        } else {
            out += static_cast<char>((high << 4) | v);
            high = -1;
        }
    }
    return out;
}

// The reverse, for readable failure messages: "00 02 12 34".
inline std::string hexOf(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (char c : bytes) {
        const auto b = static_cast<std::uint8_t>(c);
        if (!out.empty()) out += ' ';
        out += kDigits[b >> 4];
        out += kDigits[b & 0x0F];
    }
    return out;
}

}  // namespace palmota::testing
