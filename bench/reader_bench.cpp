// reader-bench: how fast the Reader link is on a real serial line, measured against the
// emulated Reader on a pseudo-terminal. Prints medians and 95th percentiles beside the
// targets; not a test (times depend on the machine), run it by hand:
//   reader-bench [--quick]
#include <sys/prctl.h>
#include <sys/resource.h>

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "reader/clock.h"
#include "reader/exchange.h"
#include "reader/palmota.h"
#include "reader/posix_serial_line.h"
#include "reader/protocol.h"
#include "reader/reader_link.h"
#include "sim/pty_reader.h"

namespace {

using namespace std::chrono_literals;
using palmota::Palmota;
using Millis = std::chrono::duration<double, std::milli>;

// One byte on the wire: start bit, 8 data bits, stop bit.
constexpr Millis kByteTime =
    Millis{palmota::protocol::kBitsPerByte * 1000.0 / palmota::protocol::kBaudRate};
// The targets. An operation's time is the Reader's bytes on the wire, the silences the link
// waits for on purpose, and the host's own work per exchange; only the last is the link's
// cost, and the targets hold it, not the silences, which no faster code could shorten.
constexpr Millis kExchangeOverhead = 1ms;  // per exchange above the Reader's answer
constexpr double kWireTolerance = 0.10;    // above the wire time of the Reader's bytes
constexpr Millis kLimitOvershoot = 5ms;    // past each time limit
constexpr double kIdleCpuShare = 0.01;     // while waiting for a silent Reader
constexpr std::chrono::seconds kLimits[] = {1s, 2s, 3s};

struct Repetitions {
    int instant;
    int paced;
    int silentLimit;
    int silentCpu;
};
constexpr Repetitions kFull{200, 50, 5, 3};
constexpr Repetitions kQuick{20, 5, 1, 1};

struct Stats {
    double median = 0;
    double p95 = 0;
    double max = 0;
};

Stats stats(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    Stats s;
    s.median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    // Nearest rank: the smallest value with at least 95% of the samples at or below it.
    s.p95 = v[static_cast<std::size_t>(std::ceil(0.95 * static_cast<double>(n))) - 1];
    s.max = v.back();
    return s;
}

double elapsedMs(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return Millis(std::chrono::steady_clock::now() - start).count();
}

// The silences each operation waits for after the Reader's replies, to tell a reply that
// ended from one still coming: a block read after its ready check and after the block, a
// credit read after the credit, a write after its ready check and, for 100 ms, after its
// verdict (a late copy of an earlier reply must not pass for it).
constexpr Millis kGuard = std::chrono::duration_cast<Millis>(palmota::kReplyGuard);
constexpr Millis kWriteGuard = std::chrono::duration_cast<Millis>(palmota::kWriteGuard);
constexpr Millis kBlockSilences = 2 * kGuard;
constexpr Millis kCreditSilences = kGuard;
constexpr Millis kWriteSilences = kGuard + kWriteGuard;

struct Operation {
    const char* name;
    int exchanges;
    Millis silences;
    std::function<void(Palmota&)> run;
};

const std::vector<Operation> kOperations = {
    {"ReadSerialNumber", 3, kBlockSilences, [](Palmota& p) { p.ReadSerialNumber(); }},
    {"ReadCredit", 3, kCreditSilences, [](Palmota& p) { p.ReadCredit(); }},
    {"WriteCredit", 3, kWriteSilences, [](Palmota& p) { p.WriteCredit("1500"); }},
    {"ReadBlock", 3, kBlockSilences, [](Palmota& p) { p.ReadBlock(2); }},
    {"Lire Badge", 6, kBlockSilences + kCreditSilences,
     [](Palmota& p) {
         p.ReadSerialNumber();
         p.ReadCredit();
     }},
};

const char* verdict(bool met) {
    return met ? "meets" : "MISSES";
}

// A fresh Reader link on the emulator, its port opened, as an operator's first click
// leaves it; the timings below are of operations on an open port.
struct Bench {
    palmota::sim::PtyReader reader;
    palmota::PosixSerialLine line;
    palmota::SteadyClock clock;
    palmota::ReaderLink readerLink{line, clock, [this] { return reader.devicePath(); }};
    Palmota link{readerLink};

