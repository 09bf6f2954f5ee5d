#pragma once

#include <deque>
#include <functional>
#include <string>

#include "reader/clock.h"
#include "reader/serial_line.h"
#include "sim/reader_engine.h"

namespace palmota::sim {

// The emulated Reader inside the program, as a serial line: for the window's simulation
// mode where there is no pseudo-terminal to put the emulator on (Windows). Opening
// `device` reaches the emulated Reader; any other name is opened on `elsewhere`, the
// system's line, so that real ports still work beside it. The Reader's pieces arrive at
// their times after the byte that asked for them, as on a wire; a wait sleeps until the
// next piece is due, or the time left if none is.
class EmulatedLine final : public SerialLine {
  public:
    using Sleep = std::function<void(Seconds)>;
    EmulatedLine(std::string device, const VirtualBadge& badge, SerialLine& elsewhere, Clock& clock,
                 Sleep sleep);

    const std::string& device() const { return device_; }
    void setFaults(const ReaderFaults& faults) { engine_.setFaults(faults); }
    const VirtualBadge& badge() const { return engine_.badge(); }

    bool open(const std::string& device) override;
    bool isOpen() const override;
    void close() override;
    std::size_t write(const Bytes& bytes) override;
    int bytesWaiting() override;
    Bytes readAll() override;
    bool waitForBytes(std::chrono::duration<double> timeLeft) override;
    OpenError openError() const override;

  private:
    struct Due {
        Seconds at;
        std::string bytes;
    };
    void deliver();

    std::string device_;
    ReaderEngine engine_;
    SerialLine& elsewhere_;
    Clock& clock_;
    Sleep sleep_;
    bool open_ = false;
    bool onElsewhere_ = false;
    std::deque<Due> due_;
    Bytes received_;
};

}  // namespace palmota::sim
