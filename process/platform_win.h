#pragma once

// What the Windows programs need beyond process/platform.h.
namespace palmota::platform {

// A manual-reset event (a HANDLE) signalled once a termination request came: for an
// event loop's event notifier, where POSIX has terminationFd(). Null before
// installTerminationHandlers().
void* terminationEvent();

}  // namespace palmota::platform
