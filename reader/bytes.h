#pragma once

#include <string>

namespace palmota {

// Bytes on the line, one char per byte, NUL bytes included. A reply is the exact
// sequence received; positions in comments are 1-based, as the protocol numbers them.
using Bytes = std::string;

}  // namespace palmota
