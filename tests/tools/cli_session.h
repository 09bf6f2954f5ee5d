#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace palmota::testing {

// A built program fed through a pipe on its standard input, as a script feeds
// `palmota-cli -`: lines go in one at a time, answers are read as they come.
class CliSession {
  public:
    CliSession() = default;
    ~CliSession();  // kills a child still running
    CliSession(const CliSession&) = delete;
    CliSession& operator=(const CliSession&) = delete;

    // With `ignorePipeSignal` the child starts with SIGPIPE ignored, so that a write to a
    // closed output fails instead of killing it.
    bool start(const std::string& program, const std::vector<std::string>& arguments,
               bool ignorePipeSignal = false);
    bool send(const std::string& text);
    void closeInput();
    // Stops reading the child's standard output, as `head` does once it has enough.
    void closeOutput();
    // The next line of standard output, without its newline; nothing if none came in time.
    std::optional<std::string> readLine(std::chrono::milliseconds within);
    // The exit status (128 + N for a death by signal N), or nothing if it did not end in time.
    std::optional<int> wait(std::chrono::milliseconds within);

    const std::string& err() const { return err_; }

  private:
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

}  // namespace palmota::testing
