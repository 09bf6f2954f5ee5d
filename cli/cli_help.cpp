// palmota-cli --help: the usage, the commands, the options, the JSON fields, the causes and
// the exit statuses, the last two made from the cause table.
#include "cli/cli_help.h"

#include <algorithm>

#include "cli/cli_status.h"
#include "journal/journal_platform.h"
#include "reader/port_name.h"
#include "till/causes.h"

namespace palmota::cli {

namespace {

// `text` as lines of at most `width` columns: the first starts at column `first` (the
// caller wrote what stands before it), the others are indented by `indent` spaces.
std::string wrapped(const std::string& text, std::size_t first, std::size_t indent,
                    std::size_t width = 80) {
    std::string out;
    std::size_t column = first;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find(' ', at), text.size());
        const std::string word = text.substr(at, end - at);
        at = end + 1;
        if (word.empty()) continue;
        const bool starts = column == first && (out.empty() || out.back() == '\n');
        if (!starts && column + 1 + word.size() > width) {
            out += '\n' + std::string(indent, ' ');
            column = indent;
        } else if (!starts) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
    }
    return out;
}

// The scripts' names of every cause, from the cause table.
std::string causeNames() {
    std::string names;
    for (const till::CauseRow& row : till::causeTable())
        names += (names.empty() ? "" : ", ") + std::string(row.name);
    return names;
}

std::string exitStatusHelp() {
    std::string text = "Exit status (with several commands, that of the first that failed):\n";
    for (const StatusMeaning& meaning : exitStatusMeanings()) {
        std::string status = std::to_string(meaning.status);
        status.resize(5, ' ');
        text += "  " + status + wrapped(meaning.text, 7, 7) + '\n';
    }
    return text;
}

}  // namespace

std::string cliHelpText() {
    return R"help(Usage: palmota-cli [OPTIONS] COMMAND...
       palmota-cli [OPTIONS] -
       palmota-cli [OPTIONS] ports
       palmota-cli [OPTIONS] probe [PORT...]
       palmota-cli --journal WHERE journal report [--from DATE] [--to DATE]
                   [--station NAME] [--json | --csv | --pdf FILE]
       palmota-cli --journal WHERE [OPTIONS] journal check
       palmota-cli --journal WHERE [OPTIONS] journal resolve [ROW] [--json]
       palmota-cli --journal WHERE journal list [--from DATE] [--to DATE]
                   [--station NAME] [--json]
       palmota-cli --journal WHERE journal verify [--json]
       palmota-cli --journal WHERE journal close [--json | --pdf FILE]
       palmota-cli --journal WHERE journal closure N [--station NAME]
                   [--json | --pdf FILE]

Reads and encodes badges through the Reader. The commands given run in order over one
opening of the port, each printing its result as it completes; the run stops at the
first command that fails, unless --keep-going is given. A command line that cannot be
used is refused whole, before anything is sent.

Commands (output on standard output):
  serial        the badge's serial number, on one line (ERREUR, or an empty line)
  credit        the badge's credit, 0 to 65535, on one line (or an empty line)
  read          what "Lire Badge" does: serial number first, then credit, as two lines
                "serial: TEXT" and "credit: TEXT" (the text may be empty)
  write AMOUNT  what "Encoder Badge" does: writes AMOUNT (digits only, 0 to 65535,
                leading zeros allowed) and prints OK, ERREUR or an empty line
  write --verify AMOUNT
                writes AMOUNT, then reads the credit back: prints the write's result,
                then "credit: N". Succeeds only when the credit read is AMOUNT; a write
                the Reader did not confirm but whose credit reads back as AMOUNT counts
                as done, and a third line says "confirmed by reading back"
  block N       the Reader's raw reply to a read of block N (0 to 255), as hex bytes
                "00 01 02 ..." (an empty line for no reply), or ERREUR when no block
                reply came because the Reader did not answer the ready check
  dump          blocks 0 to 7, one line each: "N: HEX BYTES" or "N: ERREUR"
  topup AMOUNT  adds AMOUNT (decimal digits only; 010 is ten) to the badge's credit:
                reads the serial number and the credit, refuses with nothing sent a sum
                over 65535 (status 1), writes credit + AMOUNT, then reads the serial
                number and the credit back. Prints "serial: S" and "credit: BEFORE ->
                AFTER" ("credit: BEFORE (unchanged: the Reader refused the write)" when
                it refused). Succeeds only when the same badge now holds the sum; an
                unconfirmed write whose read-back shows it counts as done ("confirmed by
                reading back"). The credit is taken only between two equal serial
                numbers: another badge before the write stops it with nothing written
                (status 1); another on the read-back is "badge changed during the
                top-up": status 5, both badges named on standard error
  -             reads the commands above from standard input, one a line, and answers
                each as it completes; end of input ends the run. Empty lines and lines
                starting with # are skipped, whatever their length. A line runs only
                once its line end came: a last line cut off is refused, nothing sent.
                A line that is no command is a usage error
                for that line alone: one line on standard error, status 2 for it,
                nothing sent, nothing on standard output (with --json, an object whose
                cause is "usage")
  ports         lists the serial devices present, one a line, tab-separated: device
                path or port name, /dev/serial/by-id link (Linux only), description,
                manufacturer, USB VID:PID, serial number ("-" where unknown). Opens
                nothing, sends nothing
  probe [PORT...]
                looks for the Reader: opens each PORT (with --port, that one too; with
                none, every device "ports" lists) with the Reader's line settings, sends
                it the one byte 00 (the ready check) and nothing else, and waits at most
                1 s. One line a port, tab-separated: the path, then "ready", "answered"
                and the bytes, "no answer", "busy" and why, or "cannot open" and why.
                Never writes to a path that is not a serial device
  journal report
                the journal's writes per station and local day (the station's own day,
                23 or 25 hours when the clocks change; times in its local time with its
                offset): writes, confirmed, refused, uncertain, without outcome, the
                credit loaded (the sum of after - before where both are known) and the
                top-ups, then the same per operator; then the writes that need a read
                of the badge. --from/--to DATE (YYYY-MM-DD, today or yesterday,
                included) and --station NAME choose the rows; --csv or --json for
                scripts; --pdf FILE prints the text to A4 pages in FILE instead. Under
                a French locale (LC_ALL, LC_MESSAGES or LANG fr...) the text is in
                French. Never opens the port, and never makes a journal: nothing at
                WHERE is "no journal at WHERE" (status 2)
  journal check
                reads the badge present and compares its credit with that badge's last
                confirmed write in the journal (a write that went to another badge
                counts for the badge read back after it): a higher credit was loaded
                outside the journal (status 1, both values and the write's time named).
                A write in doubt since that may have left it is named instead, no failure.
                A badge not in the journal is said as such and is no failure
  journal resolve [ROW]
                reads the badge present (serial, credit, serial) and settles its writes
                in doubt (or the one ROW names) by appending what it held: the latest by
                the credit read now, an earlier one by the credit read before the write
                that followed it. The amount written settles it as loaded, the credit
                before it as not; any other credit (spent or loaded since), a write that
                may have gone to another badge, or a later write that read no credit,
                leave it open. The report, the list and the next closure then count it
                by what the badge held. One line a write; status 0 when every one was
                settled, 1 when there was none or one was left open
  journal list
                each write of the period, one line a write under a heading per station
                and local day: its start (local time and UTC offset), operator, badge,
                credit before -> after, the top-up, and how it stands (confirmed,
                refused, doubtful or resolved); --json one object a
                write. --from/--to/--station as for the report. Never opens the port
  journal verify
                recomputes each station's chain of records (and the seal over the rows
                written before it) and names the first record altered, removed,
                inserted or out of place (status 7), and says so by an event at the
                end of that chain; every chain holding is status 0. A chain's last
                records removed show only against a witness made after them. Never
                opens the port
  journal close
                closes this station's open period, everything written since its last
                closure, with a closure record numbered 1, 2, ... per station: its
                period, counts, credit loaded and topped up, a line per operator, the
                doubtful writes still open, the station's grand total and its chain
                head. Printed as text, --json, or one A4 page with --pdf FILE. Nothing
                written since the last closure is refused (status 1). Never opens the
                port
  journal closure N
                closure N of this station (or of --station NAME) again, as its record
                holds it: text, --json or --pdf FILE; none such is status 1

