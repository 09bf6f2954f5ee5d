#include "sim/emulated_line.h"

#include <algorithm>
#include <chrono>

#include "reader/protocol.h"

namespace palmota::sim {

EmulatedLine::EmulatedLine(std::string device, const VirtualBadge& badge, SerialLine& elsewhere,
                           Clock& clock, Sleep sleep)
    : device_(std::move(device)),
      engine_(badge),
      elsewhere_(elsewhere),
      clock_(clock),
      sleep_(std::move(sleep)) {}

bool EmulatedLine::open(const std::string& device) {
    close();
    if (device != device_) {
        onElsewhere_ = elsewhere_.open(device);
        return onElsewhere_;
    }
    // A new opening finds the Reader idle, with nothing on the line.
    engine_.reset();
    open_ = true;
    return true;
}

bool EmulatedLine::isOpen() const {
    return onElsewhere_ ? elsewhere_.isOpen() : open_;
}

void EmulatedLine::close() {
    if (onElsewhere_) elsewhere_.close();
    onElsewhere_ = false;
    open_ = false;
    due_.clear();
    received_.clear();
}

std::size_t EmulatedLine::write(const Bytes& bytes) {
    if (onElsewhere_) return elsewhere_.write(bytes);
    if (!open_) return 0;
    const Seconds now = clock_.now();
    for (const char byte : bytes) {
        for (TimedPiece& piece : engine_.receive(static_cast<std::uint8_t>(byte)))
            due_.push_back(
                {now + std::chrono::duration_cast<Seconds>(piece.at), std::move(piece.bytes)});
        // A flood is a fault of the standalone emulator's; it has no place here.
        engine_.takeFlood();
    }
    std::stable_sort(due_.begin(), due_.end(),
                     [](const Due& a, const Due& b) { return a.at < b.at; });
    return bytes.size();
}

void EmulatedLine::deliver() {
    const Seconds now = clock_.now();
    while (!due_.empty() && due_.front().at <= now) {
        // What does not fit in the receive buffer is lost, as on an overrun port.
        const std::size_t room = protocol::kReceiveBufferSize - received_.size();
        received_ += due_.front().bytes.substr(0, room);
        due_.pop_front();
    }
}

int EmulatedLine::bytesWaiting() {
    if (onElsewhere_) return elsewhere_.bytesWaiting();
    deliver();
    return static_cast<int>(received_.size());
}

Bytes EmulatedLine::readAll() {
    if (onElsewhere_) return elsewhere_.readAll();
    deliver();
    Bytes all;
    all.swap(received_);
    return all;
}

bool EmulatedLine::waitForBytes(std::chrono::duration<double> timeLeft) {
    if (onElsewhere_) return elsewhere_.waitForBytes(timeLeft);
    if (!open_) return false;
    deliver();
    Seconds wait = timeLeft;
    if (!due_.empty()) wait = std::min(wait, due_.front().at - clock_.now());
    if (wait > Seconds{0}) sleep_(wait);
    deliver();
    return true;
}

OpenError EmulatedLine::openError() const {
    return elsewhere_.openError();
}

}  // namespace palmota::sim
