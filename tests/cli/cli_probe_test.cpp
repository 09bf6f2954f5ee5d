// palmota-cli probe and ports, on a scripted line: what goes on the wire and what is said.
#include "cli/cli_probe.h"

#include <gtest/gtest.h>

#include "cli/cli_ports.h"
#include "tests/support/fake_clock.h"
#include "tests/support/hex.h"
#include "tests/support/scripted_line.h"

namespace palmota::cli {
namespace {

using palmota::testing::Arrival;
using palmota::testing::FakeClock;
using palmota::testing::hex;
using palmota::testing::hexOf;
using palmota::testing::ScriptedLine;

struct ProbeCase {
    const char* name;
    std::string answer;  // hex; empty for none
    OpenError::Kind refuse;
    std::string refuseReason;  // the port does not open, for this reason
    std::string line;          // the probe's line, tabs written as |
    std::string wire;          // what the port was sent
};

class CliProbeTest : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(CliProbeTest, SendsTheReadyCheckAloneAndSaysWhatCameBack) {
    const ProbeCase& c = GetParam();
    FakeClock clock;
    ScriptedLine line(clock);
    line.refuseOpen = c.refuseReason;
    line.refuseKind = c.refuse;
    line.setResponder([&c](const Bytes&) {
        if (c.answer.empty()) return std::vector<Arrival>{};
        return std::vector<Arrival>{{Seconds{0.002}, hex(c.answer)}};
    });
    const Seconds start = clock.now();
    const ProbeResult result = probePort(line, clock, "/dev/ttyUSB0");
    std::string text = probeLine(result);
    for (char& ch : text)
        if (ch == '\t') ch = '|';
    EXPECT_EQ(text, c.line);
    EXPECT_EQ(hexOf(line.allWritten()), c.wire);
    EXPECT_FALSE(line.isOpen());  // released for whoever looks next
    // Never longer than the one-second limit (and the moment after it that ends it).
    EXPECT_LE((clock.now() - start).count(), 1.001);
}

INSTANTIATE_TEST_SUITE_P(
    Ports, CliProbeTest,
    ::testing::Values(
        ProbeCase{"Ready", "00", {}, "", "/dev/ttyUSB0|ready", "00"},
        ProbeCase{"NotReady", "01", {}, "", "/dev/ttyUSB0|answered|01", "00"},
        ProbeCase{"OtherDevice", "41 54 0D", {}, "", "/dev/ttyUSB0|answered|41 54 0D", "00"},
        ProbeCase{"Silent", "", {}, "", "/dev/ttyUSB0|no answer", "00"},
        ProbeCase{
            "Busy", "", OpenError::Kind::Busy, "Device busy",
            "/dev/ttyUSB0|busy|in use by another program (Device busy); close it and try again",
            ""},
        ProbeCase{"NotASerialDevice", "", OpenError::Kind::NotASerialDevice, "not a serial device",
                  "/dev/ttyUSB0|cannot open|not a serial device", ""}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(CliPorts, UnknownFieldsAreDashesAndNoFieldSplitsTheLine) {
    SerialDevice device;
    device.path = "/dev/ttyUSB0";
    device.description = "FT232R\tUSB UART";
    device.vidPid = "0403:6001";
    EXPECT_EQ(deviceLine(device), "/dev/ttyUSB0\t-\tFT232R USB UART\t-\t0403:6001\t-");
    const QJsonObject json = deviceJson(device);
    EXPECT_EQ(json["vidPid"].toString(), "0403:6001");
    EXPECT_TRUE(json["manufacturer"].isNull());
}

}  // namespace
}  // namespace palmota::cli
