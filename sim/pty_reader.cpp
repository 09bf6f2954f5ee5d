#include "sim/pty_reader.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "reader/byte_text.h"
#include "sim/reader_engine.h"

namespace palmota::sim {

namespace {

using Clock = std::chrono::steady_clock;

// The pty accepts and gives bytes in chunks of this size; the flood is written from one
// shared chunk, so it costs this much memory whatever its length.
constexpr std::size_t kChunkSize = 4096;
// How much the serving thread writes before it lets go of the lock and looks again at
// the host's bytes and at stop(): a client reading as fast as the flood comes must not
// keep the setters waiting.
constexpr std::size_t kWriteBudgetPerPass = 16 * kChunkSize;
// Tries to get a pty whose number differs from the one just closed: the kernel hands out
// the lowest free number, often the one a replug has just given back.
constexpr int kPtyTries = 8;
// How much of the most recent traffic the logs keep, each way.
constexpr std::size_t kLogKept = std::size_t{64} * 1024;

// "<- 00 02" for bytes the emulator took, "-> 00" for bytes it sent.
std::string hexLine(const char* arrow, std::string_view bytes) {
    return std::string(arrow) + ' ' + hexPairs(bytes);
}

std::string errnoText(const std::string& what) {
    return what + ": " + std::generic_category().message(errno);
}

void setError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

struct Pty {
    int master = -1;
    int slave = -1;
    std::string path;
};

// A pty whose host side is raw at 9600 baud and whose Reader side never blocks.
std::optional<Pty> openRawPty(std::string* error) {
    Pty pty;
    if (::openpty(&pty.master, &pty.slave, nullptr, nullptr, nullptr) != 0) {
        setError(error, errnoText("openpty"));
        return std::nullopt;
    }
    char name[128] = {};
    termios tio{};
    auto fail = [&](const char* what) {
        setError(error, errnoText(what));
        closeFd(pty.master);
        closeFd(pty.slave);
        return std::nullopt;
    };
    if (::ttyname_r(pty.slave, name, sizeof name) != 0) return fail("ttyname_r");
    // Raw: no echo, no line editing, no translation of CR or NL, every byte as it comes.
    if (::tcgetattr(pty.slave, &tio) != 0) return fail("tcgetattr");
    ::cfmakeraw(&tio);
    if (::cfsetspeed(&tio, B9600) != 0 || ::tcsetattr(pty.slave, TCSANOW, &tio) != 0) {
        return fail("tcsetattr");
    }
    const int flags = ::fcntl(pty.master, F_GETFL);
    if (flags < 0 || ::fcntl(pty.master, F_SETFL, flags | O_NONBLOCK) != 0 ||
        ::fcntl(pty.master, F_SETFD, FD_CLOEXEC) != 0 ||
        ::fcntl(pty.slave, F_SETFD, FD_CLOEXEC) != 0) {
        return fail("fcntl");
    }
    pty.path = name;
    return pty;
}

// The link's target: the emulator's own descriptor of the pty's host side, by way of
// /proc. It leads to the pty while the emulator lives and to nothing once it ends, however
// it ends: a link left by a killed emulator can never lead into a terminal the system
// later gives the same number to another program.
std::string descriptorPath(pid_t pid, int fd) {
    return "/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd);
}

std::optional<std::string> linkText(const std::string& path) {
    std::vector<char> target(4096);
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n < 0 || static_cast<std::size_t>(n) == target.size()) return std::nullopt;
    return std::string(target.data(), static_cast<std::size_t>(n));
}

// The process whose descriptor `target` names, when it has the form descriptorPath gives.
std::optional<long> descriptorOwner(const std::string& target) {
    constexpr std::string_view kProc = "/proc/";
    constexpr std::string_view kFd = "/fd/";
    const auto digits = [](std::string_view text) {
        return !text.empty() && text.size() <= 9 &&
               text.find_first_not_of("0123456789") == std::string_view::npos;
    };
    std::string_view text(target);
    if (text.rfind(kProc, 0) != 0) return std::nullopt;
    text.remove_prefix(kProc.size());
    const auto fd = text.find(kFd);
    if (fd == std::string_view::npos || !digits(text.substr(0, fd)) ||
        !digits(text.substr(fd + kFd.size())))
        return std::nullopt;
    return std::stol(std::string(text.substr(0, fd)));
}

// Whether what is at `path` is a link this emulator may replace, and why not otherwise.
// A live emulator's link (its descriptor still resolves) is never replaced; a dead one's
// is. Any other link is left alone, even one that leads to a pty.
std::string replaceRefusal(const std::string& path, const std::string& ownTarget) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return {};
    if (!S_ISLNK(info.st_mode)) return path + " exists and is not a symbolic link";
    const auto target = linkText(path);
    if (!target) return path + " is a symbolic link that cannot be read";
    if (*target == ownTarget) return {};
    if (const auto owner = descriptorOwner(*target)) {
        // A descriptor of another user's process cannot be looked at: count it as live.
        const bool live =
            ::stat(target->c_str(), &info) == 0 ? S_ISCHR(info.st_mode) : errno != ENOENT;
        if (live)
            return path + " is served by a running emulator (process " + std::to_string(*owner) +
                   ")";
        return {};
    }
    // Anything else is someone's own link, even one to a pty: an emulator's link always
    // leads through /proc.
    return path + " is a symbolic link the emulator did not make";
}

}  // namespace

