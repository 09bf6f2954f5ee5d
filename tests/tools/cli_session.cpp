#include "tests/tools/cli_session.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

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

CliSession::~CliSession() {
    if (pid_ > 0 && !status_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    closeFd(inFd_);
    closeFd(outFd_);
    closeFd(errFd_);
}

bool CliSession::start(const std::string& program, const std::vector<std::string>& arguments,
                       bool ignorePipeSignal) {
    int in[2];
    int out[2];
    int err[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
        return false;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(in[0], STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(err[1], STDERR_FILENO);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::signal(SIGPIPE, ignorePipeSignal ? SIG_IGN : SIG_DFL);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    inFd_ = in[1];
    outFd_ = out[0];
    errFd_ = err[0];
    return pid_ > 0;
}

bool CliSession::send(const std::string& text) {
    return inFd_ >= 0 &&
           ::write(inFd_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

void CliSession::closeInput() {
    closeFd(inFd_);
}

void CliSession::closeOutput() {
    closeFd(outFd_);
}

bool CliSession::pump(std::chrono::milliseconds within) {
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

std::optional<std::string> CliSession::readLine(std::chrono::milliseconds within) {
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

std::optional<int> CliSession::wait(std::chrono::milliseconds within) {
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
    while (pump(std::chrono::milliseconds{0}) && (outFd_ >= 0 || errFd_ >= 0)) {
    }
    return status_;
}

}  // namespace palmota::testing
