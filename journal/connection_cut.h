#pragma once

// What the PostgreSQL journal needs from the system's sockets; one source file per system.
namespace palmota::journal {

// Shuts a connected socket down both ways, from any thread: a call blocked reading or
// writing it (the database driver waiting for an answer) returns at once with an error.
// The socket stays open: its owner closes it.
void cutConnection(int socket);

}  // namespace palmota::journal
