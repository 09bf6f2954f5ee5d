#pragma once

#include <ostream>

#include "reader/reader_link.h"
#include "tools/cli_options.h"

namespace palmota::tools {

// Runs one palmota-cli command through the Reader link and prints its result on `out`,
// a line at a time as each result comes (a dump with no Reader takes seconds per block).
// Returns the exit status: kExitSuccess or kExitLinkFailure. The port is left as the
// operations leave it; the caller releases it at exit.
int runCliCommand(Palmota& reader, const CliOptions& options, std::ostream& out);

}  // namespace palmota::tools
