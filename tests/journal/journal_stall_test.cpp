// A PostgreSQL journal whose server stops answering (its backend stopped, as a network that
// drops every packet leaves it): every operation gives up at the client's own deadline, or
// at a stop asked meanwhile, and the next one after the server is back works again.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "tests/journal/journal_places.h"
#include "tests/journal/stalled_backend.h"

namespace palmota::journal {
namespace {

using namespace std::chrono_literals;

constexpr auto kShortDeadline = 400ms;
// What a loaded machine may add to a deadline before the blocked call has returned.
constexpr auto kLateness = 1000ms;

WriteStart aWrite() {
    WriteStart start;
    start.station = "desk-1";
    start.user = "desk";
    start.program = "palmota-cli";
    start.port = "/dev/ttyUSB0";
    start.serial = "123456";
    start.serialSource = SerialSource::ReadNow;
    start.before = 1500;
    start.amount = 1700;
    return start;
}

// One operation of the journal on a connection that stopped answering.
struct StalledOperation {
    const char* name;
    bool (*run)(Journal& journal, const std::string& id, std::string& error);
};

void PrintTo(const StalledOperation& c, std::ostream* os) {
    *os << c.name;
}

const StalledOperation kOperations[] = {
    {"Begin", [](Journal& j, const std::string&,
                 std::string& error) { return j.begin(aWrite(), error).has_value(); }},
    {"Complete",
     [](Journal& j, const std::string& id, std::string& error) {
         return j.complete(id, {"ok", true, false, 1700, "123456"}, error);
     }},
    {"Rows", [](Journal& j, const std::string&,
                std::string& error) { return j.rows({}, error).has_value(); }},
    {"LastConfirmed",
     [](Journal& j, const std::string&, std::string& error) {
         std::optional<WriteRow> row;
         return j.lastConfirmed("123456", row, error);
     }},
};

class StalledServer : public ::testing::TestWithParam<StalledOperation> {
  protected:
    static inline int count = 0;
    void SetUp() override {
        const std::string where = testing::newJournal(testing::Backend::PostgreSQL, "");
        named_ = testing::namedConnections(where, name_);
        plain_ = where;
        journal_ = testing::openJournal(named_);
        journal_->setAnswerDeadline(kShortDeadline);
        journal_->setStopCheck([this] { return stop_.load(); });
        std::string error;
        const auto id = journal_->begin(aWrite(), error);
        ASSERT_TRUE(id) << error;
        id_ = *id;
    }

    // Runs the operation on the stalled connection: false, with the time it took.
    std::chrono::steady_clock::duration runStalled(std::string& error) {
        testing::StalledBackends stalled(plain_, name_);
        EXPECT_EQ(stalled.count(), 1u);
        const auto started = std::chrono::steady_clock::now();
        EXPECT_FALSE(GetParam().run(*journal_, id_, error));
        return std::chrono::steady_clock::now() - started;
    }

    std::string name_ = "stalled_" + std::to_string(::getpid()) + "_" + std::to_string(++count);
    std::string plain_;
    std::string named_;
    std::unique_ptr<SqlJournal> journal_;
    std::string id_;
    std::atomic<bool> stop_{false};
};

TEST_P(StalledServer, GivesUpAtTheDeadlineAndWorksOnceTheServerAnswers) {
    std::string error;
    const auto took = runStalled(error);
    EXPECT_GE(took, kShortDeadline);
    EXPECT_LT(took, kShortDeadline + kLateness);
    EXPECT_EQ(error, "no answer from the server in 0.4 s");
    // The stalled connection is dropped: the next operation makes a new one.
    EXPECT_TRUE(GetParam().run(*journal_, id_, error)) << error;
}

TEST_P(StalledServer, AStopAskedDuringTheWaitEndsIt) {
    journal_->setAnswerDeadline(SqlJournal::kAnswerDeadline);
    std::thread stopper([this] {
        std::this_thread::sleep_for(200ms);
        stop_ = true;
    });
    std::string error;
    const auto took = runStalled(error);
    stopper.join();
    EXPECT_LT(took, 200ms + kLateness);
    EXPECT_EQ(error, "stopped while waiting for the server");
}

// A stop asked before the step (during the write whose outcome this records) leaves the
// step its whole deadline: the outcome is still recorded if the server answers in time.
TEST_P(StalledServer, AStopAskedBeforeTheStepLeavesItItsDeadline) {
    stop_ = true;
    std::string error;
    const auto took = runStalled(error);
    EXPECT_GE(took, kShortDeadline);
    EXPECT_EQ(error, "no answer from the server in 0.4 s");
}

INSTANTIATE_TEST_SUITE_P(Operations, StalledServer, ::testing::ValuesIn(kOperations),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace palmota::journal
