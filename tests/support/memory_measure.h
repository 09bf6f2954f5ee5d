#pragma once

#include <fstream>
#include <string>

namespace palmota::testing {

// AddressSanitizer keeps freed memory in quarantine, so resident sizes say nothing about
// leaks or bounds in a sanitizer build (its leak checker does that job there).
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kResidentMemoryIsMeaningful = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kResidentMemoryIsMeaningful = false;
#else
inline constexpr bool kResidentMemoryIsMeaningful = true;
#endif
#else
inline constexpr bool kResidentMemoryIsMeaningful = true;
#endif

// A field of /proc/self/status in kB: "VmRSS" (resident now), "VmHWM" (peak resident).
inline long statusKb(const std::string& field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
    }
    return -1;
}

}  // namespace palmota::testing
