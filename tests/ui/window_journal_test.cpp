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
    till::Ledger ledger{journal,
                        till::Station::here("palmota", [this] { return window->portText(); })};
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

// Another badge laid on the Reader for the write and the reads after it, the first one
// back for the last serial read: the Reader's 00 is no "OK" for the badge the row names.
TEST_F(JournaledEncode, AWriteThatWentToAnotherBadgeIsNotOk) {
    sim::VirtualBadge first = engine.badge();
    sim::VirtualBadge other = first;
    other.setSerialNumber(222);
    other.setCredit(100);
    int writes = 0;
    duringWrite = [&](const Bytes&) {
        // The host's writes: serial (3), credit (2), serial (3), then 00 07 amount; the
        // other badge meets the amount, the serial and credit reads after it.
        if (++writes == 9) {
            first = engine.badge();
            engine.setBadge(other);
        } else if (writes == 16) {
            other = engine.badge();
            engine.setBadge(first);
        }
    };
    encode("700");
    EXPECT_EQ(other.credit(), 700);
    EXPECT_EQ(text("Text3"), "");
    EXPECT_EQ(reason("Text3"), QStringLiteral("Badge changé pendant l'écriture : le crédit a pu "
                                              "être écrit sur l'un ou l'autre. Relisez les deux "
                                              "badges."));
    ASSERT_EQ(journal.completed.size(), 1u);
    EXPECT_FALSE(journal.completed[0].confirmed);
    EXPECT_FALSE(journal.completed[0].serialAfter);
}

// Stored, said the Reader, and then nothing: the badge it went to is not known.
TEST_F(JournaledEncode, AWriteWhoseBadgeCannotBeReadBackIsNotOk) {
    duringWrite = [this](const Bytes& written) {
        if (written.size() != 2) return;
        sim::ReaderFaults silent;
        silent.silent = true;
        setFaults(silent);
    };
    encode("1700");
    EXPECT_EQ(engine.badge().credit(), 1700);
    EXPECT_EQ(text("Text3"), "");
    EXPECT_TRUE(
        reason("Text3").endsWith(QStringLiteral("Le crédit a pu être écrit : relisez le badge.")))
        << reason("Text3").toStdString();
    ASSERT_EQ(journal.completed.size(), 1u);
    EXPECT_EQ(journal.completed[0].cause, "no-answer");
    EXPECT_FALSE(journal.completed[0].confirmed);
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
