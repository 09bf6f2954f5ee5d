#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "process/platform.h"

namespace palmota::platform {

namespace {

volatile sig_atomic_t terminationFlag = 0;
// The self-pipe: the handler writes one byte; a full pipe already says enough.
int terminationPipe[2] = {-1, -1};

void onTermination(int) {
    const int saved = errno;
    terminationFlag = 1;
    if (terminationPipe[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(terminationPipe[1], &byte, 1);
    }
    errno = saved;
}

}  // namespace

void ensureStandardStreams() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // open() gives the lowest free number, which is `fd` itself: the ones below are open.
        const int opened = ::open("/dev/null", fd == STDERR_FILENO ? O_WRONLY : O_RDONLY);
        if (opened >= 0 && opened != fd) {
            ::dup2(opened, fd);
            ::close(opened);
        }
        if (opened < 0) std::abort();  // no /dev/null: nothing safe is left to do
    }
}

void installTerminationHandlers(bool interruptBlockingCalls) {
    if (terminationPipe[0] < 0 && ::pipe2(terminationPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        terminationPipe[0] = terminationPipe[1] = -1;
    }
    struct sigaction action {};
    action.sa_handler = onTermination;
    sigemptyset(&action.sa_mask);
    // Blocking calls go on after the handler; the program looks at the flag between
    // exchanges, and a wait on the port is never longer than its exchange's limit.
    action.sa_flags = interruptBlockingCalls ? 0 : SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, nullptr);
}

bool terminationRequested() {
    return terminationFlag != 0;
}

int terminationFd() {
    return terminationPipe[0];
}

std::string accountName() {
    struct passwd entry {};
    struct passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return found->pw_name;
    return std::to_string(::geteuid());
}

std::string fileIdentity(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return {};
    return std::to_string(info.st_dev) + ':' + std::to_string(info.st_ino);
}

}  // namespace palmota::platform
