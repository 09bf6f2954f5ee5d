// What every platform shares: the standard streams as the C++ library gives them.
#include <iostream>

#include "process/platform.h"

namespace palmota::platform {

bool standardOutputWritten(const char* program) {
    if (std::cout.flush()) return true;
    std::cerr << program << ": cannot write to standard output\n";
    return false;
}

}  // namespace palmota::platform
