#include "cli/cli_status.h"

namespace palmota::cli {

std::vector<StatusMeaning> exitStatusMeanings() {
    std::vector<StatusMeaning> meanings;
    for (const till::FamilyRow& family : till::kFamilies) {
        std::string text(family.english);
        std::string causes;
        for (const till::CauseRow& row : till::causeTable())
            if (row.family == family.family && row.cause != Cause::Ok)
                causes += (causes.empty() ? "" : "; ") + std::string(row.statusPhrase);
        if (!causes.empty()) text += ": " + causes;
        meanings.push_back({family.exitStatus, text});
    }
    meanings.push_back({kExitOutputClosed,
                        "standard output was closed or could not be written, and no "
                        "amount went out during the run"});
    return meanings;
}

}  // namespace palmota::cli
