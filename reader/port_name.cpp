#include "reader/port_name.h"

#include <cstdint>

#include "reader/bounded_decimal.h"

namespace palmota {

namespace {
constexpr std::string_view kSpaces = " \t\r\n";
// Far beyond any real machine's port count.
constexpr std::uint32_t kHighestPortNumber = 256;

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(kSpaces);
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(kSpaces);
    return text.substr(first, last - first + 1);
}
}  // namespace

PortChoice resolvePortName(std::string_view chooserText) {
    const std::string_view text = trimmed(chooserText);
    if (text.empty()) return {{}, "no port chosen"};
    if (text.find_first_not_of("0123456789") == std::string_view::npos) {
        const auto n = boundedDecimal(text, kHighestPortNumber);
        if (!n) return {{}, "no such port number"};
        if (*n == 0) return {{}, "port numbers start at 1"};
        return {port_naming::numberedPort(static_cast<std::uint32_t>(*n)), {}};
    }
    return port_naming::namedPort(text);
}

}  // namespace palmota
