#include "cli/topup.h"

#include "reader/byte_text.h"

#include <QJsonValue>
#include <optional>

#include "cli/cli_status.h"
#include "reader/bounded_decimal.h"
#include "reader/protocol.h"

namespace palmota::cli {

namespace {

void failAs(TopupResult& result, const Outcome& outcome) {
    result.status = exitStatus(outcome);
    result.cause = outcome.cause;
    result.failure = describe(outcome);
}

std::string creditLine(int before, const std::optional<int>& after) {
    return "credit: " + std::to_string(before) + " ->" +
           (after ? " " + std::to_string(*after) : std::string());
}

}  // namespace

Topup::Topup(Palmota& reader, const std::vector<Outcome>& outcomes, WriteJournal* journal,
             std::function<bool()> stopping)
    : reader_(reader), outcomes_(outcomes), journal_(journal), stopping_(std::move(stopping)) {}

TopupResult Topup::run(const std::string& amountText) {
    TopupResult result;
    const std::string serial = reader_.ReadSerialNumber();
    result.lines.push_back(serial.empty() ? "serial:" : "serial: " + serial);
    if (!last().succeeded()) {
        failAs(result, last());
        return result;
    }
    result.results["serial"] = QString::fromStdString(serial);
    if (stopping_()) return result;
    const std::string credit = reader_.ReadCredit();
    if (!last().succeeded()) {
        result.lines.push_back(credit.empty() ? "credit:" : "credit: " + credit);
        failAs(result, last());
        return result;
    }
    const int before = *protocol::parseAmount(credit);
    const std::string device = printable(last().device);
    result.results["before"] = before;
    result.results["after"] = QJsonValue();

    // The amount's digits were checked; its value may still be any size, and only a sum
    // up to the credit limit fits the two credit bytes.
    const auto amount = boundedDecimal(amountText, protocol::kMaxCredit);
    if (!amount || before + *amount > protocol::kMaxCredit) {
        result.lines.push_back("credit: " + std::to_string(before));
        result.status = kExitReaderFailed;
        result.causeName = "over-limit";
        result.failure = device + ": badge " + serial + ": credit " + std::to_string(before) +
                         " + " + printable(amountText) + " would pass " +
                         std::to_string(protocol::kMaxCredit) + "; nothing written";
        return result;
    }
    if (stopping_()) return result;
    const int topup = static_cast<int>(*amount);
    const int sum = before + topup;

    std::optional<std::string> row;
    if (journal_) {
        row = journal_->beginTopup(serial, before, topup, result.failure);
        if (!row) {
            result.lines.push_back(creditLine(before, std::nullopt));
            result.status = kExitJournal;
            result.causeName = "journal-unavailable";
            return result;
        }
    }

    const std::string written = reader_.WriteCredit(std::to_string(sum));
    const Outcome write = last();
    result.results["result"] = QString::fromStdString(written);
    // Only a write whose amount reached the Reader can have changed the badge, and is worth
    // reading back.
    const bool amountSent = write.amountSent;
    std::optional<std::string> serialAfter;
    std::optional<int> after;
    Outcome reading = write;
    if (amountSent && !stopping_()) {
        const std::string again = reader_.ReadSerialNumber();
        reading = last();
        if (reading.succeeded()) {
            serialAfter = again;
            if (!stopping_()) {
                const std::string creditAgain = reader_.ReadCredit();
                reading = last();
                if (reading.succeeded()) after = protocol::parseAmount(creditAgain);
            }
        }
    }
    const bool sameBadge = !serialAfter || *serialAfter == serial;
    if (!sameBadge) result.lines.back() = "serial: " + serial + " -> " + *serialAfter;
    result.lines.push_back(creditLine(before, after));
    if (after) result.results["after"] = *after;
    if (serialAfter) result.results["serialAfter"] = QString::fromStdString(*serialAfter);

    journal::WriteEnd end;
    if (!sameBadge) {
        // The write went to whatever badge lay on the Reader then: not the one whose credit
        // the sum was made from.
        result.status = kExitNotConfirmed;
        result.causeName = "badge-changed";
        result.failure = device + ": badge changed during the top-up: badge " + serial +
                         " was read with credit " + std::to_string(before) + ", " +
                         std::to_string(sum) + " was written, and the badge present now, " +
                         *serialAfter + ", holds " +
                         (after ? std::to_string(*after) : std::string("an unknown credit")) +
                         "; read both badges before anything else";
    } else if (after && *after == sum) {
        if (!write.succeeded()) {
            result.lines.push_back("confirmed by reading back");
            result.results["confirmedByReadingBack"] = true;
        }
        end.confirmed = true;
    } else if (amountSent && write.cause != Cause::WriteRefused && after) {
        // The amount went out and the badge was not seen to hold the sum: it may have
        // changed, and a top-up tried again could credit it twice.
        result.status = kExitNotConfirmed;
        result.causeName = "read-back-differs";
        result.failure = device + ": badge " + serial + ": the credit read back is " +
                         std::to_string(*after) + ", not the " + std::to_string(sum) + " written";
    } else if (amountSent && write.succeeded()) {
        // Stored, said the Reader, but the credit could not be read back: what the badge
        // holds is unknown.
        result.status = kExitNotConfirmed;
        result.cause = reading.cause;
        result.failure =
            describe(reading) + "; the write was confirmed: read the credit before trying again";
    } else {
        // The write's own failure: not sent, refused, or not confirmed and not read back.
        failAs(result, write);
    }
    if (row) {
        end.cause =
            result.causeName.empty() ? std::string(causeName(result.cause)) : result.causeName;
        end.unchanged = result.status != kExitSuccess && result.status != kExitNotConfirmed;
        if (sameBadge) end.after = after;
        if (!journal_->complete(*row, end, sum, result.journalFailure))
            result.status = kExitJournal;
    }
    return result;
}

}  // namespace palmota::cli