std::string PtyReader::linkRefusal(const std::string& path) {
    return replaceRefusal(path, {});
}

struct PtyReader::Impl {
    // Something queued for the line: literal bytes, or a flood of `floodLeft` filler bytes.
    struct Outgoing {
        Clock::time_point due;
        std::string bytes;
        std::size_t written = 0;
        bool flood = false;
        std::size_t floodLeft = 0;
    };

    explicit Impl(const VirtualBadge& badge) : engine(badge) {}

    mutable std::mutex mu;
    ReaderEngine engine;
    long receivedSinceFaults = 0;
    std::string receivedLog;
    std::string sentLog;
    std::function<void(const std::string&)> logger;
    std::vector<std::string> lines;  // for the logger, handed over outside the lock

    int master = -1;
    int keptSlave = -1;
    std::uint64_t generation = 0;  // changes whenever `master` does
    std::string ptyPath;
    std::string linkPath;
    bool linkMade = false;   // only a link of ours is ever removed
    std::string linkTarget;  // what the link made points to
    std::deque<Outgoing> queue;

    std::thread thread;
    bool running = false;
    bool stopping = false;
    int wakeFd = -1;

    void wake() const {
        if (wakeFd < 0) return;
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = ::write(wakeFd, &one, sizeof one);
    }

