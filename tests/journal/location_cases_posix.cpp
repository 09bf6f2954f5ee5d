#include "tests/journal/location_cases.h"

namespace palmota::testing {

std::vector<SystemLocation> systemLocations() {
    return {// Backslashes are a file name's characters here, not a share.
            {"BackslashesAreAName", "\\\\server\\share\\journal.db", ""},
            {"TlsRequired", "postgresql://db/palmota?sslmode=require", ""},
            {"TlsVerified", "postgresql://db/palmota?sslmode=verify-full", ""},
            {"TlsCaVerified", "postgresql://db/palmota?sslmode=verify-ca", ""},
            {"TlsRootOfItsOwn",
             "postgresql://db/palmota?sslmode=verify-full&sslrootcert=/etc/palmota/root.crt", ""}};
}

}  // namespace palmota::testing
