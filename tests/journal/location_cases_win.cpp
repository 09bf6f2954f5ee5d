#include "tests/journal/location_cases.h"

namespace palmota::testing {

std::vector<SystemLocation> systemLocations() {
    // SQLite's locks do not hold over SMB; the PostgreSQL client built for Windows has no TLS.
    constexpr const char* kShare = "must not be on a network share";
    constexpr const char* kNoTls = "has no TLS";
    return {{"DrivePath", "C:\\Caisse\\journal.db", ""},
            {"PathWithSpaces", "C:\\Program Files\\Caisse\\journal du jour.db", ""},
            {"Share", "\\\\server\\share\\journal.db", kShare},
            {"ShareWithSlashes", "//server/share/journal.db", kShare},
            {"ShareInTheLongForm", "\\\\?\\UNC\\server\\share\\journal.db", kShare},
            {"LongLocalPath", "\\\\?\\C:\\Caisse\\journal.db", ""},
            {"TlsRequired", "postgresql://db/palmota?sslmode=require", kNoTls},
            {"TlsVerified", "postgresql://db/palmota?sslmode=verify-full", kNoTls},
            {"TlsPreferred", "postgresql://db/palmota?sslmode=prefer", ""}};
}

}  // namespace palmota::testing
