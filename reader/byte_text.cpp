#include "reader/byte_text.h"

namespace palmota {

std::string byteText(std::uint8_t byte) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[byte >> 4], kDigits[byte & 0x0F]};
}

std::string hexPairs(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size() * 3);
    for (const char c : bytes) {
        if (!text.empty()) text += ' ';
        text += byteText(static_cast<std::uint8_t>(c));
    }
    return text;
}

namespace {
int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
}  // namespace

std::optional<Bytes> parseHexPairs(std::string_view text) {
    Bytes bytes;
    int high = -1;
    for (const char c : text) {
        if (c == ' ' || c == ':') {
            if (high >= 0) return std::nullopt;  // a lone digit
            continue;
        }
        const int digit = hexDigit(c);
        if (digit < 0) return std::nullopt;
        if (high < 0) {
            high = digit;
        } else {
            bytes += static_cast<char>((high << 4) | digit);
            high = -1;
        }
    }
    if (high >= 0 || bytes.empty()) return std::nullopt;
    return bytes;
}

namespace {

// The length of the well-formed UTF-8 sequence `text` starts with, 0 when it starts with
// none: a stray continuation byte, a cut sequence, an overlong form, a surrogate, or a
// code point past U+10FFFF.
std::size_t utf8SequenceLength(std::string_view text) {
    const auto at = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = at(0);
    std::size_t length = 0;
    unsigned char low = 0x80;  // the range the second byte must lie in
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // below: overlong
        if (lead == 0xED) high = 0x9F;  // above: surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // below: overlong
        if (lead == 0xF4) high = 0x8F;  // above: past U+10FFFF
    } else {
        return 0;
    }
    if (text.size() < length || at(1) < low || at(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (at(i) < 0x80 || at(i) > 0xBF) return 0;
    return length;
}

}  // namespace

std::string printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    const auto escape = [&out](std::string_view bytes) {
        for (const char c : bytes) out += "\\x" + byteText(static_cast<unsigned char>(c));
    };
    for (std::size_t at = 0; at < text.size();) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte < 0x80) {
            if (byte < 0x20 || byte == 0x7F)
                escape(text.substr(at, 1));
            else if (byte == '\\')
                out += "\\\\";
            else
                out += text[at];
            ++at;
            continue;
        }
        const std::size_t length = utf8SequenceLength(text.substr(at));
        if (length == 0) {
            escape(text.substr(at, 1));  // no UTF-8 here: the byte alone
            ++at;
            continue;
        }
        // U+0080 to U+009F, C2 80 to C2 9F: the C1 controls, which terminals obey too.
        const bool c1 = byte == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0;
        if (c1)
            escape(text.substr(at, length));
        else
            out += text.substr(at, length);
        at += length;
    }
    return out;
}

}  // namespace palmota
