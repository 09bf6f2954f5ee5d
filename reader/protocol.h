#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "reader/bytes.h"

// Byte rendering and reply decoding: pure functions, no port and no clock.
namespace palmota::protocol {

// The line: 9600 baud, 8 data bits, no parity, 1 stop bit ("9600,N,8,1"), no flow
// control, DTR on. A byte takes 10 bit times on it (start bit, 8 data bits, stop bit).
inline constexpr int kBaudRate = 9600;
inline constexpr int kDataBits = 8;
inline constexpr int kStopBits = 1;
inline constexpr int kBitsPerByte = 1 + kDataBits + kStopBits;
// The receive buffer: a read takes at most this many bytes; the rest stays with the system
// for a later read.
inline constexpr int kReceiveBufferSize = 1024;

// Command bytes. Every operation starts with a ready check.
inline constexpr std::uint8_t kReadyCheck = 0x00;
inline constexpr std::uint8_t kReadBlock = 0x04;
inline constexpr std::uint8_t kReadCredit = 0x06;
inline constexpr std::uint8_t kWriteCredit = 0x07;

// Reply sizes the host waits for.
inline constexpr int kStatusReplySize = 1;  // ready check, 04 and 07 acknowledgements, write result
inline constexpr int kCreditHeaderSize = 2;  // byte 1 unused, byte 2 the count n of data bytes
inline constexpr int kBlockReplySize = 17;
inline constexpr int kCreditReplySize = 4;  // the header, then the credit's high and low byte

// How long the host waits for each reply, counted from the command's write.
inline constexpr auto kReadyCheckLimit = std::chrono::seconds{1};
inline constexpr auto kCreditHeaderLimit = std::chrono::seconds{1};
inline constexpr auto kCreditRestLimit = std::chrono::seconds{2};
inline constexpr auto kBlockCommandLimit = std::chrono::seconds{3};
inline constexpr auto kBlockReplyLimit = std::chrono::seconds{2};
inline constexpr auto kWriteCommandLimit = std::chrono::seconds{3};
inline constexpr auto kWriteResultLimit = std::chrono::seconds{3};

// Status bytes the host compares with.
inline constexpr std::uint8_t kStatusOk = 0x00;
inline constexpr std::uint8_t kStatusFailed = 0xFF;

// A credit is an unsigned 16-bit count: the largest amount the encoder may write.
inline constexpr std::uint16_t kMaxCredit = 65535;

// The result texts the badge procedures return beside numbers and the empty text.
inline constexpr const char* kResultOk = "OK";
inline constexpr const char* kResultError = "ERREUR";

// The block number travels as one byte: blocks 0 to 255 can be asked for.
inline constexpr std::int32_t kHighestBlock = 255;

// Bytes 10 to 13 of a block-0 reply hold the serial number, most significant first.
inline constexpr std::size_t kSerialNumberFirstByte = 10;
inline constexpr std::size_t kSerialNumberLastByte = 13;

// A dump reads the badge's first eight blocks, 0 to 7.
inline constexpr std::int32_t kDumpBlockCount = 8;

// Byte k (1-based, as the protocol numbers them) of a reply.
inline std::uint8_t byteAt(std::string_view reply, std::size_t k) {
    return static_cast<std::uint8_t>(reply[k - 1]);
}

// A block reply whose bytes 1 and 2 are both FF: there is no block to read (no badge
// on the Reader). One FF alone is data.
inline bool isNoBlockReply(std::string_view reply) {
    return reply.size() >= 2 && byteAt(reply, 1) == kStatusFailed &&
           byteAt(reply, 2) == kStatusFailed;
}

// A hex number made of byte texts, most significant first, read the way the host's
// numeric conversion reads "&H" literals: four digits are a signed 16-bit value and
// eight digits a signed 32-bit value, so FF FF is -1 and FF FF FF FF is -1 too.
std::int16_t hexNumber16(std::uint8_t high, std::uint8_t low);
std::int32_t hexNumber32(std::uint8_t b1, std::uint8_t b2, std::uint8_t b3, std::uint8_t b4);

// Reply to 06 once complete: bytes 3 and 4 are the credit, high byte first. The signed
// 16-bit reading is corrected by 65536 so the credit is 0 to 65535. None when the reply is
// too short to hold a credit.
std::optional<std::uint16_t> decodeCredit(std::string_view reply);

// Bytes of a credit reply still to come after the header: r = n - (bytes held) + 2,
// n being byte 2. Kept as the host's signed 16-bit count; 0 or less means nothing more.
std::int16_t remainingCreditBytes(std::string_view header);

// Reply to a block-0 read: the serial number, a signed 32-bit value (bytes FF FF FF FE are
// -2). None for a reply too short to hold it (fewer than 13 bytes) or a no-block reply.
std::optional<std::int32_t> decodeSerialNumber(std::string_view blockReply);

// The two bytes that carry a credit: high byte first.
Bytes amountBytes(std::uint16_t amount);

}  // namespace palmota::protocol
