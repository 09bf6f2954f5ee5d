#include "reader/amount.h"

#include "reader/bounded_decimal.h"
#include "reader/protocol.h"

namespace palmota {

std::optional<Amount> Amount::parse(std::string_view text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    // Counted only up to the credit limit: no run of digits wraps around into a small
    // credit.
    const auto value = boundedDecimal(text, protocol::kMaxCredit);
    return Amount(text, value ? std::optional<std::uint16_t>(static_cast<std::uint16_t>(*value))
                              : std::nullopt);
}

}  // namespace palmota
