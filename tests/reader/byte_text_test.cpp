#include "reader/byte_text.h"

#include <gtest/gtest.h>

using namespace palmota;

TEST(ByteText, IsTwoUpperCaseDigitsZeroPadded) {
    EXPECT_EQ(byteText(0x00), "00");
    EXPECT_EQ(byteText(0x07), "07");
    EXPECT_EQ(byteText(0x0A), "0A");
    EXPECT_EQ(byteText(0xC3), "C3");
    EXPECT_EQ(byteText(0xFF), "FF");
}

TEST(HexPairs, RenderEveryByteValueAndParseBackWhatTheyRender) {
    EXPECT_EQ(hexPairs(Bytes("\x00\x0A\xFF\x7F\x80", 5)), "00 0A FF 7F 80");
    EXPECT_EQ(hexPairs({}), "");
    Bytes all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(parseHexPairs(hexPairs(all)), all);
    EXPECT_EQ(parseHexPairs("0001e240"), Bytes("\x00\x01\xE2\x40", 4));
    EXPECT_EQ(parseHexPairs("00:01:E2:40"), Bytes("\x00\x01\xE2\x40", 4));
    for (const char* bad : {"", " ", "0", "00 1", "0 01", "0x01", "GG", "00-01"})
        EXPECT_EQ(parseHexPairs(bad), std::nullopt) << bad;
}

TEST(Printable, EscapesWhatATerminalWouldObey) {
    EXPECT_EQ(printable("/dev/ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(printable(std::string("a\0b\n\x7f\\", 6)), "a\\x00b\\x0A\\x7F\\\\");
    EXPECT_EQ(printable("Crédit"), "Crédit");  // UTF-8 passes as it is
    EXPECT_EQ(printable("\u20AC \U0001F4B3 \u00A0"), "\u20AC \U0001F4B3 \u00A0");
    // C1 controls (CSI is C2 9B), and bytes that are no UTF-8: stray, cut, overlong,
    // surrogate, past U+10FFFF.
    EXPECT_EQ(printable("a\xC2\x9B"
                        "2J\xC2\x85"),
              "a\\xC2\\x9B2J\\xC2\\x85");
    EXPECT_EQ(printable("\xFF\x80\xE2\x82 \xC0\xAF \xED\xA0\x80 \xF4\x90\x80\x80 \xE2\x82"),
              "\\xFF\\x80\\xE2\\x82 \\xC0\\xAF \\xED\\xA0\\x80 \\xF4\\x90\\x80\\x80 \\xE2\\x82");
}
