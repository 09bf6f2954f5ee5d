#include "tests/support/system_names.h"

namespace palmota::testing {

std::string onThisSystem(std::string text) {
    return text;
}

}  // namespace palmota::testing
