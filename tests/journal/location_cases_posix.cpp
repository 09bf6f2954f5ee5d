#include "tests/journal/location_cases.h"

namespace palmota::testing {

std::vector<SystemLocation> systemLocations() {
    return {// Backslashes are a file name's characters here, not a share.
            {"BackslashesAreAName", "\\\\server\\share\\journal.db", ""},
            {"TlsRequired", "postgresql://db/palmota?sslmode=require", ""}};
}

}  // namespace palmota::testing
