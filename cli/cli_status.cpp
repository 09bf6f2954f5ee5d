#include "cli/cli_status.h"

namespace palmota::cli {

int exitStatus(Cause cause) {
    switch (cause) {
        case Cause::Success:
            return kExitSuccess;
        case Cause::NotReady:
        case Cause::NoBadge:
        case Cause::ShortReply:
        case Cause::WriteRefused:
            return kExitReaderFailed;
        case Cause::PortUnavailable:
            return kExitPortUnavailable;
        case Cause::NoAnswer:
        case Cause::LineLost:
            return kExitNoAnswer;
        // A final byte that is neither 00 (stored) nor FF (refused) tells nothing about
        // the badge either: a script must read the credit back before it tries again,
        // or it may credit the badge twice.
        case Cause::UnexpectedReply:
        case Cause::NotConfirmed:
            return kExitNotConfirmed;
        case Cause::Refused:
            return kExitUsage;
        case Cause::Interrupted:
            return kExitInterrupted;
    }
    return kExitReaderFailed;
}

}  // namespace palmota::cli
