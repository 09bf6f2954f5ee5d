// journal-bench: what the journal adds to each credit write, measured: the row committed
// before the write and its outcome after, on an SQLite file with full synchronous commits
// and a rollback journal, each commit in the file itself (the station's disk) and on a private
// PostgreSQL server with durable commits, reached through its Unix socket. Not a test (times depend
// on the machine); run it by hand:
//   journal-bench [WRITES]
//   journal-bench --verify RECORDS [FOLDER]: the time journal verify takes over that many
//   chained records (half writes begun, half their outcomes) in an SQLite file in FOLDER
//   (/dev/shm by default, where filling it is quick; verifying reads it whole either way)
#include <sys/stat.h>

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "journal/journal_location.h"
#include "journal/sql_journal.h"
#include "tests/support/postgres_server.h"

namespace {

using Millis = std::chrono::duration<double, std::milli>;
using palmota::journal::SqlJournal;

// The goal for SQLite on a station's disk.
constexpr Millis kSqliteGoal{10.0};
constexpr int kDefaultWrites = 200;

struct Figures {
    Millis median;
    Millis p95;
};

bool measure(const std::string& where, int writes, Figures& figures) {
    std::string error;
    auto location = palmota::journal::parseJournalLocation(where, error);
    SqlJournal journal(where, *location);
    if (!journal.connect(error)) {
        std::fprintf(stderr, "journal-bench: %s: %s\n", where.c_str(), error.c_str());
        return false;
    }
    std::vector<Millis> times;
    for (int i = 0; i < writes; ++i) {
        palmota::journal::WriteStart start;
        start.station = "bench";
        start.user = "bench";
        start.program = "journal-bench";
        start.port = "-";
        start.serial = "123456";
        start.serialSource = palmota::journal::SerialSource::ReadNow;
        start.before = i;
        start.amount = i + 1;
        start.topup = 1;
        const auto begun = std::chrono::steady_clock::now();
        const auto id = journal.begin(start, error);
        if (!id || !journal.complete(*id, {"ok", true, false, i + 1, "123456"}, error)) {
            std::fprintf(stderr, "journal-bench: %s: %s\n", where.c_str(), error.c_str());
            return false;
        }
        times.push_back(std::chrono::steady_clock::now() - begun);
    }
    std::sort(times.begin(), times.end());
    figures = {times[times.size() / 2], times[times.size() * 95 / 100]};
    return true;
}

// Fills a journal with `records` chained records, then verifies it.
int measureVerify(long long records, const std::string& folder) {
    const std::string where = folder + "/journal-bench-verify-" +
                              std::to_string(QCoreApplication::applicationPid()) + ".db";
    std::string error;
    auto location = palmota::journal::parseJournalLocation(where, error);
    if (!location) {
        std::fprintf(stderr, "journal-bench: %s\n", error.c_str());
        return 1;
    }
    {
        SqlJournal journal(where, *location);
        for (long long i = 0; i < records / 2; ++i) {
            palmota::journal::WriteStart start;
            start.station = i % 2 ? "bench-1" : "bench-2";
            start.user = "bench";
            start.program = "journal-bench";
            start.port = "-";
            start.serial = "123456";
            start.serialSource = palmota::journal::SerialSource::ReadNow;
            start.before = static_cast<int>(i % 60000);
            start.amount = *start.before + 1;
            start.topup = 1;
            const auto id = journal.begin(start, error);
            if (!id || !journal.complete(*id, {"ok", true, false, start.amount, "123456"}, error)) {
                std::fprintf(stderr, "journal-bench: %s\n", error.c_str());
                return 1;
            }
        }
    }
    SqlJournal reader(where, *location, palmota::journal::Access::Read);
    palmota::journal::ChainCheck check;
    const auto begun = std::chrono::steady_clock::now();
    const bool done = reader.verify(check, error);
    const Millis took = std::chrono::steady_clock::now() - begun;
    std::error_code ignored;
    std::filesystem::remove(where, ignored);
    if (!done || check.broken) {
        std::fprintf(stderr, "journal-bench: verify: %s\n",
                     done ? ("broken at record " + std::to_string(check.broken->seq)).c_str()
                          : error.c_str());
        return 1;
    }
    std::printf("journal verify, SQLite, %lld records: %.0f ms (goal 2000 ms: %s)\n", check.records,
                took.count(), took.count() <= 2000 ? "met" : "MISSED");
    return 0;
}

void print(const char* name, const Figures& f, const char* goal) {
    std::printf("%-34s median %7.2f ms   95th %7.2f ms   %s\n", name, f.median.count(),
                f.p95.count(), goal);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc > 2 && std::string_view(argv[1]) == "--verify")
        return measureVerify(std::atoll(argv[2]), argc > 3 ? argv[3] : "/dev/shm");
    const int writes = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultWrites;
    char folder[] = "/tmp/journal-bench-XXXXXX";
    // The server's user must reach the template kept in it.
    if (!mkdtemp(folder) || chmod(folder, 0755) != 0) return 1;
    std::printf("Added time per credit write (row committed, then its outcome), %d writes:\n",
                writes);

    Figures sqlite{};
    const bool sqliteOk = measure(std::string(folder) + "/journal.db", writes, sqlite);
    if (sqliteOk)
        print("SQLite, FULL, rollback journal", sqlite,
              sqlite.median <= kSqliteGoal ? "(goal 10 ms: met)" : "(goal 10 ms: MISSED)");

    palmota::testing::PostgresServer server(std::string(folder) + "/pg-template");
    std::string error;
    Figures postgres{};
    bool postgresOk =
        server.start(&error, /*durable=*/true) && server.createSchema("bench", &error);
    if (!postgresOk) std::fprintf(stderr, "journal-bench: PostgreSQL: %s\n", error.c_str());
    postgresOk = postgresOk && measure(server.uri("bench"), writes, postgres);
    if (postgresOk) print("PostgreSQL, local socket, fsync on", postgres, "");
    server.stop();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return sqliteOk && postgresOk ? 0 : 1;
}
