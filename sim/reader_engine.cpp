#include "sim/reader_engine.h"

#include <algorithm>
#include <initializer_list>
#include <ratio>
#include <utility>

#include "reader/protocol.h"

namespace palmota::sim {

namespace {

// Commands, as the host's first byte of an exchange.
constexpr std::uint8_t kReadyCheck = 0x00;
constexpr std::uint8_t kReadBlock = 0x04;
constexpr std::uint8_t kReadCredit = 0x06;
constexpr std::uint8_t kWriteCredit = 0x07;

constexpr std::uint8_t kOk = 0x00;
constexpr std::uint8_t kFailed = 0xFF;
constexpr std::uint8_t kCreditLength = 2;  // the n of "00 n high low"

// At 9600 baud a byte takes 10 bit times (start, 8 data, stop): 1/960 s, about 1.0417 ms.
using ByteTimes9600 =
    std::chrono::duration<std::int64_t, std::ratio<protocol::kBitsPerByte, protocol::kBaudRate>>;

std::string bytesOf(std::initializer_list<std::uint8_t> bytes) {
    std::string out;
    for (auto b : bytes) out.push_back(static_cast<char>(b));
    return out;
}

}  // namespace

ReaderEngine::ReaderEngine(const VirtualBadge& badge) : badge_(badge) {}

std::vector<TimedPiece> ReaderEngine::receive(std::uint8_t byte) {
    floodOwed_ = 0;
    if (faults_.silent) return {};

    switch (state_) {
        case State::AwaitBlockNumber:
            // Whatever this byte is, 00 included, it names the block: not a ready check.
            state_ = State::Idle;
            return answer(blockReply(byte), faults_.lateBlockReply);
        case State::AwaitCreditHigh:
            creditHigh_ = byte;
            state_ = State::AwaitCreditLow;
            return {};
        case State::AwaitCreditLow:
            state_ = State::Idle;
            return answer(storeCredit(byte), faults_.lateWriteReply);
        case State::Idle:
            break;
    }

    switch (byte) {
        case kReadyCheck:
            floodOwed_ = faults_.floodBytes;
            return answer(bytesOf({faults_.notReady.value_or(kOk)}));
        case kReadBlock:
            state_ = State::AwaitBlockNumber;
            return answer(bytesOf({kOk}));
        case kReadCredit:
            return answer(creditReply());
        case kWriteCredit:
            state_ = State::AwaitCreditHigh;
            return answer(bytesOf({kOk}));
        default:
            return {};
    }
}

std::size_t ReaderEngine::takeFlood() {
    return std::exchange(floodOwed_, 0);
}

std::string ReaderEngine::blockReply(std::uint8_t blockNumber) const {
    if (faults_.noBadge || blockNumber >= VirtualBadge::kBlockCount) {
        // Status FF, then an FF where the first data byte would be and 15 zeros.
        std::string reply = bytesOf({kFailed, kFailed});
        reply.append(VirtualBadge::kBlockSize - 1, '\0');
        return reply;
    }
    std::string reply = bytesOf({kOk});
    for (auto b : badge_.blocks[blockNumber]) reply.push_back(static_cast<char>(b));
    return reply;
}

std::string ReaderEngine::creditReply() const {
    // With no badge the length byte is FF and no credit follows.
    if (faults_.noBadge) return bytesOf({kOk, kFailed});
    const std::uint16_t credit = badge_.credit();
    return bytesOf({kOk, kCreditLength, static_cast<std::uint8_t>(credit >> 8),
                    static_cast<std::uint8_t>(credit & 0xFF)});
}

std::string ReaderEngine::storeCredit(std::uint8_t low) {
    const bool refused = faults_.noBadge || faults_.writeRefused;
    if (!refused) badge_.setCredit(static_cast<std::uint16_t>((creditHigh_ << 8) | low));
    // A lost final reply still leaves the write done: the host cannot tell it happened.
    if (faults_.noFinalWriteReply) return {};
    return bytesOf({refused ? kFailed : kOk});
}

std::vector<TimedPiece> ReaderEngine::answer(std::string reply,
                                             std::chrono::milliseconds lateBy) const {
    if (reply.empty()) return {};
    reply.append(static_cast<std::size_t>(std::max(faults_.extraTrailingBytes, 0)),
                 static_cast<char>(kTrailingByte));
    if (faults_.repliesTwice) reply += reply;

    const std::chrono::microseconds delay = faults_.replyDelay + lateBy;
    const std::chrono::microseconds gap = faults_.splitGap;
    const std::size_t half = gap > gap.zero() ? reply.size() / 2 : 0;

    std::vector<TimedPiece> pieces;
    if (faults_.pace9600) {
        for (std::size_t i = 0; i < reply.size(); ++i) {
            auto at = delay + std::chrono::duration_cast<std::chrono::microseconds>(
                                  ByteTimes9600{static_cast<std::int64_t>(i + 1)});
            if (half > 0 && i >= half) at += gap;
            pieces.push_back({at, reply.substr(i, 1)});
        }
        return pieces;
    }
    if (half == 0) {
        pieces.push_back({delay, std::move(reply)});
        return pieces;
    }
    pieces.push_back({delay, reply.substr(0, half)});
    pieces.push_back({delay + gap, reply.substr(half)});
    return pieces;
}

void ReaderEngine::setFaults(const ReaderFaults& faults) {
    faults_ = faults;
}

const ReaderFaults& ReaderEngine::faults() const {
    return faults_;
}

const VirtualBadge& ReaderEngine::badge() const {
    return badge_;
}

void ReaderEngine::setBadge(const VirtualBadge& badge) {
    badge_ = badge;
}

void ReaderEngine::reset() {
    state_ = State::Idle;
    creditHigh_ = 0;
    floodOwed_ = 0;
}

}  // namespace palmota::sim
