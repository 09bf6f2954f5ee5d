#include "reader/reader_link.h"

#include "reader/exchange.h"
#include "reader/port_name.h"
#include "reader/protocol.h"

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

// Bytes 1 to 13 of a block-0 reply hold the serial number at 10 to 13.
constexpr std::size_t kSerialNumberEnd = 13;

Bytes oneByte(std::uint8_t byte) {
    return Bytes(1, static_cast<char>(byte));
}

// Nothing came within `limit`: the device vanished, or the Reader kept silent.
void noAnswer(Outcome& outcome, bool lineLost, Seconds limit) {
    outcome.cause = lineLost ? Cause::LineLost : Cause::NoAnswer;
    outcome.limit = limit;
}
}  // namespace

Palmota::Palmota(SerialLine& line, Clock& clock, PortChooser chooser, OutcomeObserver observer)
    : line_(line), clock_(clock), chooser_(std::move(chooser)), observer_(std::move(observer)) {}

void Palmota::OpenReaderPort() {
    if (line_.isOpen()) return;
    const std::string text = chooser_ ? chooser_() : std::string{};
    const PortChoice choice = resolvePortName(text);
    openError_ = {};
    if (choice.device.empty()) {
        device_ = text;
        openError_ = {OpenError::Kind::BadName, choice.error, {}};
        return;
    }
    device_ = choice.device;
    if (!line_.open(choice.device)) openError_ = line_.openError();
    // The line's opening drops whatever the system had received before it.
}

void Palmota::CloseReaderPort() {
    if (line_.isOpen()) line_.close();
}

Palmota::Reply Palmota::exchange(const Bytes& command, int atLeast, Seconds limit) {
    // Bytes waiting before a command answer none of this exchange's commands.
    if (!command.empty() && line_.bytesWaiting() > 0) line_.readAll();
    Reply reply;
    reply.bytes = palmota::exchange(line_, clock_, command, atLeast, limit, &reply.lineLost);
    return reply;
}

Palmota::Reply Palmota::readyCheck(Outcome& outcome) {
    outcome.device = device_;
    if (interrupted_ && interrupted_()) {
        outcome.cause = Cause::Interrupted;
        return {};
    }
    OpenReaderPort();
    outcome.device = device_;
    // A port that could not be opened gets nothing sent: it answers like a Reader that
    // is not there, at once.
    if (!line_.isOpen()) {
        outcome.cause = Cause::PortUnavailable;
        outcome.openError = openError_;
        return {};
    }
    Reply reply = exchange(oneByte(kReadyCheck), kStatusReplySize, kReadyCheckLimit);
    if (reply.bytes.empty()) noAnswer(outcome, reply.lineLost, kReadyCheckLimit);
    return reply;
}

std::string Palmota::report(Outcome& outcome, std::string result) const {
    outcome.result = result;
    if (observer_) observer_(outcome);
    return result;
}

std::string Palmota::ReadCredit() {
    Outcome outcome;
    outcome.operation = Operation::ReadCredit;
    Reply reply = readyCheck(outcome);
    if (reply.bytes.empty() || byteAt(reply.bytes, 1) != kStatusOk) {
        if (!reply.bytes.empty()) {
            outcome.cause = Cause::NotReady;
            outcome.status = byteAt(reply.bytes, 1);
        }
        // Not ready: let the next operation reopen the port, with the port then chosen.
        CloseReaderPort();
        return report(outcome, {});
    }
    reply = exchange(oneByte(kReadCredit), kCreditHeaderSize, kCreditHeaderLimit);
    outcome.reply = reply.bytes;
    if (reply.bytes.size() < static_cast<std::size_t>(kCreditHeaderSize)) {
        if (reply.bytes.empty()) {
            noAnswer(outcome, reply.lineLost, kCreditHeaderLimit);
        } else {
            outcome.cause = Cause::ShortReply;
            outcome.received = static_cast<int>(reply.bytes.size());
            outcome.expected = kCreditHeaderSize;
            outcome.limit = kCreditHeaderLimit;
        }
        return report(outcome, {});
    }
    if (byteAt(reply.bytes, 2) == kStatusFailed) {  // length FF: no credit
        outcome.cause = Cause::NoBadge;
        return report(outcome, {});
    }
    const int remaining = remainingCreditBytes(reply.bytes);
    const Reply rest = exchange({}, remaining, kCreditRestLimit);
    reply.bytes += rest.bytes;
    outcome.reply = reply.bytes;
    std::string credit = decodeCredit(reply.bytes);
    if (credit.empty()) {
        // Bytes 3 and 4 carry the credit, whatever length byte 2 announced.
        const int announced = byteAt(reply.bytes, 2) + kCreditHeaderSize;
        outcome.cause = rest.lineLost ? Cause::LineLost : Cause::ShortReply;
        outcome.received = static_cast<int>(reply.bytes.size());
        outcome.expected = std::max(announced, kCreditReplySize);
        outcome.limit = kCreditRestLimit;
    }
    return report(outcome, credit);
}

