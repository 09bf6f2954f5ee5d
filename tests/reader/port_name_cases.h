#pragma once

#include <ostream>
#include <vector>

namespace palmota::testing {

struct Naming {
    const char* text;
    const char* device;  // empty: refused
    const char* name;    // the row's name in the test list
};

inline void PrintTo(const Naming& row, std::ostream* out) {
    *out << '"' << row.text << "\" -> \"" << row.device << '"';
}

// The chooser texts whose meaning is the system's own: one source file per system.
std::vector<Naming> systemNamings();

}  // namespace palmota::testing