    // The link is made under a temporary name and moved into place in one step; what it
    // replaces is judged after the step, where it was moved to, and put back when it was
    // not a leftover. No file appearing between a check and a replacement is ever lost.
    bool pointLinkLocked(std::string* error) {
        if (linkPath.empty() || ptyPath.empty()) return true;
        const std::string target = descriptorPath(::getpid(), keptSlave);
        const std::string temp =
            linkPath + ".new-" + std::to_string(::getpid()) + '-' + std::to_string(generation);
        ::unlink(temp.c_str());
        if (::symlink(target.c_str(), temp.c_str()) != 0) {
            setError(error, errnoText("cannot make the link " + linkPath));
            return false;
        }
        auto fail = [&](const std::string& why) {
            ::unlink(temp.c_str());
            setError(error, why);
            return false;
        };
        if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, linkPath.c_str(), RENAME_NOREPLACE) !=
            0) {
            if (errno != EEXIST) return fail(errnoText("cannot make the link " + linkPath));
            if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, linkPath.c_str(), RENAME_EXCHANGE) !=
                0)
                return fail(errnoText("cannot make the link " + linkPath));
            // `temp` now holds what was at the link's path.
            if (std::string why = replaceRefusal(temp, linkMade ? linkTarget : std::string{});
                !why.empty()) {
                ::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, linkPath.c_str(), RENAME_EXCHANGE);
                const std::string shown = linkPath + why.substr(temp.size());
                return fail(shown);
            }
            ::unlink(temp.c_str());
        }
        linkTarget = target;
        linkMade = true;
        return true;
    }

    // Only the link this emulator made, still pointing where it made it point, is removed.
    void removeLinkLocked() {
        if (linkMade && linkText(linkPath) == linkTarget) ::unlink(linkPath.c_str());
        linkMade = false;
    }

    // Every byte received and sent is logged for tests and tools; only the most recent
    // part is kept, so that an emulator serving for days stays at the same size.
    static void appendToLog(std::string& log, std::string_view bytes) {
        log.append(bytes);
        if (log.size() > 2 * kLogKept) log.erase(0, log.size() - kLogKept);
    }

    bool plugLocked(std::string* error) {
        std::vector<Pty> spare;
        std::optional<Pty> pty;
        // Held open while trying again, so that the kernel cannot give the same number back.
        for (int i = 1;; ++i) {
            pty = openRawPty(error);
            if (!pty || pty->path != ptyPath || i == kPtyTries) break;
            spare.push_back(*pty);
        }
        for (auto& p : spare) {
            closeFd(p.master);
            closeFd(p.slave);
        }
        if (!pty) return false;
        master = pty->master;
        keptSlave = pty->slave;
        ptyPath = pty->path;
        ++generation;
        engine.reset();
        receivedSinceFaults = 0;
        return pointLinkLocked(error);
    }

    // The device node goes away with the device, as a USB adapter's would.
    void unplugLocked() {
        closeFd(master);
        closeFd(keptSlave);
        ++generation;
        queue.clear();
        engine.reset();
        removeLinkLocked();
    }

    // unplugAfterBytes is one-shot: once it fired, a replug stays plugged.
    bool unplugDueLocked() {
        auto faults = engine.faults();
        if (master < 0 || faults.unplugAfterBytes < 0 ||
            receivedSinceFaults < faults.unplugAfterBytes) {
            return false;
        }
        faults.unplugAfterBytes = -1;
        engine.setFaults(faults);
        unplugLocked();
        return true;
    }

    void enqueue(Outgoing out) {
        // The line is first in, first out: nothing overtakes what was queued before it.
        if (!queue.empty()) out.due = std::max(out.due, queue.back().due);
        queue.push_back(std::move(out));
    }

    void readIncomingLocked() {
        char buffer[kChunkSize];
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0) return;
        const auto arrived = Clock::now();
        for (ssize_t i = 0; i < n; ++i) {
            const auto byte = static_cast<std::uint8_t>(buffer[i]);
            appendToLog(receivedLog, std::string_view(&buffer[i], 1));
            lines.push_back(hexLine("<-", std::string_view(&buffer[i], 1)));
            ++receivedSinceFaults;
            for (auto& piece : engine.receive(byte)) {
                enqueue({arrived + piece.at, std::move(piece.bytes)});
            }
            if (const std::size_t flood = engine.takeFlood(); flood > 0) {
                enqueue({arrived, {}, 0, true, flood});
            }
            // The rest of what was read is lost with the Reader.
            if (unplugDueLocked()) return;
        }
    }

    void writeDueLocked() {
        static const std::string floodChunk(kChunkSize,
                                            static_cast<char>(ReaderEngine::kFloodByte));
        std::size_t budget = kWriteBudgetPerPass;
        const auto now = Clock::now();
        while (master >= 0 && !queue.empty() && queue.front().due <= now && budget > 0) {
            Outgoing& out = queue.front();
            std::string_view rest;
            if (out.flood) {
                if (out.written == 0) {
                    lines.push_back(hexLine("->", floodChunk.substr(0, 1)) + " (flood of " +
                                    std::to_string(out.floodLeft) + " bytes)");
                }
                rest = std::string_view(floodChunk).substr(0, std::min(out.floodLeft, kChunkSize));
            } else {
                rest = std::string_view(out.bytes).substr(out.written);
            }
            const ssize_t n = ::write(master, rest.data(), std::min(rest.size(), budget));
            if (n < 0) {
                if (errno == EINTR) continue;
                return;  // full (EAGAIN): poll() says when there is room again
            }
            const auto count = static_cast<std::size_t>(n);
            budget -= count;
            out.written += count;
            if (out.flood) {
                // Flood bytes are counted, not logged: memory stays bounded.
                out.floodLeft -= count;
                if (out.floodLeft == 0) queue.pop_front();
                continue;
            }
            appendToLog(sentLog, rest.substr(0, count));
            if (out.written == out.bytes.size()) {
                lines.push_back(hexLine("->", out.bytes));
                queue.pop_front();
            }
        }
    }

    void deliverLines() {
        std::vector<std::string> taken;
        std::function<void(const std::string&)> sink;
        {
            std::lock_guard lock(mu);
            taken.swap(lines);
            sink = logger;
        }
        if (sink) {
            for (const auto& line : taken) sink(line);
        }
    }

    void serve() {
        for (;;) {
            int fd = -1;
            std::uint64_t polledGeneration = 0;
            bool wantOut = false;
            std::optional<Clock::time_point> wakeAt;
            {
                std::lock_guard lock(mu);
                if (stopping) return;
                unplugDueLocked();
                fd = master;
                polledGeneration = generation;
                if (fd >= 0 && !queue.empty()) {
                    if (queue.front().due <= Clock::now()) {
                        wantOut = true;
                    } else {
                        wakeAt = queue.front().due;
                    }
                }
            }
            deliverLines();

            pollfd fds[2] = {{wakeFd, POLLIN, 0},
                             {fd, static_cast<short>(POLLIN | (wantOut ? POLLOUT : 0)), 0}};
            timespec timeout{};
            timespec* timeoutPtr = nullptr;
            if (wakeAt) {
                const auto left = std::max(*wakeAt - Clock::now(), Clock::duration::zero());
                const auto secs = std::chrono::duration_cast<std::chrono::seconds>(left);
                timeout.tv_sec = static_cast<time_t>(secs.count());
                timeout.tv_nsec = static_cast<long>(
                    std::chrono::duration_cast<std::chrono::nanoseconds>(left - secs).count());
                timeoutPtr = &timeout;
            }
            const int ready = ::ppoll(fds, fd >= 0 ? 2 : 1, timeoutPtr, nullptr);
            if (ready < 0 && errno != EINTR) continue;
            if (fds[0].revents & POLLIN) {
                std::uint64_t count = 0;
                [[maybe_unused]] auto n = ::read(wakeFd, &count, sizeof count);
            }

            std::lock_guard lock(mu);
            if (stopping) return;
            // A master replaced while poll() waited: its events belong to the old one.
            if (master < 0 || generation != polledGeneration) continue;
            if (fds[1].revents & POLLIN) readIncomingLocked();
            writeDueLocked();
        }
    }
};

