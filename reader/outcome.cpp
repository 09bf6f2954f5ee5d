#include "reader/outcome.h"

#include <cmath>
#include <cstdio>

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

// The length of the well-formed UTF-8 sequence `text` starts with, 0 when it starts with
// none: a stray continuation byte, a cut sequence, an overlong form, a surrogate, or a
// code point past U+10FFFF.
std::size_t utf8SequenceLength(std::string_view text) {
    const auto at = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = at(0);
    std::size_t length = 0;
    unsigned char low = 0x80;  // the range the second byte must lie in
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // below: overlong
        if (lead == 0xED) high = 0x9F;  // above: surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // below: overlong
        if (lead == 0xF4) high = 0x8F;  // above: past U+10FFFF
    } else {
        return 0;
    }
    if (text.size() < length || at(1) < low || at(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (at(i) < 0x80 || at(i) > 0xBF) return 0;
    return length;
}

}  // namespace

std::string openErrorText(const OpenError& e) {
    switch (e.kind) {
        case OpenError::Kind::BadName:
            return e.reason + " (give a number from 1, or a device path such as /dev/ttyUSB0)";
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

std::string_view causeName(Cause cause) {
    switch (cause) {
        case Cause::Success:
            return "ok";
        case Cause::PortUnavailable:
            return "port-unavailable";
        case Cause::NoAnswer:
            return "no-answer";
        case Cause::NotReady:
            return "not-ready";
        case Cause::NoBadge:
            return "no-badge";
        case Cause::ShortReply:
            return "short-reply";
        case Cause::WriteRefused:
            return "write-refused";
        case Cause::UnexpectedReply:
            return "unexpected-reply";
        case Cause::NotConfirmed:
            return "not-confirmed";
        case Cause::LineLost:
            return "line-lost";
        case Cause::Refused:
            return "refused";
        case Cause::NoisyLine:
            return "noisy-line";
        case Cause::Interrupted:
            return "interrupted";
    }
    return "unknown";
}

Family family(const Outcome& o) {
    switch (o.cause) {
        case Cause::Success:
            return Family::Success;
        case Cause::Refused:
            return Family::Usage;
        case Cause::PortUnavailable:
            return Family::Port;
        case Cause::NoAnswer:
        case Cause::LineLost:
            return Family::NoAnswer;
        case Cause::NotReady:
        case Cause::NoBadge:
        case Cause::ShortReply:
        case Cause::WriteRefused:
            return Family::ReaderFailed;
        // A final byte that is neither 00 (stored) nor FF (refused), or none at all, tells
        // nothing about the badge.
        case Cause::UnexpectedReply:
        case Cause::NotConfirmed:
            return Family::MayHaveChanged;
        case Cause::NoisyLine:
            return o.amountSent ? Family::MayHaveChanged : Family::ReaderFailed;
        case Cause::Interrupted:
            return Family::Interrupted;
    }
    return Family::ReaderFailed;
}

std::string describe(const Outcome& o) {
    const std::string device = printable(o.device);
    switch (o.cause) {
        case Cause::Success:
            return device + ": done";
        case Cause::PortUnavailable:
            return portProblem(o);
        case Cause::NoAnswer:
            return device + ": no answer from the Reader within " + seconds(o.limit) +
                   " (is it powered and on this port?)";
        case Cause::NotReady:
            return device + ": the Reader is not ready (status " + protocol::byteText(o.status) +
                   ")";
        case Cause::NoBadge:
            return device + ": no badge on the Reader (present one and try again)";
        case Cause::ShortReply:
            return device + ": short reply from the Reader: " + std::to_string(o.received) +
                   " of " + std::to_string(o.expected) + " bytes within " + seconds(o.limit) +
                   " (is the badge held still?)";
        case Cause::WriteRefused:
            return device + ": the Reader refused the write (final byte " +
                   protocol::byteText(o.status) + "); the credit is unchanged";
        case Cause::UnexpectedReply:
            return device + ": the Reader answered the write with " + protocol::byteText(o.status) +
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
            return "block \"" + printable(o.refused) +
                   "\" refused: a number from 0 to 255; nothing sent";
        case Cause::Interrupted:
            return (device.empty() ? std::string() : device + ": ") + "interrupted before the " +
                   operationName(o.operation) + "; nothing sent";
    }
    return device + ": " + std::string(causeName(o.cause));
}

std::string printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    const auto escape = [&out](std::string_view bytes) {
        for (const char c : bytes) out += "\\x" + protocol::byteText(static_cast<unsigned char>(c));
    };
    for (std::size_t at = 0; at < text.size();) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte < 0x80) {
            if (byte < 0x20 || byte == 0x7F)
                escape(text.substr(at, 1));
            else if (byte == '\\')
                out += "\\\\";
            else
                out += text[at];
            ++at;
            continue;
        }
        const std::size_t length = utf8SequenceLength(text.substr(at));
        if (length == 0) {
            escape(text.substr(at, 1));  // no UTF-8 here: the byte alone
            ++at;
            continue;
        }
        // U+0080 to U+009F, C2 80 to C2 9F: the C1 controls, which terminals obey too.
        const bool c1 = byte == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0;
        if (c1)
            escape(text.substr(at, length));
        else
            out += text.substr(at, length);
        at += length;
    }
    return out;
}

}  // namespace palmota
