// Drives the badge operations with arbitrary reply bytes and timings through the
// scripted line, and checks that every result is one the operations may give and that
// every operation ends within the sum of its time limits.
#include <fuzzer/FuzzedDataProvider.h>

#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "reader/amount.h"
#include "reader/palmota.h"
#include "reader/protocol.h"
#include "reader/reader_link.h"
#include "tests/support/scripted_line.h"

using namespace palmota;
using namespace palmota::testing;
using namespace std::chrono_literals;

namespace {

// Longest waits of each operation: the sums of their exchanges' limits, plus the hair
// each exchange waits past its limit.
constexpr Seconds kMargin = 10ms;
constexpr Seconds kReadCreditMost = 4s;
constexpr Seconds kWriteCreditMost = 7s;
constexpr Seconds kBlockReadMost = 6s;

[[noreturn]] void fail(const char* what, const std::string& result) {
    std::fprintf(stderr, "%s: \"%s\"\n", what, result.c_str());
    std::abort();
}

template <typename T>
bool isDecimal(const std::string& text, T low, T high) {
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) return false;
    // No leading zeros, no "+": the texts are what the window shows.
    if (text.size() > 1 && (text[0] == '0' || (text[0] == '-' && text[1] == '0'))) return false;
    return value >= low && value <= high;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    FakeClock clock;
    ScriptedLine line(clock);
    if (in.ConsumeIntegralInRange(0, 7) == 0) line.refuseOpen = "refused";

    line.setResponder([&](const Bytes&) {
        std::vector<Arrival> pieces;
        const int count = in.ConsumeIntegralInRange(0, 3);
        for (int i = 0; i < count; ++i) {
            const auto delay = std::chrono::milliseconds{in.ConsumeIntegralInRange(0, 4000)};
            const auto length = in.ConsumeIntegralInRange<std::size_t>(0, 40);
            pieces.push_back({delay, in.ConsumeBytesAsString(length)});
        }
        if (in.ConsumeIntegralInRange(0, 31) == 0) line.breakLine();
        return pieces;
    });
    ReaderLink reader(line, clock, [] { return std::string("1"); });
    Palmota link(reader);

    for (int op = 0; op < 8 && in.remaining_bytes() > 0; ++op) {
        const Seconds start = clock.time;
        const std::size_t writesBefore = line.writes.size();
        Seconds most{};
        switch (in.ConsumeIntegralInRange(0, 3)) {
            case 0: {
                const std::string credit = link.ReadCredit();
                if (!credit.empty() && !isDecimal<long>(credit, 0, 65535)) fail("credit", credit);
                most = kReadCreditMost;
                break;
            }
            case 1: {
                const std::string amount = in.ConsumeRandomLengthString(24);
                const std::string result = link.WriteCredit(amount);
                if (result != "OK" && result != "ERREUR" && !result.empty()) fail("write", result);
                const auto typed = Amount::parse(amount);
                const auto value = typed ? typed->credit() : std::nullopt;
                if (!value && (result != "ERREUR" || line.writes.size() != writesBefore))
                    fail("refused amount went out", amount);
                if (value && line.writes.size() == writesBefore + 3 &&
                    line.writes.back() != protocol::amountBytes(*value))
                    fail("amount bytes", amount);
                most = kWriteCreditMost;
                break;
            }
            case 2: {
                const auto n = in.ConsumeIntegralInRange<std::int32_t>(-2, 300);
                const std::string block = link.ReadBlock(n);
                if (block.size() > 1024) fail("block longer than the receive buffer", "");
                if ((n < 0 || n > 255) && block != "ERREUR") fail("block number", block);
                most = kBlockReadMost;
                break;
            }
            default: {
                const std::string serial = link.ReadSerialNumber();
                if (serial != "ERREUR" && !serial.empty() &&
                    !isDecimal<long long>(serial, INT32_MIN, INT32_MAX))
                    fail("serial", serial);
                most = kBlockReadMost;
                break;
            }
        }
        if (clock.time - start > most + kMargin) fail("operation outlived its limits", "");
        // Each operation tells exactly one outcome, and a success is never a failure's text.
        const Outcome& told = link.lastOutcome();
        const std::string result = resultText(told);
        if (told.succeeded() && (result.empty() || result == "ERREUR"))
            fail("failure told as a success", result);
        if (told.succeeded() && told.operation == Operation::WriteCredit && result != "OK")
            fail("write told as a success", result);
        // Blocking waits: a handful per exchange, never a spin.
        if (line.waits > 64 * (op + 1)) fail("too many waits", "");
    }
    return 0;
}
