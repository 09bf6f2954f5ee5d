#include <winsock2.h>

#include "journal/connection_cut.h"

namespace palmota::journal {

void cutConnection(int socket) {
    // libpq hands its SOCKET out as an int (PQsocket); a select() or recv() waiting on it
    // returns once it is shut down.
    ::shutdown(static_cast<SOCKET>(socket), SD_BOTH);
}

}  // namespace palmota::journal
