#pragma once

#include <optional>
#include <string>

#include "journal/journal.h"

namespace palmota::cli {

// The journal rows of one palmota-cli run's credit writes, and what the run last read of
// the badge, recorded with an absolute write as the credit before it.
class WriteJournal {
  public:
    WriteJournal(journal::Journal& journal, const std::string& port);

    // A serial number or credit the run read (the empty text for a failed read). A new
    // serial number makes the credit read before it another badge's.
    void noteSerial(const std::string& serial);
    void noteCredit(const std::string& credit);

    // Commits the row of an absolute write of `amount`, with what the run last read: the
    // row's id, or nothing with `failure` set to the line that says nothing was written.
    std::optional<std::string> beginWrite(int amount, std::string& failure);
    // The same for a top-up of `topup` onto `before`, both read by the top-up itself.
    std::optional<std::string> beginTopup(const std::string& serial, int before, int topup,
                                          std::string& failure);
    // Records the outcome; false with `failure` set to the line that says it was not.
    // The credit the run knows afterwards is what was confirmed or read back, if anything.
    bool complete(const std::string& id, const journal::WriteEnd& end, int amount,
                  std::string& failure);

  private:
    std::optional<std::string> begin(const journal::WriteStart& start, std::string& failure);

    journal::Journal& journal_;
    std::string port_;
    std::optional<std::string> lastSerial_;
    std::optional<int> lastCredit_;
};

}  // namespace palmota::cli
