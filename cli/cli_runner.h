#pragma once

#include <functional>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/write_journal.h"
#include "reader/clock.h"
#include "reader/outcome.h"
#include "reader/reader_link.h"

namespace palmota::cli {

// Runs palmota-cli's badge commands through one Reader link, whose port stays open
// between them, and prints each command's result as it completes: today's text lines, or
// one JSON object a line. Each failed command gets one line on the error stream, in the
// words of describe(). The port is left as the operations leave it; the caller releases it.
class CliRunner {
  public:
    // Installs itself as the link's outcome observer.
    CliRunner(Palmota& reader, Clock& clock, std::ostream& out, std::ostream& err,
              bool json = false);

    // Asked between commands, and by the link before each operation: once true, no command
    // and no operation starts (the one under way runs to its end), a command cut short fails
    // with Cause::Interrupted, and the run ends with kExitInterrupted.
    void setStopRequest(std::function<bool()> stopRequested);
    // With a journal, every credit write gets its row before its first byte goes out;
    // a write whose row cannot be committed is not sent.
    void setJournal(WriteJournal* journal) { journal_ = journal; }

    // One command: prints it and returns the status it alone gives.
    int run(const CliRequest& request);
    // The commands in order, stopping after the first that fails unless `keepGoing`.
    // Returns the status of the first that failed, kExitSuccess if none did.
    int runAll(const std::vector<CliRequest>& requests, bool keepGoing);
    // The same for commands read from `in`, one a line, until its end. A line that is no
    // command is a failure of status kExitUsage for itself alone: nothing of it is sent.
    int runLines(std::istream& in, bool keepGoing);

  private:
    struct Report;
    enum class Stop { None, Requested, OutputClosed };

    bool stopping();
    bool outputClosed() const { return stopped_ == Stop::OutputClosed; }
    void line(const std::string& text);
    // The operation's result, with its outcome (the last the link told).
    const Outcome& lastOutcome() const { return outcomes_.back(); }
    void judge(Report& report) const;
    void finish(Report& report, double startSeconds);
    void runRead(Report& report);
    void runWrite(const CliRequest& request, Report& report);
    void runBlock(const CliRequest& request, Report& report);
    void runDump(Report& report);
    void runTopup(const CliRequest& request, Report& report);
    void runJournaledWrite(const CliRequest& request, Report& report);
    int ended(int firstFailure);

    Palmota& reader_;
    Clock& clock_;
    std::ostream& out_;
    std::ostream& err_;
    bool json_;
    std::function<bool()> stop_;
    Stop stopped_ = Stop::None;
    std::vector<Outcome> outcomes_;  // those of the command running
    WriteJournal* journal_ = nullptr;
};

}  // namespace palmota::cli
