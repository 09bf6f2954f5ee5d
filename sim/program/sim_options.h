#pragma once

#include <string>
#include <vector>

#include "sim/reader_faults.h"
#include "sim/virtual_badge.h"

namespace palmota::sim {

// What badge-reader-sim serves: the badge, the Reader's faults, a fixed link name.
struct SimOptions {
    sim::VirtualBadge badge = sim::VirtualBadge::sample();
    sim::ReaderFaults faults;
    std::string linkPath;  // empty: no link
    bool verbose = false;  // log what the Reader receives and sends on standard error
};

struct SimParse {
    enum class Outcome { Run, Help, Version, UsageError };
    Outcome outcome = Outcome::UsageError;
    SimOptions options;
    std::string error;
};

// `arguments` without the program's name. Options take their value as the next argument
// or after "="; badge options apply in the order given, so a --block written after
// --serial or --credit overrides the bytes they set, and the other way round. Arguments
// are bytes in the local encoding.
SimParse parseSimOptions(const std::vector<std::string>& arguments);

std::string simHelpText();

}  // namespace palmota::sim
