#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

class QVariant;

namespace palmota::journal {

// The client's own limit on a PostgreSQL server's answer. The server's lock_timeout and
// statement_timeout are the server's: a server that stopped answering (its process stopped,
// a network that drops every packet) never sends the error they would give, and the
// driver's call waits on its socket for ever. While a step is watched, a helper thread waits
// for its deadline, or for a stop asked during the step; then it cuts the connection's
// socket (connection_cut.h), so that the blocked call returns with an error. The connection
// is then done with: the journal closes it, and the next write makes a new one. Once it is
// closed the server is asked to cancel what it ran (PQcancel, on a connection of its own),
// so that a server that was only slow does not go on with it.
class AnswerWatch {
  public:
    // How a watched step ended.
    enum class End {
        Answered,  // the step ended on its own (answered, or failed by itself)
        Deadline,  // no answer within the deadline: cut
        Stopped,   // a stop asked during the step: cut
    };

    // `stopRequested` is asked during each step; a stop already asked when a step begins
    // does not cut it (an outcome is still recorded after a stop that came during the
    // write), one asked while it waits does.
    AnswerWatch(std::chrono::milliseconds deadline, std::function<bool()> stopRequested);
    ~AnswerWatch();
    AnswerWatch(const AnswerWatch&) = delete;
    AnswerWatch& operator=(const AnswerWatch&) = delete;

    std::chrono::milliseconds deadline() const { return deadline_; }
    void setDeadline(std::chrono::milliseconds deadline) { deadline_ = deadline; }
    void setStopCheck(std::function<bool()> stopRequested);

    // The connection to watch: the driver's handle (a QVariant holding "PGconn*"), taken
    // once it is open; anything else watches nothing. detach() once it is closed: a
    // statement cut is then cancelled on the server.
    void attach(const QVariant& handle);
    void detach();

    // One watched step: from here to finish() (or the end of the scope).
    class Step {
      public:
        explicit Step(AnswerWatch* watch);
        ~Step() { finish(); }
        Step(const Step&) = delete;
        Step& operator=(const Step&) = delete;
        End finish();

      private:
        AnswerWatch* watch_;
        End end_ = End::Answered;
    };
    Step step() { return Step(this); }

    // Why a cut step failed, for messages: "no answer from the server in 6 s".
    std::string reason(End end) const;

  private:
    struct State;
    void arm();
    End disarm();

    std::chrono::milliseconds deadline_;
    std::unique_ptr<State> state_;
};

// "6 s", "0.4 s": a deadline as messages say it.
std::string secondsText(std::chrono::milliseconds duration);

}  // namespace palmota::journal
