#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "reader/serial_line.h"
#include "tests/support/fake_clock.h"

namespace palmota::testing {

// Bytes that reach the host `after` a moment (a write, or the time they were scheduled).
struct Arrival {
    Seconds after{0};
    Bytes bytes;
};

// A serial line whose far side is a script: each write is handed to a responder that
// says what comes back and when. Waiting advances the fake clock to the next arrival or
// by the time left, so a 3-second time-out runs in microseconds. Faults: refuse to open,
// break (the device pulled out), a receive buffer that fills up.
class ScriptedLine final : public SerialLine {
  public:
    using Responder = std::function<std::vector<Arrival>(const Bytes& written)>;

    explicit ScriptedLine(FakeClock& clock) : clock_(clock) {}

    void setResponder(Responder responder) { responder_ = std::move(responder); }
    // Schedules bytes relative to now, whatever was written (noise, late leftovers).
    void schedule(Seconds after, const Bytes& bytes);

    bool open(const std::string& device) override;
    bool isOpen() const override { return open_; }
    void close() override;
    std::size_t write(const Bytes& bytes) override;
    int bytesWaiting() override;
    Bytes readAll() override;
    bool waitForBytes(std::chrono::duration<double> timeLeft) override;
    OpenError openError() const override { return {refuseKind, refuseOpen, refuseGroup}; }

    // The device goes away: nothing more arrives, waits end at once, writes are lost.
    void breakLine() { broken_ = true; }
    // The device goes away as the write of this index (from 0) begins.
    std::size_t breaksAtWrite = static_cast<std::size_t>(-1);

    // What the host did.
    std::vector<Bytes> writes;        // each write, in order, while open
    std::vector<std::string> opened;  // each device opened
    std::size_t bytesRead = 0;        // every byte the host took from the line
    int closes = 0;
    int waits = 0;
    std::string allWritten() const;

    // Set to make open() fail with this reason, of this kind.
    std::string refuseOpen;
    OpenError::Kind refuseKind = OpenError::Kind::Other;
    std::string refuseGroup;
    std::size_t bufferSize = 1024;

  private:
    struct Pending {
        Seconds at;
        Bytes bytes;
    };
    void deliver();

    FakeClock& clock_;
    Responder responder_;
    std::deque<Pending> pending_;  // ordered by time
    Bytes received_;
    bool open_ = false;
    bool broken_ = false;
};

}  // namespace palmota::testing
