#pragma once

#include <QLocale>
#include <functional>
#include <string>

namespace palmota::cli {

// Whether the person at the command line reads French: the first of LC_ALL, LC_MESSAGES and
// LANG that is set and not empty (the order in which POSIX lets them override each other)
// names a French locale ("fr", "fr_FR.UTF-8", "fr_CA"); when none is set, the system's own
// language decides (on Windows: the user's display language). `variable` gives the value
// of an environment variable, empty when it is not set.
bool frenchWanted(const std::function<std::string(const char*)>& variable, const QLocale& system);

// Installs the program's French texts (its report, list and closure) when they are wanted.
// Needs the application object; false when French is wanted and cannot be loaded.
bool installCliTranslations();

}  // namespace palmota::cli
