#pragma once

#include <ostream>
#include <vector>

namespace palmota::testing {

// A journal's place whose meaning is the system's own: one source file per system.
struct SystemLocation {
    const char* name;
    const char* where;
    const char* refusal;  // a part of the reason it is refused; empty: accepted
};

inline void PrintTo(const SystemLocation& row, std::ostream* out) {
    *out << row.name;
}

std::vector<SystemLocation> systemLocations();

}  // namespace palmota::testing
