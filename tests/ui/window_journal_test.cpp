// Encoder Badge with a journal: the badge read around the write, the row before it, and
// nothing sent without it.
#include "tests/support/fake_journal.h"
#include "tests/ui/window_fixture.h"
#include "till/ledger.h"

namespace palmota::ui::testing {
namespace {

using palmota::testing::FakeJournal;

class JournaledEncode : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        window->setLedger(&ledger, [this](const std::string& said) { complaints.push_back(said); });
    }
    void encode(const QString& amount) {
        typeAmount(amount);
        click("Command2");
    }
    // Whether a credit write's command went out.
    bool writeSent() const { return written().find('\x07') != std::string::npos; }

    FakeJournal journal;
    till::Ledger ledger{journal};
    std::vector<std::string> complaints;
};

TEST_F(JournaledEncode, AWriteWhoseRowCannotBeCommittedIsNotSent) {
    journal.refuseBegin = true;
    encode("1700");
    EXPECT_EQ(text("Text3"), "ERREUR");
    EXPECT_EQ(reason("Text3"), QStringLiteral("Journal indisponible : rien n'a été écrit."));
    EXPECT_FALSE(writeSent());
    EXPECT_EQ(engine.badge().credit(), 1500);
    ASSERT_EQ(complaints.size(), 1u);
    EXPECT_EQ(complaints[0],
              "journal unavailable: /var/lib/palmota/journal.db: disk full; nothing written");
}

TEST_F(JournaledEncode, RecordsTheBadgeReadAroundTheWriteAndTheOutcome) {
    encode("1700");
    EXPECT_EQ(text("Text3"), "OK");
    // The boxes of "Lire Badge" keep what they showed: the reads are the journal's.
    EXPECT_EQ(text("Text4"), "");
    ASSERT_EQ(journal.begun.size(), 1u);
    EXPECT_EQ(journal.begun[0].serial, "123456");
    EXPECT_EQ(journal.begun[0].serialSource, journal::SerialSource::ReadNow);
    EXPECT_EQ(journal.begun[0].before, 1500);
    EXPECT_EQ(journal.begun[0].amount, 1700);
    EXPECT_EQ(journal.begun[0].program, "palmota");
    EXPECT_EQ(journal.begun[0].port, kDevice);
    ASSERT_EQ(journal.completed.size(), 1u);
    EXPECT_EQ(journal.completed[0].cause, "ok");
    EXPECT_TRUE(journal.completed[0].confirmed);
    EXPECT_EQ(journal.completed[0].after, 1700);
    EXPECT_EQ(journal.completed[0].serialAfter, "123456");
}

TEST_F(JournaledEncode, AnOutcomeThatCannotBeRecordedIsSaidWithItsRow) {
    journal.refuseComplete = true;
    encode("1700");
    EXPECT_EQ(text("Text3"), "OK");
    EXPECT_TRUE(reason("Text3").endsWith(
        QStringLiteral("Écrit, mais le journal n'a pas pu noter le résultat. Relisez le badge.")))
        << reason("Text3").toStdString();
    ASSERT_EQ(complaints.size(), 1u);
    EXPECT_EQ(complaints[0],
              "journal: the outcome of write row-1 (ok, credit read back 1700) could not be "
              "recorded in /var/lib/palmota/journal.db: server gone; the row stays without "
              "outcome");
}

}  // namespace
}  // namespace palmota::ui::testing
