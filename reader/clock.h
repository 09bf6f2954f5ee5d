#pragma once

#include <chrono>

namespace palmota {

using Seconds = std::chrono::duration<double>;

// Seconds with a fractional part, never going backwards. Exchanges measure their time
// limits on it; tests inject a fake one so that time-outs take no real time.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual Seconds now() = 0;
};

class SteadyClock final : public Clock {
  public:
    Seconds now() override {
        return std::chrono::duration_cast<Seconds>(
            std::chrono::steady_clock::now().time_since_epoch());
    }
};

}  // namespace palmota
