#include "cli/write_journal.h"

#include "reader/byte_text.h"

#include "reader/outcome.h"
#include "reader/protocol.h"

namespace palmota::cli {

namespace {

const std::string kProgram = "palmota-cli";

std::string outcomeText(const journal::WriteEnd& end) {
    return end.cause + (end.after ? ", credit read back " + std::to_string(*end.after) : "");
}

}  // namespace

WriteJournal::WriteJournal(journal::Journal& journal, const std::string& port)
    : journal_(journal), port_(port) {}

void WriteJournal::noteSerial(const std::string& serial) {
    if (serial.empty() || serial == protocol::kResultError) {
        lastSerial_.reset();
        lastCredit_.reset();
        return;
    }
    if (lastSerial_ != serial) lastCredit_.reset();
    lastSerial_ = serial;
}

void WriteJournal::noteCredit(const std::string& credit) {
    const auto value = protocol::parseAmount(credit);
    if (value)
        lastCredit_ = *value;
    else
        lastCredit_.reset();
}

std::optional<std::string> WriteJournal::begin(const journal::WriteStart& start,
                                               std::string& failure) {
    return journal::beginWrite(journal_, start, failure);
}

std::optional<std::string> WriteJournal::beginWrite(int amount, std::string& failure) {
    journal::WriteStart start = journal::stationStart(kProgram, port_);
    start.amount = amount;
    if (lastSerial_ || lastCredit_) {
        start.serial = lastSerial_;
        start.before = lastCredit_;
        start.serialSource = journal::SerialSource::LastRead;
    }
    return begin(start, failure);
}

std::optional<std::string> WriteJournal::beginTopup(const std::string& serial, int before,
                                                    int topup, std::string& failure) {
    journal::WriteStart start = journal::stationStart(kProgram, port_);
    start.serial = serial;
    start.serialSource = journal::SerialSource::ReadNow;
    start.before = before;
    start.amount = before + topup;
    start.topup = topup;
    lastSerial_ = serial;
    return begin(start, failure);
}

bool WriteJournal::complete(const std::string& id, const journal::WriteEnd& end, int amount,
                            std::string& failure) {
    if (end.after)
        lastCredit_ = end.after;
    else if (end.confirmed)
        lastCredit_ = amount;
    else if (!end.unchanged)
        lastCredit_.reset();
    std::string error;
    if (journal_.complete(id, end, error)) return true;
    failure = "journal: the outcome of write " + id + " (" + outcomeText(end) +
              ") could not be recorded in " + printable(journal_.where()) + ": " + error +
              "; the row stays without outcome";
    return false;
}

}  // namespace palmota::cli
