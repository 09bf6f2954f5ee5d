#include <winsock2.h>

#include "journal/connection_cut.h"

namespace palmota::journal {

void cutConnection(int socket) {
    // libpq hands its SOCKET out as an int (PQsocket). Winsock wakes a select() or recv()
    // of another thread only when the socket is closed (shutdown() leaves it waiting):
    // the blocked call fails, and libpq's own close of the connection, which follows at
    // once, finds the number gone. Nothing opens a socket between the two (the request to
    // cancel is sent after it: answer_watch.cpp), so the number cannot name another one.
    ::closesocket(static_cast<SOCKET>(socket));
}

}  // namespace palmota::journal
