#include "tests/reader/port_name_cases.h"

namespace palmota::testing {

std::vector<Naming> systemNamings() {
    return {{"1", "COM1", "OneIsCom1"},
            {"6", "COM6", "SixIsCom6"},
            {" 2 ", "COM2", "SpacesAround"},
            {"02", "COM2", "LeadingZero"},
            {"COM7", "COM7", "PortName"},
            {"com12", "COM12", "LowerCase"},
            {"\\\\.\\COM12", "COM12", "DeviceNamespace"},
            {"\\\\.\\com3", "COM3", "DeviceNamespaceLowerCase"},
            {"\\\\.\\CNCA0", "\\\\.\\CNCA0", "OtherDeviceInTheNamespace"},
            {" COM07 ", "COM7", "PortNameWithSpacesAndZero"},
            {"COM0", "", "ComZero"},
            {"COM", "", "ComWithoutNumber"},
            {"COM1X", "", "ComWithTrailingLetter"},
            {"COM257", "", "ComBeyondTheHighestNumber"},
            {"\\\\.\\", "", "EmptyNamespaceName"},
            {"/dev/ttyS0", "", "LinuxPath"}};
}

}  // namespace palmota::testing
