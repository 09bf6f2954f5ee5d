#include "journal/answer_watch.h"

#include <libpq-fe.h>

#include <QVariant>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "journal/connection_cut.h"

namespace palmota::journal {

namespace {

// How often a waiting step looks whether a stop was asked: the flag a signal handler sets
// cannot wake a condition variable.
constexpr auto kStopCheck = std::chrono::milliseconds{20};

// Asks the server to cancel what the connection runs. PQcancel opens a connection of its
// own to the server and waits for it without a limit: it runs on a thread of its own, which
// owns the cancel request, so that a server that cannot be reached at all holds nothing up.
void cancelAside(PGcancel* cancel) {
    if (!cancel) return;
    std::thread([cancel] {
        char said[256];
        PQcancel(cancel, said, sizeof said);
        PQfreeCancel(cancel);
    }).detach();
}

// Qt's PostgreSQL driver hands its connection out as a PGconn*, which Qt's type system
// names after the struct behind the typedef.
bool holdsConnection(const QVariant& handle) {
    if (!handle.isValid()) return false;
    const char* name = handle.typeName();
    return std::strcmp(name, "PGconn*") == 0 || std::strcmp(name, "pg_conn*") == 0;
}

}  // namespace

struct AnswerWatch::State {
    std::mutex mutex;
    std::condition_variable changed;
    std::function<bool()> stopRequested;
    bool quit = false;
    bool armed = false;
    bool watchStops = false;
    std::chrono::steady_clock::time_point deadline;
    End end = End::Answered;
    int socket = -1;
    PGcancel* cancel = nullptr;
    bool cut = false;  // the connection was cut: its statement is cancelled once it is closed
    std::thread thread;

    // The watcher: sleeps until a step is armed, then until its deadline, looking at the
    // stop flag on the way.
    void run() {
        std::unique_lock lock(mutex);
        while (!quit) {
            if (!armed) {
                changed.wait(lock);
                continue;
            }
            const auto now = std::chrono::steady_clock::now();
            End why = End::Answered;
            if (now >= deadline)
                why = End::Deadline;
            else if (watchStops && stopRequested && stopRequested())
                why = End::Stopped;
            if (why == End::Answered) {
                changed.wait_until(lock, std::min(deadline, now + kStopCheck));
                continue;
            }
            armed = false;
            end = why;
            cut = true;
            if (socket >= 0) cutConnection(socket);
            socket = -1;
        }
    }
};

AnswerWatch::AnswerWatch(std::chrono::milliseconds deadline, std::function<bool()> stopRequested)
    : deadline_(deadline), state_(std::make_unique<State>()) {
    state_->stopRequested = std::move(stopRequested);
}

AnswerWatch::~AnswerWatch() {
    detach();
    {
        const std::lock_guard lock(state_->mutex);
        state_->quit = true;
    }
    state_->changed.notify_all();
    if (state_->thread.joinable()) state_->thread.join();
}

void AnswerWatch::setStopCheck(std::function<bool()> stopRequested) {
    const std::lock_guard lock(state_->mutex);
    state_->stopRequested = std::move(stopRequested);
}

void AnswerWatch::attach(const QVariant& handle) {
    detach();
    if (!holdsConnection(handle)) return;
    PGconn* connection = *static_cast<PGconn* const*>(handle.constData());
    if (!connection) return;
    const std::lock_guard lock(state_->mutex);
    state_->socket = PQsocket(connection);
    state_->cancel = PQgetCancel(connection);
}

void AnswerWatch::detach() {
    const std::lock_guard lock(state_->mutex);
    state_->armed = false;
    state_->socket = -1;
    // The request is independent of the connection: it goes out after the driver closed
    // it, so that no socket of the cancel's takes the number of the one cut meanwhile.
    if (state_->cut)
        cancelAside(state_->cancel);
    else if (state_->cancel)
        PQfreeCancel(state_->cancel);
    state_->cancel = nullptr;
    state_->cut = false;
}

void AnswerWatch::arm() {
    {
        const std::lock_guard lock(state_->mutex);
        if (state_->socket < 0) return;  // nothing to cut: the step runs unwatched
        state_->end = End::Answered;
        state_->deadline = std::chrono::steady_clock::now() + deadline_;
        state_->watchStops = !(state_->stopRequested && state_->stopRequested());
        state_->armed = true;
        if (!state_->thread.joinable())
            state_->thread = std::thread([state = state_.get()] { state->run(); });
    }
    state_->changed.notify_all();
}

AnswerWatch::End AnswerWatch::disarm() {
    const std::lock_guard lock(state_->mutex);
    state_->armed = false;
    const End end = state_->end;
    state_->end = End::Answered;
    return end;
}

AnswerWatch::Step::Step(AnswerWatch* watch) : watch_(watch) {
    if (watch_) watch_->arm();
}

AnswerWatch::End AnswerWatch::Step::finish() {
    if (watch_) {
        end_ = watch_->disarm();
        watch_ = nullptr;
    }
    return end_;
}

std::string AnswerWatch::reason(End end) const {
    switch (end) {
        case End::Answered:
            break;
        case End::Deadline:
            return "no answer from the server in " + secondsText(deadline_);
        case End::Stopped:
            return "stopped while waiting for the server";
    }
    return {};
}

std::string secondsText(std::chrono::milliseconds duration) {
    const auto ms = duration.count();
    std::string text = std::to_string(ms / 1000);
    if (const auto tenths = (ms % 1000) / 100; tenths != 0) text += '.' + std::to_string(tenths);
    return text + " s";
}

}  // namespace palmota::journal
