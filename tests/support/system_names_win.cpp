#include <array>
#include <string_view>
#include <utility>

#include "tests/support/system_names.h"

namespace palmota::testing {

namespace {
// Phrases first, then names, the most particular before the names they begin with. A name
// in any encoding goes to the device namespace, where a name is taken as given; a
// terminal with control characters in its name becomes a port name with them.
constexpr std::array<std::pair<std::string_view, std::string_view>, 14> kSpellings{{
    {"a device path such as /dev/ttyUSB0", "a port name such as COM7"},
    {"nor a device path", "nor a port name"},
    {"le chemin d'un périphérique, par exemple /dev/ttyUSB0", "un nom de port, par exemple COM7"},
    {"/dev/ttyUSB0", "COM3"},
    {"/dev/ttyUSB1", "COM4"},
    {"/dev/ttyACM0", "COM5"},
    {"/dev/ttyACM1", "COM6"},
    {"/dev/ttyS0", "COM1"},
    {"/dev/ttyS1", "COM2"},
    {"/dev/ttyS5", "COM6"},
    {"/dev/fake", "COM9"},
    {"/dev/tty\xE9", "\\\\.\\tty\xE9"},
    {"/dev/tty", "COM"},
    {"/dev/", "\\\\.\\"},
}};
}  // namespace

std::string onThisSystem(std::string text) {
    for (const auto& [from, to] : kSpellings) {
        for (auto at = text.find(from); at != std::string::npos;
             at = text.find(from, at + to.size()))
            text.replace(at, from.size(), to);
    }
    return text;
}

}  // namespace palmota::testing
