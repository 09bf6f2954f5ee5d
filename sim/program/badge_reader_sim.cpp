// badge-reader-sim: the emulated Reader as a command, for trying the window and the
// command line, and for scripts, without a Reader on the desk.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <string>
#include <vector>

#include "process/platform.h"
#include "reader/byte_text.h"
#include "reader/outcome.h"
#include "sim/program/sim_options.h"
#include "sim/pty_reader.h"

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitCannotStart = 1;

}  // namespace

int main(int argc, char** argv) {
    using namespace palmota;

    // Before anything is opened: the pty, or a lock file, must never become the log.
    platform::ensureStandardStreams();

    const sim::SimParse parse =
        sim::parseSimOptions(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
    if (parse.outcome == sim::SimParse::Outcome::Help) {
        std::cout << sim::simHelpText();
        return platform::standardOutputWritten("badge-reader-sim") ? 0
                                                                   : platform::kExitOutputClosed;
    }
    if (parse.outcome == sim::SimParse::Outcome::Version) {
        std::cout << "badge-reader-sim " << PALMOTA_VERSION << '\n';
        return platform::standardOutputWritten("badge-reader-sim") ? 0
                                                                   : platform::kExitOutputClosed;
    }
    if (parse.outcome == sim::SimParse::Outcome::UsageError) {
        std::cerr << "badge-reader-sim: " << printable(parse.error)
                  << "\nTry 'badge-reader-sim --help'.\n";
        return kExitUsage;
    }
    const sim::SimOptions& options = parse.options;
    if (!options.linkPath.empty()) {
        if (const std::string why = sim::PtyReader::linkRefusal(options.linkPath); !why.empty()) {
            std::cerr << "badge-reader-sim: --link: " << printable(why) << '\n';
            return kExitUsage;
        }
    }

    // The ending signals are taken by sigwait below, never by a handler: blocked here,
    // before the serving thread starts, so that it inherits the mask and the signal
    // always reaches this thread.
    sigset_t endings;
    sigemptyset(&endings);
    sigaddset(&endings, SIGINT);
    sigaddset(&endings, SIGTERM);
    sigaddset(&endings, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &endings, nullptr);

    sim::PtyReader reader(options.badge, options.faults);
    std::mutex logMutex;
    if (options.verbose) {
        const auto start = std::chrono::steady_clock::now();
        reader.setLogger([&logMutex, start](const std::string& line) {
            const double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count();
            std::lock_guard lock(logMutex);
            std::fprintf(stderr, "%9.3f ms  %s\n", ms, line.c_str());
        });
    }
    std::string error;
    if (!options.linkPath.empty() && !reader.setLinkPath(options.linkPath, &error)) {
        std::cerr << "badge-reader-sim: --link: " << printable(error) << '\n';
        return kExitCannotStart;
    }
    if (!reader.start(&error)) {
        std::cerr << "badge-reader-sim: cannot start: " << printable(error) << '\n';
        return kExitCannotStart;
    }

    // The first line is the port to use; scripts read it and go on.
    std::cout << reader.devicePath() << std::endl;
    const sim::VirtualBadge badge = reader.badge();
    std::cerr << "badge-reader-sim: Reader emulated on " << reader.ptyPath()
              << " with a badge of serial number "
              << static_cast<std::int32_t>(badge.serialNumber()) << " and credit " << badge.credit()
              << "; Ctrl+C ends it\n";

    int signal = 0;
    while (sigwait(&endings, &signal) != 0) {
    }
    reader.stop();
    if (options.verbose) std::cerr << "badge-reader-sim: stopped by signal " << signal << '\n';
    return 0;
}