std::string Palmota::WriteCredit(const std::string& amount) {
    Outcome outcome;
    outcome.operation = Operation::WriteCredit;
    // Only an amount with a true value of 0 to 65535 fits the two credit bytes; anything
    // else is refused before the Reader is touched.
    const auto value = parseAmount(amount);
    if (!value) {
        outcome.cause = Cause::Refused;
        outcome.refused = amount;
        return report(outcome, kResultError);
    }
    if (readyCheck(outcome).bytes.empty()) return report(outcome, kResultError);
    const Reply acknowledged =
        exchange(oneByte(kWriteCredit), kStatusReplySize, kWriteCommandLimit);  // not examined
    if (acknowledged.lineLost) {
        // The amount never left: the badge is untouched.
        noAnswer(outcome, true, kWriteCommandLimit);
        return report(outcome, writeResult({}));
    }
    const Reply final = exchange(amountBytes(*value), kStatusReplySize, kWriteResultLimit);
    outcome.reply = final.bytes;
    const std::string result = writeResult(final.bytes);
    if (final.bytes.empty()) {
        // The amount went out and nothing came back: the Reader may have stored it, even
        // when the line went away right after.
        outcome.cause = Cause::NotConfirmed;
        outcome.limit = kWriteResultLimit;
    } else if (byteAt(final.bytes, 1) == kStatusFailed) {
        outcome.cause = Cause::WriteRefused;
        outcome.status = kStatusFailed;
    } else if (byteAt(final.bytes, 1) != kStatusOk) {
        outcome.cause = Cause::UnexpectedReply;
        outcome.status = byteAt(final.bytes, 1);
    }
    return report(outcome, result);
}

Palmota::Reply Palmota::readBlockReply(std::uint8_t blockNumber) {
    exchange(oneByte(kReadBlock), kStatusReplySize, kBlockCommandLimit);  // reply not examined
    return exchange(oneByte(blockNumber), kBlockReplySize, kBlockReplyLimit);
}

void Palmota::judgeBlockReply(Outcome& outcome, const Reply& reply, std::size_t needed) const {
    outcome.reply = reply.bytes;
    if (reply.bytes.empty()) {
        noAnswer(outcome, reply.lineLost, kBlockReplyLimit);
    } else if (reply.bytes.size() >= 2 && byteAt(reply.bytes, 1) == kStatusFailed &&
               byteAt(reply.bytes, 2) == kStatusFailed) {
        outcome.cause = Cause::NoBadge;
    } else if (reply.bytes.size() < needed) {
        outcome.cause = reply.lineLost ? Cause::LineLost : Cause::ShortReply;
        outcome.received = static_cast<int>(reply.bytes.size());
        outcome.expected = kBlockReplySize;
        outcome.limit = kBlockReplyLimit;
    }
}

std::string Palmota::ReadBlock(const std::int32_t& blockNumber) {
    Outcome outcome;
    outcome.operation = Operation::ReadBlock;
    // The block number travels as one byte; a number that does not fit is refused
    // rather than sent as another block.
    if (blockNumber < 0 || blockNumber > 255) {
        outcome.cause = Cause::Refused;
        outcome.refused = std::to_string(blockNumber);
        return report(outcome, kResultError);
    }
    if (readyCheck(outcome).bytes.empty()) return report(outcome, kResultError);
    const Reply reply = readBlockReply(static_cast<std::uint8_t>(blockNumber));
    judgeBlockReply(outcome, reply, kBlockReplySize);
    return report(outcome, reply.bytes);
}

std::string Palmota::ReadSerialNumber() {
    Outcome outcome;
    outcome.operation = Operation::ReadSerialNumber;
    if (readyCheck(outcome).bytes.empty()) return report(outcome, kResultError);
    const Reply reply = readBlockReply(0);
    judgeBlockReply(outcome, reply, kSerialNumberEnd);
    return report(outcome, decodeSerialNumber(reply.bytes));
}

}  // namespace palmota
