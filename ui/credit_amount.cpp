#include "credit_amount.h"

#include <cstddef>

namespace palmota::ui {

bool isAmountOverCreditLimit(std::string_view amount) {
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    std::size_t end = 0;
    while (end < amount.size() && isDigit(amount[end])) ++end;
    const std::string_view digits = amount.substr(0, end);
    const std::size_t firstSignificant = digits.find_first_not_of('0');
    if (firstSignificant == std::string_view::npos) return false;  // no digits, or zero
    const std::string_view significant = digits.substr(firstSignificant);
    // 65535 has five digits: six significant digits or more are too large already, and
    // five or fewer fit easily in an unsigned without overflow.
    if (significant.size() > 5) return true;
    unsigned value = 0;
    for (char c : significant) value = value * 10 + static_cast<unsigned>(c - '0');
    return value > kMaxCreditAmount;
}

}  // namespace palmota::ui
