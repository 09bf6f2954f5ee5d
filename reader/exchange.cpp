#include "reader/exchange.h"

namespace palmota {

namespace {
// Waiting a hair past the time left makes the next elapsed-time test come out strictly
// greater than the limit instead of equal to it, without another round trip.
constexpr Seconds kPastTheLimit = std::chrono::microseconds{100};
// Less than any wait a line can make: what is left of a guard below it is no wait at all.
constexpr Seconds kClockGrain = std::chrono::microseconds{1};
}  // namespace

Bytes exchange(SerialLine& line, Clock& clock, const Bytes& command, int atLeast, Seconds limit,
               bool* lineLost) {
    if (!command.empty()) line.write(command);
    const Seconds start = clock.now();
    const auto limitSeconds = static_cast<float>(limit.count());
    for (;;) {
        if (line.bytesWaiting() >= atLeast) break;
        const Seconds elapsed = clock.now() - start;
        if (static_cast<float>(elapsed.count()) > limitSeconds) break;
        if (!line.waitForBytes(limit - elapsed + kPastTheLimit)) {
            if (lineLost) *lineLost = true;
            break;
        }
    }
    return line.readAll();
}

bool staysQuiet(SerialLine& line, Clock& clock, Seconds guard) {
    const Seconds start = clock.now();
    for (;;) {
        if (line.bytesWaiting() > 0) return false;
        const Seconds left = guard - (clock.now() - start);
        if (left < kClockGrain) return true;
        if (!line.waitForBytes(left)) return line.bytesWaiting() == 0;
    }
}

}  // namespace palmota