PtyReader::PtyReader(const VirtualBadge& badge, const ReaderFaults& faults)
    : impl_(std::make_unique<Impl>(badge)) {
    impl_->engine.setFaults(faults);
}

PtyReader::~PtyReader() {
    stop();
    if (impl_->thread.joinable()) impl_->thread.join();
    std::lock_guard lock(impl_->mu);
    impl_->removeLinkLocked();
    closeFd(impl_->wakeFd);
}

bool PtyReader::start(std::string* error) {
    std::unique_lock lock(impl_->mu);
    if (impl_->running) return true;
    if (impl_->thread.joinable()) {
        // Told to stop from its own logger: it ends without needing anything but the lock.
        lock.unlock();
        impl_->thread.join();
        lock.lock();
        if (impl_->running) return true;
    }
    if (impl_->wakeFd < 0) {
        impl_->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (impl_->wakeFd < 0) {
            setError(error, errnoText("eventfd"));
            return false;
        }
    }
    if (!impl_->plugLocked(error)) {
        impl_->unplugLocked();
        return false;
    }
    impl_->stopping = false;
    impl_->running = true;
    impl_->thread = std::thread([impl = impl_.get()] { impl->serve(); });
    return true;
}

void PtyReader::stop() {
    {
        std::lock_guard lock(impl_->mu);
        if (!impl_->running) return;
        impl_->stopping = true;
        impl_->running = false;
        impl_->wake();
        if (std::this_thread::get_id() == impl_->thread.get_id()) {
            // Asked from the logger: the thread ends on its own and is joined later.
            impl_->unplugLocked();
            return;
        }
    }
    impl_->thread.join();
    std::lock_guard lock(impl_->mu);
    impl_->unplugLocked();
}

