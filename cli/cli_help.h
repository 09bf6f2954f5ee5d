#pragma once

#include <string>

namespace palmota::cli {

// What `palmota-cli --help` prints.
std::string cliHelpText();

}  // namespace palmota::cli
