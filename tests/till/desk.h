#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/reader_engine.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_journal.h"
#include "tests/support/hex.h"
#include "tests/support/scripted_line.h"
#include "tests/support/system_names.h"
#include "till/ledger.h"
#include "till/till.h"

namespace palmota::till {

using palmota::testing::Arrival;
using palmota::testing::FakeClock;
using palmota::testing::FakeJournal;
using palmota::testing::hex;
using palmota::testing::hexOf;
using palmota::testing::ScriptedLine;

inline const std::string kDevice = palmota::testing::onThisSystem("/dev/ttyUSB0");

// The host's writes, in order, for a top-up or a journaled write: serial number (00, 04,
// 00), credit (00, 06), serial number again, then the write (00, 07, amount).
constexpr std::size_t kCreditReadyCheck = 3;
constexpr std::size_t kAmountWrite = 10;

// The serial number a misread block 0 gives: neither badge's.
constexpr std::uint32_t kMisreadSerial = 333;

// An amount as a command gives it: decimal digits.
inline Amount typed(const std::string& digits) {
    return *Amount::parse(digits);
}

// A till on the emulator, with a journal that keeps its rows.
//
// Operations are told apart on the wire: each begins with a ready check (00) written while
// the Reader is idle, that is not right after 04 (the block number) or 07 (the amount).
struct Desk {
    Desk() {
        line.setResponder([this](const Bytes& written) {
            const std::size_t index = writes++;
            const bool idle = !midOperation;
            if (idle && written == hex("00")) {
                if (beforeOperation) beforeOperation(operations);
                ++operations;
            }
            if (idle && written == hex("07")) metWrite = lifted ? -1 : onReader;
            midOperation = idle && (written == hex("04") || written == hex("07"));
            if (beforeReader) beforeReader(index, written);
            std::vector<Arrival> arrivals;
            const Bytes received = garbleAmount && written.size() == 2
                                       ? Bytes{written[0], static_cast<char>(written[1] ^ 1)}
                                       : written;
            for (const char byte : received)
                for (const sim::TimedPiece& piece : engine.receive(static_cast<std::uint8_t>(byte)))
                    arrivals.push_back({Seconds(piece.at), piece.bytes});
            if (finalReply && written.size() == 2 && !arrivals.empty())
                arrivals = {{arrivals.front().after, hex(finalReply)}};
            if (shapeReply) shapeReply(index, arrivals);
            return arrivals;
        });
    }
    // Another badge on the Reader from the host's write `index` on.
    void swapAt(std::size_t index) {
        beforeReader = [this, index](std::size_t at, const Bytes&) {
            if (at != index) return;
            sim::VirtualBadge other = sim::VirtualBadge::sample();
            other.setSerialNumber(777);
            other.setCredit(20);
            engine.setBadge(other);
        };
    }
    // The Reader goes silent once it has answered the amount.
    void silentAfterAmount() {
        beforeReader = [this, answered = false](std::size_t, const Bytes& written) mutable {
            if (answered) {
                sim::ReaderFaults faults = engine.faults();
                faults.silent = true;
                engine.setFaults(faults);
            }
            answered = answered || written.size() == 2;
        };
    }
    void setFaults(void (*set)(sim::ReaderFaults&)) {
        sim::ReaderFaults faults;
        set(faults);
        engine.setFaults(faults);
    }
    // The amount bytes of the credit write among the host's writes, if one went out.
    std::string amountWritten() const {
        for (std::size_t i = 0; i + 1 < line.writes.size(); ++i)
            if (line.writes[i] == hex("07")) return hexOf(line.writes[i + 1]);
        return "";
    }

    // Two badges, A (serial 111, credit 1500) and B (222, 100), taking turns on the Reader:
    // operation i (from 0) meets `who[i]`: A or B; a or b, that badge with its serial number
    // misread (block 0 gives kMisreadSerial); '-', no badge at all. Operations past the
    // end of `who` meet the badge of the last one.
    void timeline(std::string who) {
        badges = {badge(111, 1500), badge(222, 100)};
        engine.setBadge(badges[0]);
        onReader = 0;
        beforeOperation = [this, who = std::move(who)](std::size_t operation) {
            if (operation < who.size()) meet(who[operation]);
        };
    }
    static sim::VirtualBadge badge(std::uint32_t serial, std::uint16_t credit) {
        sim::VirtualBadge made = sim::VirtualBadge::sample();
        made.setSerialNumber(serial);
        made.setCredit(credit);
        return made;
    }
    // What badge `which` (0: A, 1: B) holds now.
    const sim::VirtualBadge& held(int which) {
        if (which == onReader) badges[onReader] = trueBadge();
        return badges[which];
    }
    // The badge whose serial number is `serial`, or -1.
    int badgeNamed(std::uint32_t serial) {
        for (int which = 0; which < 2; ++which)
            if (held(which).serialNumber() == serial) return which;
        return -1;
    }

    FakeClock clock;
    ScriptedLine line{clock};
    sim::ReaderEngine engine;
    std::size_t writes = 0;
    std::size_t operations = 0;
    bool midOperation = false;
    std::function<void(std::size_t, const Bytes&)> beforeReader;
    std::function<void(std::size_t)> beforeOperation;
    // Reshapes what the Reader sends in answer to the host's write `index`.
    std::function<void(std::size_t, std::vector<Arrival>&)> shapeReply;
    bool garbleAmount = false;         // the Reader stores the amount with its low bit flipped
    const char* finalReply = nullptr;  // what the Reader answers the amount with instead
    std::array<sim::VirtualBadge, 2> badges{};
    int onReader = 0;
    bool misread = false;  // the badge on the Reader gives kMisreadSerial for now
    bool lifted = false;   // no badge on the Reader for now
    int metWrite = -2;     // the badge the write command met (-1: none; -2: no write)
    ReaderLink link{line, clock, [] { return kDevice; }};
    FakeJournal journal;
    Ledger ledger{journal, Station::here("palmota-cli", [] { return kDevice; })};
    Till till{link};

  private:
    // The badge on the Reader with its true serial number.
    sim::VirtualBadge trueBadge() const {
        sim::VirtualBadge on = engine.badge();
        on.setSerialNumber(badges[onReader].serialNumber());
        return on;
    }
    void meet(char who) {
        badges[onReader] = trueBadge();
        if (lifted) {
            sim::ReaderFaults faults = engine.faults();
            faults.noBadge = false;
            engine.setFaults(faults);
        }
        misread = lifted = false;
        if (who == '-') {
            sim::ReaderFaults faults = engine.faults();
            faults.noBadge = true;
            engine.setFaults(faults);
            lifted = true;
            return;
        }
        onReader = (who == 'A' || who == 'a') ? 0 : 1;
        sim::VirtualBadge on = badges[onReader];
        if (who == 'a' || who == 'b') {
            on.setSerialNumber(kMisreadSerial);
            misread = true;
        }
        engine.setBadge(on);
    }
};

}  // namespace palmota::till
