#include "tests/reader/port_name_cases.h"

namespace palmota::testing {

std::vector<Naming> systemNamings() {
    return {{"1", "/dev/ttyS0", "OneIsTtyS0"},
            {"6", "/dev/ttyS5", "SixIsTtyS5"},
            {"7", "/dev/ttyS6", "SevenIsTtyS6"},
            {" 2 ", "/dev/ttyS1", "SpacesAround"},
            {"02", "/dev/ttyS1", "LeadingZero"},
            {"/dev/ttyUSB0", "/dev/ttyUSB0", "DevicePath"},
            {"  /dev/ttyACM1\t", "/dev/ttyACM1", "DevicePathWithSpaces"},
            {"ttyUSB0", "", "RelativeName"},
            {"COM7", "", "WindowsName"}};
}

}  // namespace palmota::testing
