#pragma once

#include <QValidator>

namespace palmota::ui {

// Guards the amount box against text that does not arrive by typing (a paste, a drop,
// an input method): a change that would leave anything but the digits 0 to 9 in the box
// is refused whole, so that "12abc" is never cut down to an amount nobody typed.
class DigitsOnlyValidator final : public QValidator {
    Q_OBJECT

  public:
    using QValidator::QValidator;

    State validate(QString& input, int& position) const override;
};

}  // namespace palmota::ui
