#pragma once

#include <QJsonObject>
#include <functional>
#include <string>
#include <vector>

#include "cli/write_journal.h"
#include "reader/outcome.h"
#include "reader/reader_link.h"

namespace palmota::cli {

// What a top-up printed and how it ended, for the command runner to report.
struct TopupResult {
    std::vector<std::string> lines;  // "serial: S", "credit: BEFORE -> AFTER"...
    QJsonObject results;             // serial, before, after, result
    int status = 0;
    Cause cause = Cause::Success;
    std::string causeName;       // set only where no outcome names it
    std::string failure;         // the line for the error stream; empty on success
    std::string journalFailure;  // the outcome could not be recorded
};

// palmota-cli topup AMOUNT: reads the badge's serial number and credit, writes the credit
// plus AMOUNT, and reads both back. The sum is made here, in 32 bits, from the credit the
// Reader gave: nothing the operator types is taken for anything but a decimal count.
class Topup {
  public:
    // `outcomes` is the list the runner's observer fills; `journal` may be null.
    Topup(Palmota& reader, const std::vector<Outcome>& outcomes, WriteJournal* journal,
          std::function<bool()> stopping);

    // `amountText`: decimal digits, already checked.
    TopupResult run(const std::string& amountText);

  private:
    const Outcome& last() const { return outcomes_.back(); }

    Palmota& reader_;
    const std::vector<Outcome>& outcomes_;
    WriteJournal* journal_;
    std::function<bool()> stopping_;
};

}  // namespace palmota::cli
