#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace palmota::testing {

// A signal number by its name without SIG, as a row name: INT, TERM, HUP. For the tests
// that send POSIX signals to the programs.
inline std::string signalName(const ::testing::TestParamInfo<int>& info) {
    return sigabbrev_np(info.param);
}

}  // namespace palmota::testing
