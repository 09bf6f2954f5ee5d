#pragma once

#include <functional>
#include <memory>
#include <string>

#include "sim/reader_faults.h"
#include "sim/virtual_badge.h"

namespace palmota::sim {

// The emulated Reader on the far side of a pseudo-terminal. start() opens a pty whose
// host side (the path devicePath() gives) is in raw mode and stays open in the emulator,
// and serves the protocol of ReaderEngine on a thread of its own until stop().
//
// Replies leave at the times ReaderEngine gives, in order: a reply never overtakes one
// queued before it. A flood is poured out after its ready reply as fast as the pty takes
// it, 4 KiB at a time; a host that stops reading only holds it back, and stop() or
// unplug() end it at once.
class PtyReader {
  public:
    explicit PtyReader(const VirtualBadge& badge = VirtualBadge::sample(),
                       const ReaderFaults& faults = {});
    ~PtyReader();  // stops, removes the link

    PtyReader(const PtyReader&) = delete;
    PtyReader& operator=(const PtyReader&) = delete;

    bool start(std::string* error = nullptr);
    // Ends the serving thread and closes the pty as unplug() does; start() opens a new one.
    void stop();

    // The path the host opens: the link if one was set, else the pty's /dev/pts/N.
    std::string devicePath() const;
    std::string ptyPath() const;
    // Makes a symbolic link at `path` to the pty (kept up to date across replug()). It
    // points at the emulator's own descriptor of the pty under /proc, so that it leads
    // nowhere once the emulator has ended, even killed; through it, the pty opens for
    // the emulator's user and for root. An existing link is replaced only when it is a
    // leftover of an emulator that ended (see linkRefusal), never a file or a live link.
    bool setLinkPath(const std::string& path, std::string* error = nullptr);
    // Why a link may not be made at `path`, or empty when it may: nothing there, or the
    // leftover link of an emulator that ended. The final judgement is made again when
    // the link is put in place.
    static std::string linkRefusal(const std::string& path);

    void setFaults(const ReaderFaults& faults);
    ReaderFaults faults() const;
    VirtualBadge badge() const;
    void setBadge(const VirtualBadge& badge);

    // The bytes the Reader has received / sent, in order: all of them in a short session,
    // the most recent 64 KiB or more each way in a long one. Noise counts as sent; flood
    // bytes do not.
    std::string received() const;
    std::string sent() const;
    void clearLog();

    // Writes bytes on the line now, outside any exchange (noise before the host opens).
    void injectNoise(const std::string& bytes);

    // The Reader pulled out: its side of the pty closes, the host's line hangs up (poll
    // gives POLLHUP, reads fail), pending replies are dropped and the link is removed,
    // as a pulled-out adapter's device node vanishes. unplugAfterBytes does the same once,
    // then clears itself.
    void unplug();
    // Plugged back in: a new pty (new /dev/pts/N), the link made again to point to it.
    bool replug(std::string* error = nullptr);
    bool plugged() const;

    // Called from the serving thread with a line for each byte received and each piece
    // sent ("<- 00", "-> 00 02 05 DC"), when set; a flood is one line ("-> 55 (flood of
    // 1000 bytes)"). The lock is not held during the call: the logger may call back.
    void setLogger(std::function<void(const std::string&)> logger);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace palmota::sim
