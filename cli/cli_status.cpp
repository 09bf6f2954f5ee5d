#include "cli/cli_status.h"

namespace palmota::cli {

int exitStatus(const Outcome& outcome) {
    switch (family(outcome)) {
        case Family::Success:
            return kExitSuccess;
        case Family::Usage:
            return kExitUsage;
        case Family::Port:
            return kExitPortUnavailable;
        case Family::NoAnswer:
            return kExitNoAnswer;
        case Family::ReaderFailed:
            return kExitReaderFailed;
        case Family::MayHaveChanged:
            return kExitNotConfirmed;
        case Family::Interrupted:
            return kExitInterrupted;
    }
    return kExitNotConfirmed;
}

}  // namespace palmota::cli
