#pragma once

#include <QJsonObject>
#include <functional>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "reader/clock.h"
#include "reader/outcome.h"
#include "reader/reader_link.h"
#include "till/causes.h"
#include "till/till.h"

namespace palmota::cli {

// Runs palmota-cli's badge commands through one Reader link, whose port stays open
// between them, and prints each command's result as it completes: text lines, or one JSON
// object a line. Each failed command gets its lines on the error stream. A single read
// goes to the link; "read", the dump, writes and top-ups to the till, whose verdicts are
// only told here. The port is
// left as the operations leave it; the caller releases it.
class CliRunner {
  public:
    CliRunner(till::Till& till, ReaderLink& link, Clock& clock, std::ostream& out,
              std::ostream& err, bool json = false);

    // Asked between commands, and before each operation: once true, no command and no
    // operation starts (the one under way runs to its end), a command cut short fails as
    // interrupted, and the run ends with kExitInterrupted, or kExitNotConfirmed once any
    // amount went out during the run. A closed output ends it the same way, with
    // kExitOutputClosed or kExitNotConfirmed.
    void setStopRequest(std::function<bool()> stopRequested);

    // One command: prints it and returns the status it alone gives.
    int run(const CliRequest& request);
    // The commands in order, stopping after the first that fails unless `keepGoing`.
    // Returns the status of the first that failed, kExitSuccess if none did.
    int runAll(const std::vector<CliRequest>& requests, bool keepGoing);
    // The same for commands read from `in`, one a line, until its end. A line that is no
    // command is a failure of status kExitUsage for itself alone: nothing of it is sent.
    int runLines(std::istream& in, bool keepGoing);

  private:
    struct Report {
        std::string command;
        QJsonObject results;  // the texts the Reader link returned, by name
        int status = 0;
        Cause cause = Cause::Ok;
        std::vector<std::string> errors;  // lines for the error stream
        bool amountSent = false;          // a write's amount went out
    };
    enum class Stop { None, Requested, OutputClosed };

    bool stopping();
    bool outputClosed() const { return stopped_ == Stop::OutputClosed; }
    void line(const std::string& text);
    // The first failed operation among `outcomes` decides the command's cause and status.
    static void judge(Report& report, const std::vector<Outcome>& outcomes);
    // The till's reads: their first failure decides.
    static void tell(Report& report, const till::ReadVerdict& verdict);
    void finish(Report& report, double startSeconds);
    void runRead(Report& report);
    void runBlock(const CliRequest& request, Report& report);
    void runDump(Report& report);
    // A write, a verified write or a top-up: the till's verdict, told.
    void runWrite(const CliRequest& request, Report& report);
    int ended(int firstFailure);

    till::Till& till_;
    ReaderLink& link_;
    Clock& clock_;
    std::ostream& out_;
    std::ostream& err_;
    bool json_;
    std::function<bool()> stop_;
    Stop stopped_ = Stop::None;
    // An amount went out during the run, confirmed or not: a stop or a closed output can no
    // longer say that nothing changed.
    bool amountWentOut_ = false;
};

}  // namespace palmota::cli
