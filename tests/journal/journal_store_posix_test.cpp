// The journal's store where POSIX decides: two programs at once (processes of their own),
// the modes and owners of the file it makes, and what it finds at its place.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "journal/sql_journal.h"
#include "tests/journal/journal_places.h"

namespace palmota::journal {
namespace {

using testing::Backend;
using testing::TempFolder;

WriteStart aWrite(int amount) {
    WriteStart start;
    start.station = "desk-1";
    start.user = "desk";
    start.program = "palmota-cli";
    start.port = "/dev/ttyUSB0";
    start.serial = "42";
    start.serialSource = SerialSource::ReadNow;
    start.before = 150;
    start.amount = amount;
    return start;
}

// A program of its own (a forked process) that opens the journal to record once `go` is
// readable, and begins a row; its exit status is 0 when both worked, and what it was told
// otherwise is written to `said`.
pid_t startProgram(const std::string& where, int go, int said) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    char byte = 0;
    if (::read(go, &byte, 1) != 1) ::_exit(2);
    std::string error;
    const auto location = parseJournalLocation(where, error);
    bool ok = location.has_value();
    if (ok) {
        SqlJournal journal(where, *location);
        ok = journal.connect(error) && journal.begin(aWrite(155), error);
    }
    if (!ok) {
        error += '\n';
        [[maybe_unused]] const auto written = ::write(said, error.data(), error.size());
    }
    ::_exit(ok ? 0 : 1);
}

class TwoProgramsTest : public ::testing::TestWithParam<Backend> {};

// Two programs started at once on a journal of the first version, or where none is yet:
// one upgrades it (or makes it) while the other waits for it, then finds it done; both
// record their write. Each round is a journal of its own, both programs let go together.
TEST_P(TwoProgramsTest, UpgradingOrMakingAJournalAtOnceOneWaitsForTheOther) {
    constexpr int kRounds = 8;
    TempFolder folder;
    for (int round = 0; round < kRounds; ++round) {
        const bool old = round % 2 == 0;
        SCOPED_TRACE(old ? "version 1" : "none yet");
        const std::string where = testing::newJournal(GetParam(), folder.path());
        if (old) {
            ASSERT_TRUE(testing::makeVersionOneJournal(where));
        }
        int go[2];
        int said[2];
        ASSERT_EQ(::pipe(go), 0);
        ASSERT_EQ(::pipe(said), 0);
        const pid_t programs[2] = {startProgram(where, go[0], said[1]),
                                   startProgram(where, go[0], said[1])};
        ::close(said[1]);
        ASSERT_EQ(::write(go[1], "go", 2), 2);
        int statuses[2] = {-1, -1};
        for (int p = 0; p < 2; ++p) ::waitpid(programs[p], &statuses[p], 0);
        std::string told;
        char buffer[512];
        for (ssize_t n; (n = ::read(said[0], buffer, sizeof buffer)) > 0;) told.append(buffer, n);
        for (const int fd : {go[0], go[1], said[0]}) ::close(fd);
        for (const int status : statuses) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << told;
        }
        std::string error;
        auto reader = testing::openJournal(where, Access::Read);
        const auto rows = reader->rows({}, error);
        ASSERT_TRUE(rows) << error;
        EXPECT_EQ(rows->size(), old ? 3u : 2u);
        // The journal they left is of the version this program writes: the serial number
        // read back is kept.
        auto again = testing::openJournal(where);
        const auto id = again->begin(aWrite(160), error);
        ASSERT_TRUE(id) << error;
        ASSERT_TRUE(again->complete(*id, {"ok", true, false, 160, "42"}, error)) << error;
        std::optional<WriteRow> last;
        ASSERT_TRUE(again->lastConfirmed("42", last, error)) << error;
        ASSERT_TRUE(last && last->end);
        EXPECT_EQ(last->end->serialAfter, "42");
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, TwoProgramsTest,
                         ::testing::Values(Backend::SQLite, Backend::PostgreSQL),
                         testing::backendName);

mode_t modeOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

// The umask the test runs with, for its scope.
class Umask {
  public:
    explicit Umask(mode_t mask) : previous_(::umask(mask)) {}
    ~Umask() { ::umask(previous_); }
    Umask(const Umask&) = delete;
    Umask& operator=(const Umask&) = delete;

  private:
    mode_t previous_;
};

constexpr uid_t kOtherUser = 65534;  // nobody
constexpr gid_t kDeskGroup = 20;     // dialout, the group of the port's users

// The rows name operators and hold money: a journal is its user's alone, whatever the
// umask gives every other file, unless its folder is a group's (setgid): then the group's
// members record in it too.
TEST(SqliteJournalFile, IsMadeForItsUserAloneOrForTheGroupOfItsFolder) {
    const Umask open(022);
    TempFolder folder;
    const std::string own = folder.path() + "/journal.db";
    std::string error;
    ASSERT_TRUE(testing::openJournal(own)->begin(aWrite(5), error)) << error;
    EXPECT_EQ(modeOf(own), 0600u);

    const std::string shared = folder.path() + "/desk";
    ASSERT_EQ(::mkdir(shared.c_str(), 0755), 0);
    ASSERT_EQ(::chown(shared.c_str(), 0, kDeskGroup), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 02775), 0);
    const std::string desk = shared + "/journal.db";
    ASSERT_TRUE(testing::openJournal(desk)->begin(aWrite(5), error)) << error;
    EXPECT_EQ(modeOf(desk), 0660u);
    struct stat info {};
    ASSERT_EQ(::stat(desk.c_str(), &info), 0);
    EXPECT_EQ(info.st_gid, kDeskGroup);
}

// What a program finds at the journal's place, or above it, before it makes one.
TEST(SqliteJournalFile, ALinkAnotherUserPlantedIsRefusedAndAMissingFolderNamed) {
    TempFolder folder;
    const std::string target = folder.path() + "/elsewhere.db";
    const std::string planted = folder.path() + "/journal.db";
    ASSERT_EQ(::symlink(target.c_str(), planted.c_str()), 0);
    ASSERT_EQ(::lchown(planted.c_str(), kOtherUser, kOtherUser), 0);
    std::string error;
    auto journal = testing::openJournal(planted);
    EXPECT_FALSE(journal->begin(aWrite(5), error));
    EXPECT_EQ(error,
              "a symbolic link another user made (uid 65534) is at the journal's place: refused");
    EXPECT_FALSE(std::filesystem::exists(target));
    // Pointing at an empty file, which would be made a journal: refused alike.
    std::ofstream(target).flush();
    EXPECT_FALSE(testing::openJournal(planted)->connect(error));
    EXPECT_EQ(std::filesystem::file_size(target), 0u);

    // One of the user's own (this test's, root's) is followed.
    ASSERT_EQ(::lchown(planted.c_str(), ::geteuid(), ::getegid()), 0);
    EXPECT_TRUE(testing::openJournal(planted)->begin(aWrite(5), error)) << error;
    EXPECT_GT(std::filesystem::file_size(target), 0u);

    const std::string missing = folder.path() + "/no/such";
    EXPECT_FALSE(testing::openJournal(missing + "/journal.db")->connect(error));
    EXPECT_EQ(error, "no folder " + missing + " for the journal");
    EXPECT_FALSE(std::filesystem::exists(folder.path() + "/no"));
}

}  // namespace
}  // namespace palmota::journal
