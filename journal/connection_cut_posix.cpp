#include <sys/socket.h>

#include "journal/connection_cut.h"

namespace palmota::journal {

void cutConnection(int socket) {
    // A poll() or recv() waiting on the socket wakes with the end of the stream.
    ::shutdown(socket, SHUT_RDWR);
}

}  // namespace palmota::journal
