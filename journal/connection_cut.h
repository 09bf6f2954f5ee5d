#pragma once

// What the PostgreSQL journal needs from the system's sockets; one source file per system.
namespace palmota::journal {

// Ends a connected socket's traffic from any thread: a call blocked reading or writing it
// (the database driver waiting for an answer) returns at once with an error. POSIX shuts
// it down both ways and leaves it open for its owner to close; Windows, where only a close
// wakes the blocked call, closes it, and its owner must then close it at once.
void cutConnection(int socket);

}  // namespace palmota::journal
