#pragma once

#include "reader/posix_serial_line.h"
#include "sim/pty_reader.h"
#include "tests/ui/window_fixture.h"

namespace palmota::ui::testing {

// The window on a real port: a pseudo-terminal with the emulated Reader on its far side.
class PtyWindowTest : public WindowDriver {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(reader.start(&error)) << error;
        showWindow(port, clock, QString::fromStdString(reader.devicePath()));
    }

    // Declared before the port and the window, so that the port on it is closed first.
    sim::PtyReader reader;
    PosixSerialLine port;
    SteadyClock clock;
};

}  // namespace palmota::ui::testing
