#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace palmota {

// An amount of credit as typed, in the window's box or in a command: decimal digits only,
// read as decimal whatever leads them ("010" is ten), however many. Made only by `parse`,
// so that a sign, a space, a letter or the empty text never reaches a badge operation.
class Amount {
  public:
    // None for anything but one or more of the digits 0 to 9.
    static std::optional<Amount> parse(std::string_view text);

    // The amount as the two credit bytes carry it, 0 to 65535; none for a larger one, which
    // no badge can hold.
    std::optional<std::uint16_t> credit() const { return credit_; }
    // The digits as typed, for the lines that name the amount.
    const std::string& digits() const { return digits_; }

  private:
    Amount(std::string_view digits, std::optional<std::uint16_t> credit)
        : digits_(digits), credit_(credit) {}

    std::string digits_;
    std::optional<std::uint16_t> credit_;
};

}  // namespace palmota
