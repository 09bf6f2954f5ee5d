// What the Windows device list says of a port, decoded into what `ports` and the chooser
// show. The rows hold the values Windows gives for common adapters and built-in ports;
// each is read the same on every system.
#include "reader/serial_devices_setupapi.h"

#include <gtest/gtest.h>

#include <ostream>

#include "tests/support/row_name.h"

namespace palmota {
namespace {

struct SetupApiCase {
    const char* name;
    SetupApiPort port;
    // What is shown: the port, the description, the maker, VID:PID, the serial number.
    const char* path;
    const char* description;
    const char* manufacturer;
    const char* vidPid;
    const char* serialNumber;
};

void PrintTo(const SetupApiCase& row, std::ostream* out) {
    *out << row.name << ": " << row.port.instanceId.toStdString();
}

class SetupApiDecoding : public ::testing::TestWithParam<SetupApiCase> {};

TEST_P(SetupApiDecoding, GivesNameMakerIdsAndSerialNumber) {
    const SetupApiCase& c = GetParam();
    const SerialDevice device = deviceFromSetupApi(c.port);
    EXPECT_EQ(device.path, c.path);
    EXPECT_EQ(device.description, c.description);
    EXPECT_EQ(device.manufacturer, c.manufacturer);
    EXPECT_EQ(vidPid(device), c.vidPid);
    EXPECT_EQ(device.serialNumber, c.serialNumber);
    EXPECT_EQ(device.byId, "");
}

INSTANTIATE_TEST_SUITE_P(
    Adapters, SetupApiDecoding,
    ::testing::Values(
        SetupApiCase{"ftdi_on_windows_usb_driver",
                     {"COM5",
                      "USB Serial Port (COM5)",
                      "USB Serial Port",
                      "FTDI",
                      {"USB\\VID_0403&PID_6001&REV_0600", "USB\\VID_0403&PID_6001"},
                      "USB\\VID_0403&PID_6001\\A50285BI"},
                     "COM5",
                     "USB Serial Port",
                     "FTDI",
                     "0403:6001",
                     "A50285BI"},
        // FTDI's own driver: its bus, '+' between the ids, the channel letter after the
        // serial number.
        SetupApiCase{"ftdibus_drops_the_channel_letter",
                     {"COM6",
                      "USB Serial Port (COM6)",
                      "USB Serial Port",
                      "FTDI",
                      {"FTDIBUS\\COMPORT&VID_0403&PID_6001"},
                      "FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000"},
                     "COM6",
                     "USB Serial Port",
                     "FTDI",
                     "0403:6001",
                     "A50285BI"},
        // No serial number in the device: Windows makes up the instance's last part.
        SetupApiCase{"prolific_without_serial_number",
                     {"COM3",
                      "Prolific USB-to-Serial Comm Port (COM3)",
                      "Prolific USB-to-Serial Comm Port",
                      "Prolific",
                      {"USB\\VID_067B&PID_2303&REV_0300", "USB\\VID_067B&PID_2303"},
                      "USB\\VID_067B&PID_2303\\5&1A2B3C4D&0&2"},
                     "COM3",
                     "Prolific USB-to-Serial Comm Port",
                     "Prolific",
                     "067b:2303",
                     ""},
        SetupApiCase{"ch340_without_serial_number",
                     {"COM4",
                      "USB-SERIAL CH340 (COM4)",
                      "USB-SERIAL CH340",
                      "wch.cn",
                      {"USB\\VID_1A86&PID_7523&REV_0264", "USB\\VID_1A86&PID_7523"},
                      "USB\\VID_1A86&PID_7523\\5&2F2A5A1A&0&1"},
                     "COM4",
                     "USB-SERIAL CH340",
                     "wch.cn",
                     "1a86:7523",
                     ""},
        SetupApiCase{"cp210x_with_serial_number",
                     {"COM9",
                      "Silicon Labs CP210x USB to UART Bridge (COM9)",
                      "Silicon Labs CP210x USB to UART Bridge",
                      "Silicon Labs",
                      {"USB\\VID_10C4&PID_EA60&REV_0100", "USB\\VID_10C4&PID_EA60"},
                      "USB\\VID_10C4&PID_EA60\\0001"},
                     "COM9",
                     "Silicon Labs CP210x USB to UART Bridge",
                     "Silicon Labs",
                     "10c4:ea60",
                     "0001"},
        // One interface of a composite device: the serial number is its parent's, not
        // in this id.
        SetupApiCase{"cdc_interface_of_a_composite_device",
                     {"COM12",
                      "USB Serial Device (COM12)",
                      "USB Serial Device",
                      "Microsoft",
                      {"USB\\VID_2E8A&PID_000A&REV_0100&MI_00", "USB\\VID_2E8A&PID_000A&MI_00"},
                      "USB\\VID_2E8A&PID_000A&MI_00\\6&2B8D4A5F&0&0000"},
                     "COM12",
                     "USB Serial Device",
                     "Microsoft",
                     "2e8a:000a",
                     ""},
        SetupApiCase{"built_in_com1_has_no_usb_ids",
                     {"COM1",
                      "Communications Port (COM1)",
                      "Communications Port",
                      "(Standard port types)",
                      {"ACPI\\PNP0501", "*PNP0501"},
                      "ACPI\\PNP0501\\1"},
                     "COM1",
                     "Communications Port",
                     "(Standard port types)",
                     "",
                     ""},
        // Bluetooth has vendor ids of its own (VID&0001005D): they are no USB ids.
        SetupApiCase{"bluetooth_link_has_no_usb_ids",
                     {"COM8",
                      "Standard Serial over Bluetooth link (COM8)",
                      "Standard Serial over Bluetooth link",
                      "Microsoft",
                      {"BTHENUM\\{00001101-0000-1000-8000-00805f9b34fb}_VID&0001005d_PID&223b"},
                      "BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_VID&0001005D_PID&223B\\7&"
                      "2A3B4C5D&0&001122334455_C00000000"},
                     "COM8",
                     "Standard Serial over Bluetooth link",
                     "Microsoft",
                     "",
                     ""},
        // A virtual port not named COMn is opened in the device namespace.
        SetupApiCase{"virtual_port_with_its_own_name",
                     {"CNCA0",
                      "com0com - serial port emulator CNCA0 (CNCA0)",
                      "com0com - serial port emulator CNCA0",
                      "Vyacheslav Frolov",
                      {"com0com\\port"},
                      "COM0COM\\PORT\\CNCA0"},
                     "\\\\.\\CNCA0",
                     "com0com - serial port emulator CNCA0",
                     "Vyacheslav Frolov",
                     "",
                     ""},
        // No friendly name: the device's description. Ids in lower case, a port name with a
        // leading zero.
        SetupApiCase{"description_when_no_friendly_name",
                     {"COM07",
                      "",
                      "USB Serial Port",
                      "FTDI",
                      {"usb\\vid_0403&pid_6015&rev_1000"},
                      "usb\\vid_0403&pid_6015\\dk0ahbxy"},
                     "COM7",
                     "USB Serial Port",
                     "FTDI",
                     "0403:6015",
                     "dk0ahbxy"},
        // A friendly name that names another port (the port renamed) is kept whole.
        SetupApiCase{"friendly_name_of_another_port_kept",
                     {"COM10",
                      "USB Serial Port (COM5)",
                      "USB Serial Port",
                      "FTDI",
                      {"USB\\VID_0403&PID_6001&REV_0600"},
                      "USB\\VID_0403&PID_6001\\A50285BI"},
                     "COM10",
                     "USB Serial Port (COM5)",
                     "FTDI",
                     "0403:6001",
                     "A50285BI"},
        // Ids too short to be hex words are no ids.
        SetupApiCase{"truncated_ids_give_none",
                     {"COM2", "Port (COM2)", "", "", {"USB\\VID_04&PID_60"}, "USB\\VID_04"},
                     "COM2",
                     "Port",
                     "",
                     "",
                     ""}),
    testing::RowName{});

SetupApiPort named(const char* portName, const char* friendlyName = "") {
    SetupApiPort port;
    port.portName = portName;
    port.friendlyName = friendlyName;
    return port;
}

TEST(WindowsPortList, EachPortOnceInTheOrderOfItsNumberParallelPortsLeftOut) {
    // The Ports class and the COM port interface both list COM3; the registry's list names
    // it again, and COM1, which no device of the list has (wine's ports are only there).
    const QList<SerialDevice> listed = windowsPortList(
        {named("COM10", "USB Serial Port (COM10)"), named("COM3", "USB-SERIAL CH340 (COM3)"),
         named("LPT1", "ECP Printer Port (LPT1)"), named("CNCA0"), named(""),
         named("com3", "USB-SERIAL CH340 (COM3)"), named("COM2")},
        {"COM3", "COM1", "CNCA0"});
    QStringList paths;
    for (const SerialDevice& device : listed) paths << device.path;
    EXPECT_EQ(paths, QStringList({"COM1", "COM2", "COM3", "COM10", "\\\\.\\CNCA0"}));
    ASSERT_EQ(listed.size(), 5);
    EXPECT_EQ(listed[0].description, "");
    EXPECT_EQ(listed[2].description, "USB-SERIAL CH340");
    EXPECT_EQ(listed[3].description, "USB Serial Port");
}

}  // namespace
}  // namespace palmota
