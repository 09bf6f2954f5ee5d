#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace palmota::testing {

struct ChildOptions {
    // A pipe on the child's standard input, fed with send(), as a script feeds
    // `palmota-cli -`; without it the child shares the test program's standard input.
    bool inputPipe = false;
    // The child starts with SIGPIPE ignored, so that a write to a closed output fails
    // instead of killing it; otherwise it starts with SIGPIPE's default action.
    bool ignorePipeSignal = false;
};

// A built program run as a user would run it, with its standard output and error caught.
class ChildProcess {
  public:
    ChildProcess() = default;
    ~ChildProcess();  // kills a child still running
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool start(const std::string& program, const std::vector<std::string>& arguments,
               ChildOptions options = {});
    // Writes to the child's input pipe; false without one, or once the child closed it.
    bool send(const std::string& text);
    void closeInput();
    // Stops reading the child's standard output, as `head` does once it has enough.
    void closeOutput();
    // The next line of standard output, without its newline; nothing if none came in time.
    std::optional<std::string> readLine(std::chrono::milliseconds within);
    void signal(int signalNumber) const;
    // The exit status (128 + N for a death by signal N), or nothing if it did not end in time.
    std::optional<int> wait(std::chrono::milliseconds within);

    const std::string& out() const { return out_; }
    const std::string& err() const { return err_; }

  private:
    // Reads what is ready on either pipe, waiting at most `within`; false once both are shut.
    bool pump(std::chrono::milliseconds within);

    pid_t pid_ = -1;
    int inFd_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    std::string out_;
    std::string err_;
    std::size_t lineStart_ = 0;
    std::optional<int> status_;
};

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs a program to its end (killed after `limit`) and returns what it said.
RunResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                     std::chrono::milliseconds limit = std::chrono::seconds{20});

}  // namespace palmota::testing
