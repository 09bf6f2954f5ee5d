#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "reader/byte_text.h"

namespace palmota::testing {

// Bytes written as hex pairs, "00 02 12 34", so that test data reads like a line trace.
// An ill-formed literal is a fault of the test itself.
inline Bytes hex(std::string_view pairs) {
    if (pairs.empty()) return {};
    const auto bytes = parseHexPairs(pairs);
    if (!bytes) throw std::invalid_argument("bad hex literal: " + std::string(pairs));
    return *bytes;
}

// The reverse, for readable failure messages: "00 02 12 34".
inline std::string hexOf(std::string_view bytes) {
    return hexPairs(bytes);
}

}  // namespace palmota::testing
