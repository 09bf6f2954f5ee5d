#include <array>
#include <string_view>
#include <utility>

#include "tests/support/system_names.h"

namespace palmota::testing {

namespace {
// Longest first, where one name begins another.
// Other devices go to the device namespace, where a name is taken as given.
constexpr std::array<std::pair<std::string_view, std::string_view>, 11> kSpellings{{
    {"a device path such as /dev/ttyUSB0", "a port name such as COM7"},
    {"le chemin d'un périphérique, par exemple /dev/ttyUSB0", "un nom de port, par exemple COM7"},
    {"/dev/ttyUSB0", "COM3"},
    {"/dev/ttyUSB1", "COM4"},
    {"/dev/ttyACM0", "COM5"},
    {"/dev/ttyACM1", "COM6"},
    {"/dev/ttyS0", "COM1"},
    {"/dev/ttyS1", "COM2"},
    {"/dev/ttyS5", "COM6"},
    {"/dev/fake", "COM9"},
    {"/dev/", "\\\\.\\"},
}};
}  // namespace

std::string onThisSystem(std::string text) {
    for (const auto& [linux, windows] : kSpellings) {
        for (auto at = text.find(linux); at != std::string::npos;
             at = text.find(linux, at + windows.size()))
            text.replace(at, linux.size(), windows);
    }
    return text;
}

}  // namespace palmota::testing
