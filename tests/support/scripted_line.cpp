#include "tests/support/scripted_line.h"

#include <algorithm>
#include <utility>

namespace palmota::testing {

namespace {
// Shorter than any wait the link makes, and than what a double holding the time may lose.
constexpr Seconds kShortestWait = std::chrono::microseconds{1};
constexpr Seconds kPollGrain = std::chrono::milliseconds{1};
}  // namespace

void ScriptedLine::schedule(Seconds after, const Bytes& bytes) {
    const Pending item{clock_.time + after, bytes};
    const auto later = std::upper_bound(pending_.begin(), pending_.end(), item.at,
                                        [](Seconds at, const Pending& p) { return at < p.at; });
    pending_.insert(later, item);
}

bool ScriptedLine::open(const std::string& device) {
    opened.push_back(device);
    if (!refuseOpen.empty()) return false;
    open_ = true;
    broken_ = false;
    // As the real line does: whatever the system had received before is dropped.
    deliver();
    received_.clear();
    return true;
}

void ScriptedLine::close() {
    ++closes;
    open_ = false;
}

std::size_t ScriptedLine::write(const Bytes& bytes) {
    if (writes.size() == breaksAtWrite) breakLine();
    if (!open_ || broken_) return 0;
    writes.push_back(bytes);
    if (!responder_) return bytes.size();
    for (const Arrival& a : responder_(bytes)) schedule(a.after, a.bytes);
    return bytes.size();
}

void ScriptedLine::deliver() {
    while (!broken_ && !pending_.empty() && pending_.front().at <= clock_.time &&
           received_.size() < bufferSize) {
        Pending& next = pending_.front();
        const std::size_t room = bufferSize - received_.size();
        received_ += next.bytes.substr(0, room);
        if (next.bytes.size() > room) {
            next.bytes.erase(0, room);  // the rest stays with the system
        } else {
            pending_.pop_front();
        }
    }
}

int ScriptedLine::bytesWaiting() {
    deliver();
    return static_cast<int>(received_.size());
}

Bytes ScriptedLine::readAll() {
    deliver();
    bytesRead += received_.size();
    return std::exchange(received_, {});
}

bool ScriptedLine::waitForBytes(std::chrono::duration<double> timeLeft) {
    ++waits;
    if (!open_ || broken_) return false;
    // A wait for next to no time returns at once on a real line, yet time passes as the
    // caller polls: a caller that keeps asking sees the clock move, never stand or go back.
    const Seconds deadline =
        clock_.time + (timeLeft >= kShortestWait ? Seconds{timeLeft} : kPollGrain);
    if (!pending_.empty() && pending_.front().at <= deadline)
        clock_.time = std::max(clock_.time, pending_.front().at);
    else
        clock_.time = deadline;
    return true;
}

std::string ScriptedLine::allWritten() const {
    std::string all;
    for (const Bytes& w : writes) all += w;
    return all;
}

}  // namespace palmota::testing
