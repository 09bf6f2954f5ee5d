// badge-reader-sim: the emulated Reader as a command, for trying the window and the
// command line, and for scripts, without a Reader on the desk.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <string>
#include <vector>

#include "sim/pty_reader.h"
#include "tools/sim_options.h"

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitCannotStart = 1;
constexpr std::string_view kPtyDirectory = "/dev/pts/";

// --link may only replace a link that an earlier run left behind (one killed before it
// could remove it): never a file, a directory, or a link of someone else's.
std::string linkRefusal(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return {};
    if (!S_ISLNK(info.st_mode)) return path + " exists and is not a symbolic link";
    std::vector<char> target(4096);
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n < 0 ||
        std::string_view(target.data(), static_cast<std::size_t>(n)).rfind(kPtyDirectory, 0) != 0)
        return path + " is a symbolic link to something other than a pseudo-terminal";
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    using namespace palmota;

    const tools::SimParse parse =
        tools::parseSimOptions(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
    if (parse.outcome == tools::SimParse::Outcome::Help) {
        std::cout << tools::simHelpText();
        return 0;
    }
    if (parse.outcome == tools::SimParse::Outcome::UsageError) {
        std::cerr << "badge-reader-sim: " << parse.error << "\nTry 'badge-reader-sim --help'.\n";
        return kExitUsage;
    }
    const tools::SimOptions& options = parse.options;
    if (!options.linkPath.empty()) {
        if (const std::string why = linkRefusal(options.linkPath); !why.empty()) {
            std::cerr << "badge-reader-sim: --link: " << why << '\n';
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
        std::cerr << "badge-reader-sim: --link: " << error << '\n';
        return kExitCannotStart;
    }
    if (!reader.start(&error)) {
        std::cerr << "badge-reader-sim: cannot start: " << error << '\n';
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
