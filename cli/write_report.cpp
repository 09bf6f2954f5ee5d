#include "cli/write_report.h"

#include <QJsonValue>

#include "cli/cause_lines.h"
#include "reader/byte_text.h"
#include "reader/palmota.h"
#include "reader/protocol.h"

namespace palmota::cli {

namespace {

using till::WriteVerdict;

// "label: TEXT", or "label:" alone for the empty text, so that a line never ends in a space.
std::string labelled(const std::string& label, const std::string& text) {
    return text.empty() ? label + ':' : label + ": " + text;
}

std::string number(std::optional<std::int32_t> value) {
    return value ? std::to_string(*value) : std::string();
}

// The write's result text; a write that never ran failed before anything was sent.
std::string writeText(const WriteVerdict& v) {
    return v.write ? resultText(*v.write) : std::string(protocol::kResultError);
}

// A top-up's lines: "serial: S" (with the badge read instead, when another came), then
// "credit: BEFORE -> AFTER", or the credit alone when nothing was written or the Reader
// refused it.
void topupLines(const WriteVerdict& v, WriteReport& report) {
    const auto failedRead = [&v](Operation operation) {
        return v.failed && v.failed->operation == operation && !v.write;
    };
    if (!v.serial) {
        report.lines.push_back(
            labelled("serial", v.failed ? resultText(*v.failed) : std::string()));
        return;
    }
    std::string serial = "serial: " + number(v.serial);
    if (v.serialAgain) serial += " -> " + number(v.serialAgain);
    if (v.serialAfter && v.serialAfter != v.serial) serial += " -> " + number(v.serialAfter);
    if (v.serialAfterAgain && v.serialAfterAgain != v.serialAfter)
        serial += " -> " + number(v.serialAfterAgain);
    report.lines.push_back(serial);
    if (!v.before) {
        if (failedRead(Operation::ReadCredit))
            report.lines.push_back(labelled("credit", resultText(*v.failed)));
        return;
    }
    const std::string before = "credit: " + std::to_string(*v.before);
    if (!v.write || !v.amountSent)
        report.lines.push_back(before);
    else if (v.judged == Cause::WriteRefused)
        report.lines.push_back(before + " (unchanged: the Reader refused the write)");
    else
        report.lines.push_back(before + " ->" + (v.after ? " " + std::to_string(*v.after) : ""));
}

}  // namespace

WriteReport writeReport(WriteKind kind, const std::string& amountText, const WriteVerdict& v) {
    WriteReport report;
    switch (kind) {
        case WriteKind::Write:
            report.lines.push_back(writeText(v));
            report.results["result"] = QString::fromStdString(writeText(v));
            break;
        case WriteKind::VerifiedWrite: {
            report.lines.push_back(writeText(v));
            const std::string credit = v.readBack ? resultText(*v.readBack) : std::string();
            report.lines.push_back(labelled("credit", credit));
            report.results["result"] = QString::fromStdString(writeText(v));
            report.results["credit"] = QString::fromStdString(credit);
            report.results["verified"] = v.after.has_value() && v.after == v.amount;
            break;
        }
        case WriteKind::Topup:
            topupLines(v, report);
            if (v.serial) report.results["serial"] = QString::fromStdString(number(v.serial));
            if (v.before) {
                report.results["before"] = *v.before;
                report.results["after"] = v.after ? QJsonValue(*v.after) : QJsonValue();
            }
            if (v.serialAfter)
                report.results["serialAfter"] = QString::fromStdString(number(v.serialAfter));
            if (v.serialAfterAgain)
                report.results["serialAfterAgain"] =
                    QString::fromStdString(number(v.serialAfterAgain));
            if (v.write) report.results["result"] = QString::fromStdString(writeText(v));
            break;
    }
    if (v.confirmedByReadingBack) {
        report.lines.push_back("confirmed by reading back");
        report.results["confirmedByReadingBack"] = true;
    }
    if (std::string line = writeFailureLine(kind, amountText, v); !line.empty())
        report.errors.push_back(line);
    // A stop that came while the journal waited for the row (a lock another program held)
    // is the command's one failure: the journal's wait ended because of it, nothing was sent.
    if (!v.journalProblem.empty() && v.cause != Cause::Interrupted)
        report.errors.push_back(v.journalProblem);
    return report;
}

}  // namespace palmota::cli