    bool start() {
        std::string error;
        // The emulator stands in for a Reader whose UART sends each byte on time; its
        // serving thread is given the finest timer slack (inherited from this thread at its
        // creation) so that its pacing adds no wake-up lateness of its own. The host's
        // thread goes back to the default, as in the window and palmota-cli.
        ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
        const bool started = reader.start(&error);
        ::prctl(PR_SET_TIMERSLACK, 0UL, 0UL, 0UL, 0UL);
        if (!started) {
            std::fprintf(stderr, "reader-bench: cannot start the emulated Reader: %s\n",
                         error.c_str());
            return false;
        }
        readerLink.OpenReaderPort();
        return line.isOpen();
    }
};

void instantTable(Bench& b, int reps) {
    std::printf(
        "\n1. Reader answering at once (%d runs each; target: under %.0f ms per exchange above the "
        "silences waited for)\n",
        reps, kExchangeOverhead.count());
    std::printf("%-18s %9s %11s %11s %11s %17s %8s\n", "operation", "exchanges", "silences ms",
                "median ms", "p95 ms", "p95/exchange ms", "target");
    for (const Operation& op : kOperations) {
        op.run(b.link);  // warm-up
        std::vector<double> ms;
        for (int i = 0; i < reps; ++i) ms.push_back(elapsedMs([&] { op.run(b.link); }));
        const Stats s = stats(ms);
        const double perExchange = (s.p95 - op.silences.count()) / op.exchanges;
        std::printf("%-18s %9d %11.3f %11.3f %11.3f %17.3f %8s\n", op.name, op.exchanges,
                    op.silences.count(), s.median, s.p95, perExchange,
                    verdict(perExchange < kExchangeOverhead.count()));
    }
}

void pacedTable(Bench& b, int reps) {
    palmota::sim::ReaderFaults paced;
    paced.pace9600 = true;
    b.reader.setFaults(paced);
    std::printf(
        "\n2. Reader sending at 9600 baud, %.3f ms a byte (%d runs each; target: within %.0f%% of "
        "the wire time of the Reader's bytes, plus the silences and %.0f ms an exchange)\n",
        kByteTime.count(), reps, kWireTolerance * 100, kExchangeOverhead.count());
    std::printf("%-18s %12s %13s %11s %11s %11s %8s\n", "operation", "Reader bytes", "wire ms",
                "median ms", "p95 ms", "target ms", "target");
    for (const Operation& op : kOperations) {
        op.run(b.link);  // warm-up
        b.reader.clearLog();
        op.run(b.link);
        // The pseudo-terminal hands the host's own bytes over at once; only the Reader's
        // bytes take their time on the wire here, as the emulator paces them.
        const std::size_t readerBytes = b.reader.sent().size();
        const std::size_t hostBytes = b.reader.received().size();
        const double wire = static_cast<double>(readerBytes) * kByteTime.count();
        std::vector<double> ms;
        for (int i = 0; i < reps; ++i) ms.push_back(elapsedMs([&] { op.run(b.link); }));
        const Stats s = stats(ms);
        // At 9600 baud the Reader's bytes take their wire time whatever the host does; the
        // link adds the silences it waits for and its per-exchange work on top.
        const double target = wire * (1 + kWireTolerance) + op.silences.count() +
                              op.exchanges * kExchangeOverhead.count();
        std::printf("%-18s %5zu (+%zu) %13.3f %11.3f %11.3f %11.3f %8s\n", op.name, readerBytes,
                    hostBytes, wire, s.median, s.p95, target, verdict(s.median <= target));
    }
    std::printf("    (+N: the host's bytes; on a real line they add %.3f ms each)\n",
                kByteTime.count());
    b.reader.setFaults({});
}

void limitTable(Bench& b, int reps) {
    palmota::sim::ReaderFaults silent;
    silent.silent = true;
    b.reader.setFaults(silent);
    b.readerLink.OpenReaderPort();
    std::printf(
        "\n3. Silent Reader: overshoot of each time limit (%d runs each; target: under %.0f ms)\n",
        reps, kLimitOvershoot.count());
    std::printf("%-18s %11s %11s %11s %8s\n", "limit", "median ms", "p95 ms", "max ms", "target");
    for (const auto limit : kLimits) {
        std::vector<double> overshoot;
        for (int i = 0; i < reps; ++i) {
            // One exchange with a ready check, through the Reader link's own exchange rule.
            const double ms = elapsedMs(
                [&] { palmota::exchange(b.line, b.clock, palmota::Bytes(1, '\0'), 1, limit); });
            overshoot.push_back(ms - Millis(limit).count());
        }
        const Stats s = stats(overshoot);
        char name[32];
        std::snprintf(name, sizeof name, "%lld s", static_cast<long long>(limit.count()));
        std::printf("%-18s %11.3f %11.3f %11.3f %8s\n", name, s.median, s.p95, s.max,
                    verdict(s.max < kLimitOvershoot.count()));
    }
}

double cpuSeconds(int who) {
    rusage usage{};
    ::getrusage(who, &usage);
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void cpuTable(Bench& b, int reps) {
    palmota::sim::ReaderFaults silent;
    silent.silent = true;
    b.reader.setFaults(silent);
    std::printf(
        "\n4. Silent Reader: CPU time over wall time during \"Lire Badge\" (%d runs; target: under "
        "%.0f%%)\n",
        reps, kIdleCpuShare * 100);
    std::vector<double> process;
    std::vector<double> host;
    std::vector<double> wall;
    for (int i = 0; i < reps; ++i) {
        const double processBefore = cpuSeconds(RUSAGE_SELF);
        const double hostBefore = cpuSeconds(RUSAGE_THREAD);
        const double ms = elapsedMs([&] { kOperations.back().run(b.link); });
        wall.push_back(ms);
        process.push_back((cpuSeconds(RUSAGE_SELF) - processBefore) / (ms / 1000));
        host.push_back((cpuSeconds(RUSAGE_THREAD) - hostBefore) / (ms / 1000));
    }
    const Stats w = stats(wall);
    const Stats p = stats(process);
    const Stats h = stats(host);
    std::printf("%-34s %11s %11s %8s\n", "", "median", "max", "target");
    std::printf("%-34s %10.1f  %10.1f  %8s\n", "wall time, ms (2 limits of 1 s)", w.median, w.max,
                "");
    std::printf("%-34s %10.3f%% %10.3f%% %8s\n", "whole process (with the emulator)",
                p.median * 100, p.max * 100, verdict(p.max < kIdleCpuShare));
    std::printf("%-34s %10.3f%% %10.3f%% %8s\n", "host thread only", h.median * 100, h.max * 100,
                verdict(h.max < kIdleCpuShare));
    b.reader.setFaults({});
}

}  // namespace

int main(int argc, char** argv) {
    Repetitions reps = kFull;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--quick") {
            reps = kQuick;
        } else {
            std::printf(
                "Usage: reader-bench [--quick]\n"
                "Times the Reader link against the emulated Reader on a pseudo-terminal.\n"
                "The full run takes about a minute, most of it waiting for a silent Reader;\n"
                "--quick runs each measurement a few times only.\n");
            return arg == "--help" || arg == "-h" ? 0 : 2;
        }
    }
    // QSerialPort wants an application object, though no event loop runs.
    QCoreApplication application(argc, argv);
    Bench bench;
    if (!bench.start()) return 1;

    std::printf("reader-bench: Reader link against the emulated Reader on %s\n",
                bench.reader.ptyPath().c_str());
    instantTable(bench, reps.instant);
    pacedTable(bench, reps.paced);
    limitTable(bench, reps.silentLimit);
    cpuTable(bench, reps.silentCpu);
    return 0;
}
