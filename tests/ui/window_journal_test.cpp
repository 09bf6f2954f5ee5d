// Encoder Badge with a journal: the row before the write, and nothing sent without it.
#include "ui/window_journal.h"

#include <optional>

#include "tests/support/fake_journal.h"
#include "tests/ui/window_fixture.h"

namespace palmota::ui::testing {
namespace {

using palmota::testing::FakeJournal;

class JournaledEncode : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        window->setJournal(&windowJournal,
                           [this](const std::string& said) { complaints.push_back(said); });
    }
    void encode(const QString& amount) {
        typeAmount(amount);
        click("Command2");
    }

    FakeJournal journal;
    WindowJournal windowJournal{journal};
    std::vector<std::string> complaints;
};

TEST_F(JournaledEncode, AWriteWhoseRowCannotBeCommittedIsNotSent) {
    journal.refuseBegin = true;
    encode("1700");
    EXPECT_EQ(text("Text3"), "ERREUR");
    EXPECT_EQ(reason("Text3"), QStringLiteral("Journal indisponible : rien n'a été écrit."));
    EXPECT_EQ(written(), "");
    EXPECT_EQ(engine.badge().credit(), 1500);
    ASSERT_EQ(complaints.size(), 1u);
    EXPECT_EQ(complaints[0],
              "journal unavailable: /var/lib/palmota/journal.db: disk full; nothing written");
}

TEST_F(JournaledEncode, RecordsTheLastReadSerialNumberAndTheOutcome) {
    click("Command3");
    encode("1700");
    EXPECT_EQ(text("Text3"), "OK");
    ASSERT_EQ(journal.begun.size(), 1u);
    EXPECT_EQ(journal.begun[0].serial, "123456");
    EXPECT_EQ(journal.begun[0].serialSource, journal::SerialSource::LastRead);
    EXPECT_EQ(journal.begun[0].amount, 1700);
    EXPECT_EQ(journal.begun[0].program, "palmota");
    EXPECT_EQ(journal.begun[0].port, kDevice);
    ASSERT_EQ(journal.completed.size(), 1u);
    EXPECT_EQ(journal.completed[0].cause, "ok");
    EXPECT_TRUE(journal.completed[0].confirmed);
}

TEST_F(JournaledEncode, AnOutcomeThatCannotBeRecordedIsSaidWithItsRow) {
    journal.refuseComplete = true;
    sim::ReaderFaults faults;
    faults.noFinalWriteReply = true;
    setFaults(faults);
    encode("1700");
    ASSERT_EQ(complaints.size(), 1u);
    EXPECT_EQ(
        complaints[0],
        "journal: the outcome of write row-1 (not-confirmed) could not be "
        "recorded in /var/lib/palmota/journal.db: server gone; the row stays without outcome");
}

}  // namespace
}  // namespace palmota::ui::testing
