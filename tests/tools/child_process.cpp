#include "tests/tools/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

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
    closeFd(outFd_);
    closeFd(errFd_);
}

bool ChildProcess::start(const std::string& program, const std::vector<std::string>& arguments) {
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) return false;
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        return false;
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(outPipe[1], STDOUT_FILENO);
        ::dup2(errPipe[1], STDERR_FILENO);
        // A test runner may block signals; the child must see SIGTERM as a user's shell would.
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    outFd_ = outPipe[0];
    errFd_ = errPipe[0];
    return pid_ > 0;
}

bool ChildProcess::pump(std::chrono::milliseconds within) {
    pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
    if (outFd_ < 0 && errFd_ < 0) return false;
    if (::poll(fds, 2, static_cast<int>(within.count())) <= 0) return true;
    char buffer[4096];
    for (auto [fd, text] : {std::pair{&outFd_, &out_}, std::pair{&errFd_, &err_}}) {
        const pollfd& p = fd == &outFd_ ? fds[0] : fds[1];
        if (*fd < 0 || !(p.revents & (POLLIN | POLLHUP | POLLERR))) continue;
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
