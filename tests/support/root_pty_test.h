#pragma once

#include <grp.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "sim/pty_reader.h"

namespace palmota::testing {

// The ordinary user and group these tests run code as: nobody and nogroup.
inline constexpr uid_t kOtherUser = 65534;
inline constexpr gid_t kOtherGroup = 65534;

// Makes this process kOtherUser in kOtherGroup, with no supplementary groups; false when
// the system refuses. There is no way back: for a child process only.
inline bool becomeOtherUser() {
    return ::setgroups(0, nullptr) == 0 && ::setgid(kOtherGroup) == 0 && ::setuid(kOtherUser) == 0;
}

// The emulated Reader on a pseudo-terminal, for tests that open it as another user. Only
// root may drop to another user, and only then do permissions and exclusive holds count:
// CI runs the tests as root.
class RootPtyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(::geteuid(), 0u) << "these tests drop to another user and need root";
        ASSERT_TRUE(reader.start());
        pty = reader.ptyPath();
    }

    sim::PtyReader reader;
    std::string pty;  // the path programs open the Reader by
};

}  // namespace palmota::testing
