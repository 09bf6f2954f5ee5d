#pragma once

#include <string_view>

namespace palmota::ui {

// A badge credit is an unsigned 16-bit count: the largest amount the encoder may write.
inline constexpr unsigned kMaxCreditAmount = 65535;

// Whether the amount typed by the operator lies above the credit range. Its value is
// that of its leading decimal digits (0 when there are none), taken whole however many
// digits there are: leading zeros count for nothing ("0000000000012" is 12) and a long
// run of digits is too large, never wrapped into a small number.
bool isAmountOverCreditLimit(std::string_view amount);

}  // namespace palmota::ui
