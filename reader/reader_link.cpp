#include "reader_link.h"

#include <iostream>

#include "exchange.h"
#include "port_name.h"
#include "protocol.h"

namespace palmota {

using namespace protocol;

namespace {
constexpr auto kReadyCheckLimit = std::chrono::seconds{1};
constexpr auto kCreditHeaderLimit = std::chrono::seconds{1};
constexpr auto kCreditRestLimit = std::chrono::seconds{2};
constexpr auto kBlockCommandLimit = std::chrono::seconds{3};
constexpr auto kBlockReplyLimit = std::chrono::seconds{2};
constexpr auto kWriteCommandLimit = std::chrono::seconds{3};
constexpr auto kWriteResultLimit = std::chrono::seconds{3};

constexpr const char* kError = "ERREUR";

Bytes oneByte(std::uint8_t byte) {
    return Bytes(1, static_cast<char>(byte));
}

void toStandardError(const std::string& message) {
    std::cerr << "palmota: " << message << std::endl;
}
}  // namespace

Palmota::Palmota(SerialLine& line, Clock& clock, PortChooser chooser, ErrorSink errors)
    : line_(line),
      clock_(clock),
      chooser_(std::move(chooser)),
      errors_(errors ? std::move(errors) : ErrorSink{toStandardError}) {}

void Palmota::OpenReaderPort() {
    if (line_.isOpen()) return;
    const std::string text = chooser_ ? chooser_() : std::string{};
    const PortChoice choice = resolvePortName(text);
    if (choice.device.empty()) {
        errors_("port \"" + text + "\": " + choice.error);
        return;
    }
    if (!line_.open(choice.device)) {
        errors_("cannot open " + choice.device + ": " + line_.errorString());
        return;
    }
    // Whatever was waiting before the opening (a Reader's leftovers, line noise) is
    // not a reply to anything this program sent.
    line_.readAll();
}

void Palmota::CloseReaderPort() {
    if (line_.isOpen()) line_.close();
}

Bytes Palmota::exchange(const Bytes& command, int atLeast, Seconds limit) {
    return palmota::exchange(line_, clock_, command, atLeast, limit);
}

Bytes Palmota::readyCheck() {
    OpenReaderPort();
    // A port that could not be opened gets nothing sent: it answers like a Reader that
    // is not there, at once.
    if (!line_.isOpen()) return {};
    return exchange(oneByte(kReadyCheck), kStatusReplySize, kReadyCheckLimit);
}

std::string Palmota::ReadCredit() {
    Bytes reply = readyCheck();
    if (reply.empty() || byteAt(reply, 1) != kStatusOk) {
        // Not ready: let the next operation reopen the port, with the port then chosen.
        CloseReaderPort();
        return {};
    }
    reply = exchange(oneByte(kReadCredit), kCreditHeaderSize, kCreditHeaderLimit);
    if (reply.size() < static_cast<std::size_t>(kCreditHeaderSize)) return {};
    if (byteAt(reply, 2) == kStatusFailed) return {};  // length FF: no credit
    const int remaining = remainingCreditBytes(reply);
    reply += exchange({}, remaining, kCreditRestLimit);
    return decodeCredit(reply);
}

std::string Palmota::WriteCredit(const std::string& amount) {
    // Only an amount with a true value of 0 to 65535 fits the two credit bytes; anything
    // else is refused before the Reader is touched.
    const auto value = parseAmount(amount);
    if (!value) return kError;
    if (readyCheck().empty()) return kError;
    exchange(oneByte(kWriteCredit), kStatusReplySize, kWriteCommandLimit);  // reply not examined
    const Bytes result = exchange(amountBytes(*value), kStatusReplySize, kWriteResultLimit);
    return writeResult(result);
}

Bytes Palmota::readBlockReply(std::uint8_t blockNumber) {
    exchange(oneByte(kReadBlock), kStatusReplySize, kBlockCommandLimit);  // reply not examined
    return exchange(oneByte(blockNumber), kBlockReplySize, kBlockReplyLimit);
}

std::string Palmota::ReadBlock(const std::int32_t& blockNumber) {
    // The block number travels as one byte; a number that does not fit is refused
    // rather than sent as another block.
    if (blockNumber < 0 || blockNumber > 255) return kError;
    if (readyCheck().empty()) return kError;
    return readBlockReply(static_cast<std::uint8_t>(blockNumber));
}

std::string Palmota::ReadSerialNumber() {
    if (readyCheck().empty()) return kError;
    return decodeSerialNumber(readBlockReply(0));
}

}  // namespace palmota