Options:
)help" + std::string("  -p, --port TEXT\n") +
           std::string(port_naming::portOptionHelp()) +
           R"help(  -t, --trace   one line on standard error for each opening and closing of the port
                ("open DEVICE", "close") and each write and read on it: milliseconds
                since start, "->" sent or "<-" received, bytes in hex; bytes that could
                not be sent follow as "(not sent: ..)"
  --json        one JSON object a line on standard output for each command, in place
                of the text: "command", "ok", "cause" (one of the causes below),
                "status" (the exit status of this command alone), "ms" (time taken),
                "error" (the standard-error line, on failure), and the results as the
                texts the Reader link returned: "result" (serial, credit, write),
                "serial" and "credit" (read), "bytes" (block), "blocks" (dump);
                write --verify adds "credit" and "verified"; topup "serial", "before",
                "after", "serialAfter" (the first serial number read back; "serialAfterAgain" the
                second, when it differed) and "result";
                "confirmedByReadingBack" when the credit read back confirmed a write
                the Reader did not. For example:
                {"cause":"ok","command":"credit","ms":0.41,"ok":true,"result":"1500","status":0}
                ports and probe give one object a device too. ports: "path", "byId",
                "description", "manufacturer", "vidPid", "serialNumber", each null
                where unknown. probe: "port", "state" (ready, answered, no-answer,
                busy, cannot-open), "ok" (true for ready), "ms", "bytes" (the answer,
                when one came), "reason" (why a port is busy or cannot be opened)
  --keep-going  runs every command even after one failed
  --journal WHERE
                )help" +
           wrapped(std::string("records every credit write (write, write --verify, topup) in a ") +
                       "journal: WHERE is a file (an SQLite journal, made on first use) or a " +
                       "postgresql:// URI (a PostgreSQL journal several stations share; the " +
                       "password goes in " + std::string(journal::passwordFileHelp()) +
                       ", never in the URI; sslmode=require, verify-ca or verify-full " +
                       "encrypts the connection, and the last two check the server's " +
                       "certificate against sslrootcert=FILE, by default " +
                       std::string(journal::rootCertificateHelp()) +
                       "). The row is committed before the write's first " +
                       "byte goes out; a journal that cannot take it stops the write with " +
                       "nothing sent (status 6). Without this option nothing is stored anywhere",
                   16, 16) +
           R"help(
  -h, --help    this text
  -V, --version the program's version

Standard error: one line for each command that failed, naming the device and what to
try, e.g. "palmota-cli: )help" +
           std::string(port_naming::example()) +
           R"help(: no answer from the Reader within 1 s (is it
powered and on this port?)".

)help" +
           "Causes for --json (\"cause\"): " + wrapped(causeNames(), 30, 2) + "\n\n" +
           exitStatusHelp() + R"help()help";
}

}  // namespace palmota::cli
