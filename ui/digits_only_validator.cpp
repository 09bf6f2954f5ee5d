#include "ui/digits_only_validator.h"

#include <algorithm>

namespace palmota::ui {

QValidator::State DigitsOnlyValidator::validate(QString& input, int& /*position*/) const {
    // ASCII digits only: other scripts' digits are no amount the encoder understands.
    const bool digitsOnly = std::all_of(input.cbegin(), input.cend(), [](QChar c) {
        return c.unicode() >= u'0' && c.unicode() <= u'9';
    });
    return digitsOnly ? Acceptable : Invalid;
}

}  // namespace palmota::ui
