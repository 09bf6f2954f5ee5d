#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "reader/bytes.h"

// Bytes as text and back: pure functions, no port and no clock.
namespace palmota {

// The two-digit upper-case hex rendering of one byte: 0x07 gives "07", 0xFF gives "FF".
std::string byteText(std::uint8_t byte);

// Bytes as byte texts separated by single spaces ("00 02 05 DC"); nothing for no bytes.
std::string hexPairs(std::string_view bytes);

// The reverse: hex byte pairs, with or without spaces or colons between them ("00 01 E2 40",
// "0001E240", "00:01:e2:40"). No value for a lone digit, any other character, or no bytes.
std::optional<Bytes> parseHexPairs(std::string_view text);

// `text` with every control character (C0, DEL and the C1 controls U+0080 to U+009F)
// and every byte that is not part of well-formed UTF-8 shown as \xHH, and a backslash
// as \\, so that it can be written to a terminal, or kept as JSON text, as it stands.
std::string printable(std::string_view text);

}  // namespace palmota
