#pragma once

#include <cstdint>
#include <string>

#include "reader/outcome.h"
#include "reader/reader_link.h"

namespace palmota {

// The module `Palmota`: the badge procedures as the window calls them. Each runs the link's
// typed operation and returns its result text: a decimal number, "OK", "ERREUR" or the
// empty text, never raising or showing anything. The outcome behind the last text stays
// at hand for whoever explains it.
class Palmota {
  public:
    explicit Palmota(ReaderLink& link) : link_(link) {}

    // The credit as decimal text (0 to 65535), or the empty text.
    std::string ReadCredit();
    // Writes `amount` (decimal digits, 0 to 65535): "OK", "ERREUR" or the empty text.
    std::string WriteCredit(const std::string& amount);
    // The raw reply to a block read (usually 17 bytes, possibly fewer, more or none),
    // or "ERREUR" when the Reader did not answer the ready check.
    std::string ReadBlock(const std::int32_t& blockNumber);
    // The badge's serial number in signed decimal, "ERREUR", or the empty text.
    std::string ReadSerialNumber();

    // What the last procedure met.
    const Outcome& lastOutcome() const { return last_; }

  private:
    std::string told(Outcome outcome);

    ReaderLink& link_;
    Outcome last_;
};

// The result text of an operation's outcome, as its procedure returns it:
//   ReadCredit        the credit in decimal; the empty text for any failure
//   WriteCredit       "OK" when stored; the empty text for a final byte neither 00 nor FF,
//                     or a noisy line once the amount went out (no verdict either way);
//                     "ERREUR" otherwise (refused, not sent, no final byte)
//   ReadBlock         the block reply's bytes as they came; "ERREUR" when no block was asked
//                     for (the ready check went unanswered), the empty text when the ready
//                     check was noisy
//   ReadSerialNumber  the serial number in signed decimal; "ERREUR" and the empty text as
//                     for ReadBlock, and the empty text for a block that holds none
std::string resultText(const Outcome& outcome);

}  // namespace palmota
