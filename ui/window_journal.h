#pragma once

#include <QString>
#include <optional>
#include <string>

#include "journal/journal.h"
#include "reader/outcome.h"

namespace palmota::ui {

// The journal rows of the window's credit writes. The window reads and writes in separate
// actions, so a write records the serial number of the window's last read, marked as such:
// the badge may have been changed since.
class WindowJournal {
  public:
    // The tooltip of "ERREUR" when a write's row could not be committed and nothing was sent.
    static QString unavailableText();

    explicit WindowJournal(journal::Journal& journal);

    // The result of a serial-number read: a number, or a failure that forgets the last one.
    void noteSerial(const Outcome& outcome);

    // Commits the row of a write of `amount` on the port chosen: its id, or nothing with
    // `failure` set to the line for standard error.
    std::optional<std::string> begin(const std::string& port, int amount, std::string& failure);
    // Records the write's outcome; false with `failure` set when it could not be.
    bool complete(const std::string& id, const Outcome& outcome, std::string& failure);

  private:
    journal::Journal& journal_;
    std::optional<std::string> lastSerial_;
};

}  // namespace palmota::ui
