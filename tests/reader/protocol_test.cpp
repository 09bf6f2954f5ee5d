#include "reader/protocol.h"

#include <gtest/gtest.h>

#include "reader/amount.h"
#include "tests/support/hex.h"
#include "tests/support/row_name.h"

using namespace palmota;
using namespace palmota::protocol;
using palmota::testing::hex;
using palmota::testing::RowName;

TEST(HexNumber, ReadsFourAndEightDigitsAsSignedValues) {
    EXPECT_EQ(hexNumber16(0x12, 0x34), 4660);
    EXPECT_EQ(hexNumber16(0xFF, 0xFE), -2);
    EXPECT_EQ(hexNumber16(0xFF, 0xFF), -1);
    EXPECT_EQ(hexNumber16(0x80, 0x00), -32768);
    EXPECT_EQ(hexNumber32(0x00, 0x01, 0xE2, 0x40), 123456);
    EXPECT_EQ(hexNumber32(0xFF, 0xFF, 0xFF, 0xFF), -1);
    EXPECT_EQ(hexNumber32(0x80, 0x00, 0x00, 0x00), -2147483647 - 1);
}

// A decoded value as the window shows it: in decimal, or nothing.
template <typename T>
std::string shown(const std::optional<T>& value) {
    return value ? std::to_string(*value) : std::string();
}

struct Decoding {
    const char* name;
    const char* reply;
    const char* text;
};

void PrintTo(const Decoding& row, std::ostream* out) {
    *out << row.name << ": reply \"" << row.reply << "\" gives \"" << row.text << '"';
}

class CreditDecoding : public ::testing::TestWithParam<Decoding> {};

TEST_P(CreditDecoding, GivesTheUnsignedCreditOrNothing) {
    EXPECT_EQ(shown(decodeCredit(hex(GetParam().reply))), GetParam().text) << GetParam().reply;
}

INSTANTIATE_TEST_SUITE_P(
    Replies, CreditDecoding,
    ::testing::Values(Decoding{"credit_4660", "00 02 12 34", "4660"},
                      Decoding{"credit_0", "00 02 00 00", "0"},
                      Decoding{"credit_12", "00 02 00 0C", "12"},
                      Decoding{"credit_65535_not_minus_1", "00 02 FF FF", "65535"},
                      Decoding{"credit_32768_not_negative", "00 02 80 00", "32768"},
                      Decoding{"longer_reply", "00 04 05 DC 99 99", "1500"},
                      Decoding{"short_reply", "00 02 12", ""}, Decoding{"no_reply", "", ""}),
    RowName());

class SerialDecoding : public ::testing::TestWithParam<Decoding> {};

TEST_P(SerialDecoding, ReadsBytesTenToThirteenAsSigned32Bits) {
    EXPECT_EQ(shown(decodeSerialNumber(hex(GetParam().reply))), GetParam().text)
        << GetParam().reply;
}

INSTANTIATE_TEST_SUITE_P(
    BlockZero, SerialDecoding,
    ::testing::Values(
        Decoding{"serial_123456", "00 00 00 00 00 00 00 00 00 00 01 E2 40 00 00 00 00", "123456"},
        Decoding{"lowest_serial", "00 00 00 00 00 00 00 00 00 80 00 00 00 00 00 00 00",
                 "-2147483648"},
        Decoding{"serial_minus_2", "00 00 00 00 00 00 00 00 00 FF FF FF FE 00 00 00 00", "-2"},
        // Exactly 13 bytes is enough; 12 is not.
        Decoding{"exactly_13_bytes", "00 00 00 00 00 00 00 00 00 00 00 00 07", "7"},
        Decoding{"only_12_bytes", "00 00 00 00 00 00 00 00 00 00 00 00", ""},
        // FF FF at the start means no block; FF alone does not.
        Decoding{"no_block", "FF FF 00 00 00 00 00 00 00 00 01 E2 40 00 00 00 00", ""},
        Decoding{"first_byte_FF_is_data", "FF 00 00 00 00 00 00 00 00 00 01 E2 40 00 00 00 00",
                 "123456"},
        Decoding{"second_byte_FF_is_data", "00 FF 00 00 00 00 00 00 00 00 01 E2 40 00 00 00 00",
                 "123456"}),
    RowName());

TEST(RemainingCreditBytes, CountsWhatTheLengthByteStillPromises) {
    EXPECT_EQ(remainingCreditBytes(hex("00 02")), 2);
    EXPECT_EQ(remainingCreditBytes(hex("00 02 12 34")), 0);
    EXPECT_EQ(remainingCreditBytes(hex("00 04 12")), 3);
    // A header that came with more than promised: nothing more is awaited.
    EXPECT_EQ(remainingCreditBytes(hex("00 00 12 34 56")), -3);
    EXPECT_EQ(remainingCreditBytes(hex("00 FE")), 254);
}

struct AmountCase {
    const char* name;
    const char* typed;
    std::optional<std::uint16_t> value;  // the credit it is; none: refused for a write
    const char* bytes;
    // Digits, whatever their value: a top-up's addend, judged against the credit once read.
    bool digits = true;
};

void PrintTo(const AmountCase& row, std::ostream* out) {
    *out << row.name << ": typed \"" << row.typed << '"';
    if (row.value)
        *out << " is " << *row.value << ", sent as " << row.bytes;
    else
        *out << " is refused";
}

class TypedAmount : public ::testing::TestWithParam<AmountCase> {};

TEST_P(TypedAmount, IsItsTrueValueSentHighByteFirst) {
    const AmountCase& c = GetParam();
    const auto amount = palmota::Amount::parse(c.typed);
    ASSERT_EQ(amount.has_value(), c.digits) << '"' << c.typed << '"';
    const auto value = amount ? amount->credit() : std::nullopt;
    ASSERT_EQ(value, c.value) << '"' << c.typed << '"';
    if (amount) EXPECT_EQ(amount->digits(), c.typed);
    if (value) EXPECT_EQ(amountBytes(*value), hex(c.bytes)) << c.typed;
}

INSTANTIATE_TEST_SUITE_P(
    Typed, TypedAmount,
    ::testing::Values(AmountCase{"zero", "0", 0, "00 00"},
                      AmountCase{"amount_12", "12", 12, "00 0C"},
                      AmountCase{"amount_255", "255", 255, "00 FF"},
                      AmountCase{"amount_256", "256", 256, "01 00"},
                      AmountCase{"amount_4660", "4660", 4660, "12 34"},
                      AmountCase{"highest", "65535", 65535, "FF FF"},
                      AmountCase{"leading_zeros", "007", 7, "00 07"},
                      AmountCase{"many_leading_zeros", "0000000000012", 12, "00 0C"},
                      AmountCase{"just_above_highest", "65536", std::nullopt, ""},
                      AmountCase{"far_above_highest", "70000", std::nullopt, ""},
                      // 2^32 + 12 would wrap to 12 in a 32-bit accumulator.
                      AmountCase{"wraps_32_bits", "4294967308", std::nullopt, ""},
                      AmountCase{"twenty_three_digits", "99999999999999999999999", std::nullopt,
                                 ""},
                      AmountCase{"empty", "", std::nullopt, "", false},
                      AmountCase{"minus_sign", "-1", std::nullopt, "", false},
                      AmountCase{"plus_sign", "+5", std::nullopt, "", false},
                      AmountCase{"letters_after_digits", "12abc", std::nullopt, "", false},
                      AmountCase{"leading_space", " 12", std::nullopt, "", false},
                      AmountCase{"decimal_comma", "1,5", std::nullopt, "", false}),
    RowName());
