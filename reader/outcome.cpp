#include "reader/outcome.h"

#include <cmath>
#include <cstdio>

#include "reader/byte_text.h"
#include "reader/port_name.h"
#include "reader/protocol.h"

namespace palmota {

namespace {

std::string seconds(Seconds limit) {
    char text[32];
    std::snprintf(text, sizeof text, "%g s", limit.count());
    return text;
}

std::string portProblem(const Outcome& o) {
    const std::string device = printable(o.device);
    // A text that names no port has no device to begin with: the text is quoted instead.
    if (o.openError.kind == OpenError::Kind::BadName)
        return "port \"" + device + "\": " + openErrorText(o.openError);
    return device + ": " + openErrorText(o.openError);
}

std::string operationName(Operation operation) {
    switch (operation) {
        case Operation::ReadCredit:
            return "credit read";
        case Operation::WriteCredit:
            return "write";
        case Operation::ReadBlock:
            return "block read";
        case Operation::ReadSerialNumber:
            return "serial number read";
    }
    return "operation";
}

}  // namespace

std::string openErrorText(const OpenError& e) {
    switch (e.kind) {
        case OpenError::Kind::BadName:
            return e.reason + " (give a number from 1, or " +
                   (port_naming::namesArePaths() ? "a device path" : "a port name") + " such as " +
                   std::string(port_naming::example()) + ")";
        case OpenError::Kind::NoSuchDevice:
            return "no such serial device (is the Reader plugged in? "
                   "'palmota-cli ports' lists the serial devices present)";
        case OpenError::Kind::PermissionDenied:
            if (e.group.empty()) return "permission denied; the device is private to its owner";
            return "permission denied; the user must be in the group that owns the device (" +
                   e.group + "): sudo usermod -aG " + e.group + " $USER, then log in again";
        case OpenError::Kind::Busy:
            // The reason names the process when its lock file says which.
            return "busy: in use by another program" +
                   (e.reason.empty() ? "" : " (" + printable(e.reason) + ")") +
                   "; close it and try again";
        case OpenError::Kind::NotASerialDevice:
            // The reason adds only what the kind does not already say.
            return "not a serial device" + (e.reason.empty() || e.reason == "not a serial device"
                                                ? std::string()
                                                : " (" + printable(e.reason) + ")");
        case OpenError::Kind::Other:
            break;
    }
    return "cannot open: " + printable(e.reason);
}

std::string describe(const Outcome& o) {
    const std::string device = printable(o.device);
    switch (o.cause) {
        case Cause::Ok:
            return device + ": done";
        case Cause::PortUnavailable:
            return portProblem(o);
        case Cause::NoAnswer:
            return device + ": no answer from the Reader within " + seconds(o.limit) +
                   " (is it powered and on this port?)";
        case Cause::NotReady:
            return device + ": the Reader is not ready (status " + byteText(o.status) + ")";
        case Cause::NoBadge:
            return device + ": no badge on the Reader (present one and try again)";
        case Cause::ShortReply:
            return device + ": short reply from the Reader: " + std::to_string(o.received) +
                   " of " + std::to_string(o.expected) + " bytes within " + seconds(o.limit) +
                   " (is the badge held still?)";
        case Cause::WriteRefused:
            return device + ": the Reader refused the write (final byte " + byteText(o.status) +
                   "); the credit is unchanged";
        case Cause::UnexpectedReply:
            return device + ": the Reader answered the write with " + byteText(o.status) +
                   ", neither stored (00) nor refused (FF); read the credit back";
        case Cause::NotConfirmed:
            return device + ": the write was not confirmed within " + seconds(o.limit) +
                   ": the credit may have been stored; read it back before trying again";
        case Cause::LineLost:
            return device + ": the line was lost during the exchange (was the Reader unplugged?)";
        case Cause::NoisyLine: {
            const std::string what = o.extra > 0 ? std::to_string(o.extra) + " byte" +
                                                       (o.extra > 1 ? "s" : "") +
                                                       " more than the Reader's reply holds"
                                                 : "bytes that answer no command";
            const std::string after =
                o.operation != Operation::WriteCredit
                    ? "; no value was taken from it"
                    : (o.amountSent
                           ? "; the credit may have been stored: read it back before trying again"
                           : "; nothing was written");
            return device + ": noisy line: " + what + " (a reply sent twice, or noise)" + after;
        }
        case Cause::Refused:
            if (o.operation == Operation::WriteCredit)
                return "amount \"" + printable(o.refused) +
                       "\" refused: digits only, with a value from 0 to " +
                       std::to_string(protocol::kMaxCredit) + "; nothing sent";
            return "block \"" + printable(o.refused) + "\" refused: a number from 0 to " +
                   std::to_string(protocol::kHighestBlock) + "; nothing sent";
        case Cause::Interrupted:
            return (device.empty() ? std::string() : device + ": ") + "interrupted before the " +
                   operationName(o.operation) + "; nothing sent";
        // The till's causes are no link operation's: their lines say what the till saw.
        case Cause::ReadBackDiffers:
        case Cause::OverLimit:
        case Cause::BadgeChangedBeforeWrite:
        case Cause::BadgeChanged:
        case Cause::JournalUnavailable:
        case Cause::OutcomeNotRecorded:
        case Cause::CreditAboveJournal:
        case Cause::NoJournal:
        case Cause::Usage:
            break;
    }
    return device + ": failed";
}

}  // namespace palmota
