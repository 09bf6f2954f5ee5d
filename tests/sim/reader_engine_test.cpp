#include "sim/reader_engine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/hex.h"

namespace palmota::sim {
namespace {

using namespace std::chrono_literals;

using palmota::testing::hexOf;

// Bytes written as the logger writes them: "00 02 05 DC".
std::string bytes(const std::string& pairs) {
    return palmota::testing::hex(pairs);
}

std::string joined(const std::vector<TimedPiece>& pieces) {
    std::string out;
    for (const auto& p : pieces) out += p.bytes;
    return out;
}

// What the Reader answers to each byte of `input`, in turn, as hex.
std::vector<std::string> repliesTo(ReaderEngine& engine, const std::string& input) {
    std::vector<std::string> replies;
    for (char c : bytes(input)) {
        replies.push_back(hexOf(joined(engine.receive(static_cast<std::uint8_t>(c)))));
    }
    return replies;
}

const std::string kNoBlock = "FF FF 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00";

TEST(ReaderEngine, AnswersEachByteOfEachExchange) {
    struct Case {
        const char* name;
        ReaderFaults faults;
        std::string input;
        std::vector<std::string> replies;  // one per input byte
    };
    const std::vector<Case> cases = {
        {"ready", {}, "00", {"00"}},
        {"not ready", {.notReady = 0x03}, "00", {"03"}},
        {"read block 1", {}, "04 01", {"00", "00 05 DC 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F"}},
        {"block number 00 names block 0, it is no ready check",
         {},
         "04 00",
         {"00", "00 00 01 02 03 04 05 06 07 00 01 E2 40 0C 0D 0E 0F"}},
        {"00 after a block reply is a ready check again",
         {},
         "04 07 00",
         {"00", "00 70 71 72 73 74 75 76 77 78 79 7A 7B 7C 7D 7E 7F", "00"}},
        {"block past the last", {}, "04 08", {"00", kNoBlock}},
        {"block number FF", {}, "04 FF", {"00", kNoBlock}},
        {"block without badge", {.noBadge = true}, "04 02", {"00", kNoBlock}},
        {"read credit", {}, "06", {"00 02 05 DC"}},
        {"credit without badge", {.noBadge = true}, "06", {"00 FF"}},
        {"write credit", {}, "07 01 02", {"00", "", "00"}},
        {"amount byte 00 is no ready check", {}, "07 00 00", {"00", "", "00"}},
        {"write refused", {.writeRefused = true}, "07 01 02", {"00", "", "FF"}},
        {"write without badge", {.noBadge = true}, "07 01 02", {"00", "", "FF"}},
        {"final write reply lost", {.noFinalWriteReply = true}, "07 01 02", {"00", "", ""}},
        {"unknown bytes ignored while idle", {}, "42 05 00", {"", "", "00"}},
        {"silent", {.silent = true}, "00 04 01 06 07 00 01", {"", "", "", "", "", "", ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ReaderEngine engine;
        engine.setFaults(c.faults);
        EXPECT_EQ(repliesTo(engine, c.input), c.replies);
    }
}

TEST(ReaderEngine, WrittenCreditShowsInLaterReadsUnlessRefused) {
    struct Case {
        const char* name;
        ReaderFaults faults;
        std::string creditRead;
        std::string block1Start;
    };
    const std::vector<Case> cases = {
        {"stored", {}, "00 02 12 34", "00 12 34"},
        // The write happened; only its acknowledgement went missing.
        {"stored without final reply", {.noFinalWriteReply = true}, "00 02 12 34", "00 12 34"},
        {"refused", {.writeRefused = true}, "00 02 05 DC", "00 05 DC"},
        {"no badge", {.noBadge = true}, "00 02 05 DC", "00 05 DC"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ReaderEngine engine;
        engine.setFaults(c.faults);
        repliesTo(engine, "07 12 34");
        engine.setFaults({});
        EXPECT_EQ(repliesTo(engine, "06").back(), c.creditRead);
        EXPECT_EQ(repliesTo(engine, "04 01").back().substr(0, 8), c.block1Start);
    }
}

struct Piece {
    long long atMicros;
    std::string hex;
    bool operator==(const Piece&) const = default;
};

void PrintTo(const Piece& p, std::ostream* os) {
    *os << "{" << p.atMicros << " us, " << p.hex << "}";
}

TEST(ReaderEngine, TimingFaultsShapeThePieces) {
    struct Case {
        const char* name;
        ReaderFaults faults;
        std::string command;
        std::vector<Piece> pieces;
    };
    // One byte at 9600 baud: 10 bits of 1/9600 s, 1041.67 us, truncated to whole us.
    const std::vector<Case> cases = {
        {"at once", {}, "06", {{0, "00 02 05 DC"}}},
        {"delayed", {.replyDelay = 50ms}, "06", {{50000, "00 02 05 DC"}}},
        {"split in halves", {.splitGap = 20ms}, "06", {{0, "00 02"}, {20000, "05 DC"}}},
        {"one byte cannot be split", {.splitGap = 20ms}, "00", {{0, "00"}}},
        {"delay and split",
         {.replyDelay = 7ms, .splitGap = 3ms},
         "06",
         {{7000, "00 02"}, {10000, "05 DC"}}},
        {"trailing bytes", {.extraTrailingBytes = 2}, "06", {{0, "00 02 05 DC EE EE"}}},
        {"trailing bytes are split with the reply",
         {.splitGap = 5ms, .extraTrailingBytes = 1},
         "00",
         {{0, "00"}, {5000, "EE"}}},
        {"paced",
         {.pace9600 = true},
         "06",
         {{1041, "00"}, {2083, "02"}, {3125, "05"}, {4166, "DC"}}},
        {"paced, delayed and split",
         {.replyDelay = 10ms, .splitGap = 5ms, .pace9600 = true},
         "06",
         {{11041, "00"}, {12083, "02"}, {18125, "05"}, {19166, "DC"}}},
        {"late block reply",
         {.lateBlockReply = 2500ms},
         "04 01",
         {{2500000, "00 05 DC 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F"}}},
        {"late final write reply", {.lateWriteReply = 3500ms}, "07 00 64", {{3500000, "00"}}},
        {"only the final write reply is late", {.lateWriteReply = 3500ms}, "07", {{0, "00"}}},
        {"replies twice", {.repliesTwice = true}, "06", {{0, "00 02 05 DC 00 02 05 DC"}}},
        {"block reply split after 8 of its 17 bytes",
         {.splitGap = 4ms},
         "04 03",
         {{0, "00 30 31 32 33 34 35 36"}, {4000, "37 38 39 3A 3B 3C 3D 3E 3F"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ReaderEngine engine;
        engine.setFaults(c.faults);
        std::vector<TimedPiece> last;
        for (char b : bytes(c.command)) last = engine.receive(static_cast<std::uint8_t>(b));
        std::vector<Piece> pieces;
        for (const auto& p : last) pieces.push_back({p.at.count(), hexOf(p.bytes)});
        EXPECT_EQ(pieces, c.pieces);
    }
}

TEST(ReaderEngine, FloodIsOwedOnlyAfterAnsweredReadyChecks) {
    struct Case {
        const char* name;
        ReaderFaults faults;
        std::string input;
        std::size_t owedAfterLastByte;
    };
    constexpr std::size_t kFlood = 50'000'000;
    const std::vector<Case> cases = {
        {"ready check", {.floodBytes = kFlood}, "00", kFlood},
        {"not-ready answer floods too", {.notReady = 0x01, .floodBytes = kFlood}, "00", kFlood},
        {"credit read", {.floodBytes = kFlood}, "06", 0},
        {"block number 00", {.floodBytes = kFlood}, "04 00", 0},
        {"silent", {.silent = true, .floodBytes = kFlood}, "00", 0},
        {"no flood set", {}, "00", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ReaderEngine engine;
        engine.setFaults(c.faults);
        const auto replies = repliesTo(engine, c.input);
        EXPECT_LE(replies.back().size(), 3u * 17);  // the flood is never among the pieces
        EXPECT_EQ(engine.takeFlood(), c.owedAfterLastByte);
        EXPECT_EQ(engine.takeFlood(), 0u);
    }
}

TEST(ReaderEngine, ResetAbandonsAHalfDoneWrite) {
    ReaderEngine engine;
    repliesTo(engine, "07 12");
    engine.reset();
    EXPECT_EQ(repliesTo(engine, "00 06"), (std::vector<std::string>{"00", "00 02 05 DC"}));
}

}  // namespace
}  // namespace palmota::sim