std::string PtyReader::devicePath() const {
    std::lock_guard lock(impl_->mu);
    return impl_->linkPath.empty() ? impl_->ptyPath : impl_->linkPath;
}

std::string PtyReader::ptyPath() const {
    std::lock_guard lock(impl_->mu);
    return impl_->ptyPath;
}

bool PtyReader::setLinkPath(const std::string& path, std::string* error) {
    std::lock_guard lock(impl_->mu);
    if (path != impl_->linkPath) impl_->removeLinkLocked();
    impl_->linkPath = path;
    if (impl_->master < 0) return true;
    return impl_->pointLinkLocked(error);
}

void PtyReader::setFaults(const ReaderFaults& faults) {
    std::lock_guard lock(impl_->mu);
    impl_->engine.setFaults(faults);
    impl_->receivedSinceFaults = 0;
    impl_->wake();
}

ReaderFaults PtyReader::faults() const {
    std::lock_guard lock(impl_->mu);
    return impl_->engine.faults();
}

VirtualBadge PtyReader::badge() const {
    std::lock_guard lock(impl_->mu);
    return impl_->engine.badge();
}

void PtyReader::setBadge(const VirtualBadge& badge) {
    std::lock_guard lock(impl_->mu);
    impl_->engine.setBadge(badge);
}

std::string PtyReader::received() const {
    std::lock_guard lock(impl_->mu);
    return impl_->receivedLog;
}

std::string PtyReader::sent() const {
    std::lock_guard lock(impl_->mu);
    return impl_->sentLog;
}

void PtyReader::clearLog() {
    std::lock_guard lock(impl_->mu);
    impl_->receivedLog.clear();
    impl_->sentLog.clear();
}

void PtyReader::injectNoise(const std::string& bytes) {
    std::lock_guard lock(impl_->mu);
    if (impl_->master < 0 || bytes.empty()) return;
    // Ahead of every queued reply, but never inside one that has begun to leave.
    auto& queue = impl_->queue;
    auto at = queue.begin();
    if (at != queue.end() && !at->flood && at->written > 0) ++at;
    queue.insert(at, Impl::Outgoing{Clock::now(), bytes});
    impl_->wake();
}

void PtyReader::unplug() {
    std::lock_guard lock(impl_->mu);
    impl_->unplugLocked();
    impl_->wake();
}

bool PtyReader::replug(std::string* error) {
    std::lock_guard lock(impl_->mu);
    if (!impl_->running) {
        setError(error, "the emulated Reader is not started");
        return false;
    }
    if (impl_->master >= 0) impl_->unplugLocked();
    const bool ok = impl_->plugLocked(error);
    impl_->wake();
    return ok;
}

bool PtyReader::plugged() const {
    std::lock_guard lock(impl_->mu);
    return impl_->master >= 0;
}

void PtyReader::setLogger(std::function<void(const std::string&)> logger) {
    std::lock_guard lock(impl_->mu);
    impl_->logger = std::move(logger);
}

}  // namespace palmota::sim
