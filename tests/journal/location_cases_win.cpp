#include "tests/journal/location_cases.h"

namespace palmota::testing {

std::vector<SystemLocation> systemLocations() {
    // SQLite's locks do not hold over SMB. The PostgreSQL client built for Windows speaks TLS
    // and checks the server's certificate, as Linux's does.
    constexpr const char* kShare = "must not be on a network share";
    return {{"DrivePath", "C:\\Caisse\\journal.db", ""},
            {"PathWithSpaces", "C:\\Program Files\\Caisse\\journal du jour.db", ""},
            {"Share", "\\\\server\\share\\journal.db", kShare},
            {"ShareWithSlashes", "//server/share/journal.db", kShare},
            {"ShareInTheLongForm", "\\\\?\\UNC\\server\\share\\journal.db", kShare},
            {"LongLocalPath", "\\\\?\\C:\\Caisse\\journal.db", ""},
            {"TlsRequired", "postgresql://db/palmota?sslmode=require", ""},
            {"TlsVerified", "postgresql://db/palmota?sslmode=verify-full", ""},
            {"TlsCaVerified", "postgresql://db/palmota?sslmode=verify-ca", ""},
            {"TlsRootOfItsOwn",
             "postgresql://db/palmota?sslmode=verify-full&sslrootcert=C:/Caisse/root.crt", ""},
            {"TlsPreferred", "postgresql://db/palmota?sslmode=prefer", ""}};
}

}  // namespace palmota::testing
