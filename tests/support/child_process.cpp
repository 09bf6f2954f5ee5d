#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <utility>

namespace palmota::testing {

namespace {
using SteadyTime = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kReapPoll{5};

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}
}  // namespace

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !status_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    closeFd(inFd_);
    closeFd(outFd_);
    closeFd(errFd_);
}

bool ChildProcess::start(const std::string& program, const std::vector<std::string>& arguments,
                         ChildOptions options) {
    // Close-on-exec, so that no other child started meanwhile holds an end open: the
    // child would then never see the end of its input, nor we the end of its output.
    int inPipe[2] = {-1, -1};
    int outPipe[2] = {-1, -1};
    int errPipe[2] = {-1, -1};
    const auto closeAll = [&] {
        for (int* end :
             {&inPipe[0], &inPipe[1], &outPipe[0], &outPipe[1], &errPipe[0], &errPipe[1]})
            closeFd(*end);
    };
    if ((options.inputPipe && ::pipe2(inPipe, O_CLOEXEC) != 0) ||
        ::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) {
        closeAll();
        return false;
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    pid_ = ::fork();
    if (pid_ == 0) {
        if (options.inputPipe) ::dup2(inPipe[0], STDIN_FILENO);
        ::dup2(outPipe[1], STDOUT_FILENO);
        ::dup2(errPipe[1], STDERR_FILENO);
        // A test runner may block signals; the child must see SIGTERM as a user's shell would.
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::signal(SIGPIPE, options.ignorePipeSignal ? SIG_IGN : SIG_DFL);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    if (pid_ < 0) {
        closeAll();
        return false;
    }
    inFd_ = std::exchange(inPipe[1], -1);
    outFd_ = std::exchange(outPipe[0], -1);
    errFd_ = std::exchange(errPipe[0], -1);
    closeAll();
    return true;
}

bool ChildProcess::send(const std::string& text) {
    if (inFd_ < 0) return false;
    // A child that ended, or stopped reading, makes the write fail with EPIPE and raise
    // SIGPIPE, which would end the whole test program. The signal is held back in this
    // thread only, around the write only, and a SIGPIPE the write raised is taken off.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    sigset_t pending;
    ::sigpending(&pending);
    const bool alreadyPending = sigismember(&pending, SIGPIPE) == 1;
    sigset_t previous;
    ::pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    const bool sent = ::write(inFd_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    const int writeError = errno;
    if (!sent && writeError == EPIPE && !alreadyPending) {
        const timespec now{};
        ::sigtimedwait(&pipeSignal, nullptr, &now);
    }
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return sent;
}

void ChildProcess::closeInput() {
    closeFd(inFd_);
}

void ChildProcess::closeOutput() {
    closeFd(outFd_);
}

bool ChildProcess::pump(std::chrono::milliseconds within) {
    pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
    if (outFd_ < 0 && errFd_ < 0) return false;
    if (::poll(fds, 2, static_cast<int>(within.count())) <= 0) return true;
    char buffer[4096];
    const std::pair<int*, std::string*> streams[2] = {{&outFd_, &out_}, {&errFd_, &err_}};
    for (int i = 0; i < 2; ++i) {
        auto [fd, text] = streams[i];
        if (*fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        const ssize_t n = ::read(*fd, buffer, sizeof buffer);
        if (n > 0)
            text->append(buffer, static_cast<std::size_t>(n));
        else
            closeFd(*fd);
    }
    return true;
}

std::optional<std::string> ChildProcess::readLine(std::chrono::milliseconds within) {
    const auto deadline = SteadyTime::now() + within;
    for (;;) {
        if (const auto end = out_.find('\n', lineStart_); end != std::string::npos) {
            std::string line = out_.substr(lineStart_, end - lineStart_);
            lineStart_ = end + 1;
            return line;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyTime::now());
        if (left.count() <= 0 || !pump(left)) return std::nullopt;
    }
}

void ChildProcess::signal(int signalNumber) const {
    if (pid_ > 0 && !status_) ::kill(pid_, signalNumber);
}

std::optional<int> ChildProcess::wait(std::chrono::milliseconds within) {
    const auto deadline = SteadyTime::now() + within;
    while (!status_) {
        int raw = 0;
        if (::waitpid(pid_, &raw, WNOHANG) == pid_) {
            status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            break;
        }
        if (SteadyTime::now() >= deadline) return std::nullopt;
        if (!pump(kReapPoll))
            ::usleep(static_cast<useconds_t>(
                std::chrono::duration_cast<std::chrono::microseconds>(kReapPoll).count()));
    }
    // What the child wrote before it ended.
    while (pump(std::chrono::milliseconds{0}) && (outFd_ >= 0 || errFd_ >= 0)) {
    }
    return status_;
}

RunResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                     std::chrono::milliseconds limit) {
    ChildProcess child;
    RunResult result;
    if (!child.start(program, arguments)) return result;
    const auto status = child.wait(limit);
    result.status = status.value_or(-1);
    result.out = child.out();
    result.err = child.err();
    return result;
}

}  // namespace palmota::testing
