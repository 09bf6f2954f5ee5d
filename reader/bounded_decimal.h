#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace palmota {

// A text of decimal digits only (leading zeros allowed, however many) whose value is at
// most `highest`. Counting stops as soon as the value passes `highest`, so no run of
// digits can wrap around into a small number.
inline std::optional<std::uint64_t> boundedDecimal(std::string_view text, std::uint64_t highest) {
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > highest) return std::nullopt;
    }
    return value;
}

}  // namespace palmota
