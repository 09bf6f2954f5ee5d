#include "ui/window_journal.h"

#include "reader/byte_text.h"

namespace palmota::ui {

namespace {

// A credit write after which the badge is known untouched: the amount never left, or the
// Reader refused it with nothing after its verdict. Any other failure may have stored it.
bool leftUnchanged(const Outcome& outcome) {
    return !outcome.succeeded() && family(outcome) != Family::MayHaveChanged;
}

}  // namespace

QString WindowJournal::unavailableText() {
    return QStringLiteral("Journal indisponible : rien n'a été écrit.");
}

WindowJournal::WindowJournal(journal::Journal& journal) : journal_(journal) {}

void WindowJournal::noteSerial(const Outcome& outcome) {
    if (outcome.succeeded())
        lastSerial_ = outcome.result;
    else
        lastSerial_.reset();
}

std::optional<std::string> WindowJournal::begin(const std::string& port, int amount,
                                                std::string& failure) {
    journal::WriteStart start = journal::stationStart("palmota", port);
    start.amount = amount;
    if (lastSerial_) {
        start.serial = lastSerial_;
        start.serialSource = journal::SerialSource::LastRead;
    }
    return journal::beginWrite(journal_, start, failure);
}

bool WindowJournal::complete(const std::string& id, const Outcome& outcome, std::string& failure) {
    journal::WriteEnd end;
    end.cause = std::string(causeName(outcome.cause));
    end.confirmed = outcome.succeeded();
    end.unchanged = !end.confirmed && leftUnchanged(outcome);
    std::string error;
    if (journal_.complete(id, end, error)) return true;
    failure = "journal: the outcome of write " + id + " (" + end.cause +
              ") could not be recorded in " + printable(journal_.where()) + ": " + error +
              "; the row stays without outcome";
    return false;
}

}  // namespace palmota::ui
