#include "reader/reader_link.h"

#include <algorithm>

#include "reader/exchange.h"
#include "reader/port_name.h"
#include "reader/protocol.h"

namespace palmota {

using namespace protocol;

namespace {
Bytes oneByte(std::uint8_t byte) {
    return Bytes(1, static_cast<char>(byte));
}

// Long enough for what an earlier operation may leave on its way: a block reply sent
// twice is 34 bytes, 35 ms at 9600 baud.
constexpr auto kLeftoverDrainLimit = std::chrono::milliseconds{50};

// Bytes of a one-byte reply (ready check, acknowledgement, final write byte) beyond it.
int beyondStatus(const Bytes& reply) {
    return std::max(0, static_cast<int>(reply.size()) - kStatusReplySize);
}

// The device went away during the exchange whose limit was `limit`.
void recordLineLost(Outcome& outcome, Seconds limit) {
    outcome.cause = Cause::LineLost;
    outcome.limit = limit;
}

// Nothing came within `limit`: the device vanished, or the Reader kept silent.
void noAnswer(Outcome& outcome, bool lineLost, Seconds limit) {
    outcome.cause = lineLost ? Cause::LineLost : Cause::NoAnswer;
    outcome.limit = limit;
}
}  // namespace

ReaderLink::ReaderLink(SerialLine& line, Clock& clock, ChosenPort chosenPort)
    : line_(line), clock_(clock), chosenPort_(std::move(chosenPort)) {}

void ReaderLink::OpenReaderPort() {
    if (line_.isOpen()) return;
    const std::string text = chosenPort_ ? chosenPort_() : std::string{};
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

void ReaderLink::CloseReaderPort() {
    if (line_.isOpen()) line_.close();
}

ReaderLink::Reply ReaderLink::commandExchange(const Bytes& command, int atLeast, Seconds limit,
                                              Leftovers leftovers) {
    Reply reply;
    // Bytes waiting before a command answer none of this exchange's commands.
    if (!command.empty() && line_.bytesWaiting() > 0) {
        const auto stray = static_cast<int>(line_.readAll().size());
        if (leftovers == Leftovers::AreNoise) {
            reply.strayBefore = stray;
        } else {
            // A late or repeated reply may still be on its way, a byte at a time: let it
            // end before the first command, for a while at most.
            const Seconds start = clock_.now();
            while (!staysQuiet(line_, clock_, kReplyGuard) &&
                   clock_.now() - start < kLeftoverDrainLimit)
                line_.readAll();
        }
    }
    reply.bytes = palmota::exchange(line_, clock_, command, atLeast, limit, &reply.lineLost);
    return reply;
}

ReaderLink::Reply ReaderLink::readyCheck(Outcome& outcome) {
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
    Reply reply =
        commandExchange(oneByte(kReadyCheck), kStatusReplySize, kReadyCheckLimit, Leftovers::Drop);
    if (reply.bytes.empty()) noAnswer(outcome, reply.lineLost, kReadyCheckLimit);
    return reply;
}

bool ReaderLink::readyCheckEnded(Outcome& outcome, const Reply& ready) {
    const int extra = beyondStatus(ready.bytes);
    if (extra == 0 && staysQuiet(line_, clock_, kReplyGuard)) return true;
    noisyLine(outcome, extra);
    return false;
}

void ReaderLink::noisyLine(Outcome& outcome, int extra) {
    outcome.cause = Cause::NoisyLine;
    outcome.extra = extra;
}

Outcome ReaderLink::readCredit() {
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
        return outcome;
    }
    // A ready check's reply that goes on would be taken for the credit's header.
    if (const int extra = beyondStatus(reply.bytes); extra > 0) {
        noisyLine(outcome, extra);
        return outcome;
    }
    reply = commandExchange(oneByte(kReadCredit), kCreditHeaderSize, kCreditHeaderLimit);
    if (reply.strayBefore > 0) {
        noisyLine(outcome, reply.strayBefore);
        return outcome;
    }
    if (reply.bytes.size() < static_cast<std::size_t>(kCreditHeaderSize)) {
        if (reply.bytes.empty()) {
            noAnswer(outcome, reply.lineLost, kCreditHeaderLimit);
        } else {
            outcome.cause = Cause::ShortReply;
            outcome.received = static_cast<int>(reply.bytes.size());
            outcome.expected = kCreditHeaderSize;
            outcome.limit = kCreditHeaderLimit;
        }
        return outcome;
    }
    if (byteAt(reply.bytes, 2) == kStatusFailed) {  // length FF: no credit
        outcome.cause = Cause::NoBadge;
        return outcome;
    }
    const int remaining = remainingCreditBytes(reply.bytes);
    const Reply rest = commandExchange({}, remaining, kCreditRestLimit);
    reply.bytes += rest.bytes;
    // Byte 2 announces the n data bytes after the header: the whole reply is 2 + n bytes,
    // the credit in bytes 3 and 4.
    const int announced = byteAt(reply.bytes, 2) + kCreditHeaderSize;
    const auto received = static_cast<int>(reply.bytes.size());
    if (received > announced) {
        noisyLine(outcome, received - announced);
        return outcome;
    }
    const auto credit = received == announced ? decodeCredit(reply.bytes) : std::nullopt;
    if (!credit) {
        outcome.cause = rest.lineLost ? Cause::LineLost : Cause::ShortReply;
        outcome.received = received;
        outcome.expected = std::max(announced, kCreditReplySize);
        outcome.limit = kCreditRestLimit;
        return outcome;
    }
    if (!staysQuiet(line_, clock_, kReplyGuard)) {
        noisyLine(outcome, 0);
        return outcome;
    }
    outcome.credit = credit;
    return outcome;
}

Outcome ReaderLink::writeCredit(const Amount& amount) {
    // Only an amount of 0 to 65535 fits the two credit bytes; a larger one is refused before
    // the Reader is touched.
    if (const auto credit = amount.credit()) return writeCredit(*credit);
    return refusedWrite(amount.digits());
}

Outcome ReaderLink::refusedWrite(std::string_view typed) {
    Outcome outcome;
    outcome.operation = Operation::WriteCredit;
    outcome.cause = Cause::Refused;
    outcome.refused = std::string(typed);
    return outcome;
}

Outcome ReaderLink::writeCredit(std::uint16_t amount) {
    Outcome outcome;
    outcome.operation = Operation::WriteCredit;
    outcome.amount = amount;
    const Reply ready = readyCheck(outcome);
    if (ready.bytes.empty()) return outcome;
    // Nothing has reached the badge yet: a noisy ready check stops the write here, with the
    // credit untouched.
    if (!readyCheckEnded(outcome, ready)) return outcome;
    // The acknowledgement is not examined.
    const Reply acknowledged =
        commandExchange(oneByte(kWriteCredit), kStatusReplySize, kWriteCommandLimit);
    if (acknowledged.lineLost) {
        // The amount never left: the badge is untouched.
        recordLineLost(outcome, kWriteCommandLimit);
        return outcome;
    }
    // Once 07 is out the Reader takes the next two bytes for the amount, whatever came
    // back: they go out now, or the next command's bytes would be stored as the credit.
    const Reply final = commandExchange(amountBytes(amount), kStatusReplySize, kWriteResultLimit);
    outcome.amountSent = true;
    if (!final.bytes.empty()) outcome.finalByte = byteAt(final.bytes, 1);
    const int extra =
        beyondStatus(acknowledged.bytes) + final.strayBefore + beyondStatus(final.bytes);
    if (final.bytes.empty()) {
        // The amount went out and nothing came back: the Reader may have stored it, even
        // when the line went away right after.
        outcome.cause = Cause::NotConfirmed;
        outcome.limit = kWriteResultLimit;
    } else if (extra > 0 || !staysQuiet(line_, clock_, kWriteGuard)) {
        // The final byte may be a late copy of an earlier reply: no verdict.
        noisyLine(outcome, extra);
    } else if (*outcome.finalByte == kStatusFailed) {
        outcome.cause = Cause::WriteRefused;
        outcome.status = kStatusFailed;
    } else if (*outcome.finalByte != kStatusOk) {
        outcome.cause = Cause::UnexpectedReply;
        outcome.status = *outcome.finalByte;
    }
    return outcome;
}

std::optional<ReaderLink::Reply> ReaderLink::readBlockReply(Outcome& outcome,
                                                            std::uint8_t blockNumber,
                                                            std::size_t needed) {
    const Reply ready = readyCheck(outcome);
    if (ready.bytes.empty()) return std::nullopt;
    // Before 04 the Reader is idle: a noisy ready check stops the read here.
    if (!readyCheckEnded(outcome, ready)) return std::nullopt;
    // The acknowledgement is not examined.
    const Reply acknowledged =
        commandExchange(oneByte(kReadBlock), kStatusReplySize, kBlockCommandLimit);
    // After 04 the Reader waits for the block number: it goes out whatever came back, or
    // the next command's byte would be taken for it.
    Reply reply = commandExchange(oneByte(blockNumber), kBlockReplySize, kBlockReplyLimit);
    outcome.block = reply.bytes;
    const int extra =
        acknowledged.strayBefore + beyondStatus(acknowledged.bytes) + reply.strayBefore;
    if (extra > 0) {
        noisyLine(outcome, extra);
        return reply;
    }
    judgeBlockReply(outcome, reply, needed);
    // A block reply may be longer than 17 bytes; only bytes that keep coming after it was
    // read tell a line that repeats or adds to it.
    if (outcome.succeeded() && !staysQuiet(line_, clock_, kReplyGuard)) noisyLine(outcome, 0);
    return reply;
}

void ReaderLink::judgeBlockReply(Outcome& outcome, const Reply& reply, std::size_t needed) const {
    if (reply.bytes.empty()) {
        noAnswer(outcome, reply.lineLost, kBlockReplyLimit);
    } else if (isNoBlockReply(reply.bytes)) {
        outcome.cause = Cause::NoBadge;
    } else if (reply.bytes.size() < needed) {
        outcome.cause = reply.lineLost ? Cause::LineLost : Cause::ShortReply;
        outcome.received = static_cast<int>(reply.bytes.size());
        outcome.expected = kBlockReplySize;
        outcome.limit = kBlockReplyLimit;
    }
}

Outcome ReaderLink::readBlock(std::int32_t blockNumber) {
    Outcome outcome;
    outcome.operation = Operation::ReadBlock;
    // The block number travels as one byte; a number that does not fit is refused
    // rather than sent as another block.
    if (blockNumber < 0 || blockNumber > kHighestBlock) {
        outcome.cause = Cause::Refused;
        outcome.refused = std::to_string(blockNumber);
        return outcome;
    }
    readBlockReply(outcome, static_cast<std::uint8_t>(blockNumber), kBlockReplySize);
    return outcome;
}

Outcome ReaderLink::readSerialNumber() {
    Outcome outcome;
    outcome.operation = Operation::ReadSerialNumber;
    const auto reply = readBlockReply(outcome, 0, kSerialNumberLastByte);
    if (reply && outcome.succeeded()) outcome.serial = decodeSerialNumber(reply->bytes);
    return outcome;
}

}  // namespace palmota
