#include "credit_amount.h"

#include "bounded_decimal.h"

namespace palmota::ui {

bool isAmountOverCreditLimit(std::string_view amount) {
    // The amount's value is that of its leading digits; without any it is 0.
    const std::string_view digits = amount.substr(0, amount.find_first_not_of("0123456789"));
    return !digits.empty() && !boundedDecimal(digits, kMaxCreditAmount);
}

}  // namespace palmota::ui
