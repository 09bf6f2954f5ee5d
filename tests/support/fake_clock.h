#pragma once

#include "reader/clock.h"

namespace palmota::testing {

// Time that moves only when the scripted line waits, so time-outs cost no real time.
class FakeClock final : public Clock {
  public:
    Seconds now() override {
        ++reads;
        return time;
    }
    void advance(Seconds by) { time += by; }

    Seconds time{1000.0};
    int reads = 0;
};

}  // namespace palmota::testing
