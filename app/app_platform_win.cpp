#include <io.h>
#include <windows.h>

#include <QString>
#include <QWidget>
#include <QWinEventNotifier>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <thread>

#include "app/app_platform.h"
#include "app/command_line.h"
#include "process/platform_win.h"
#include "reader/clock.h"
#include "sim/emulated_line.h"

namespace palmota::app {

namespace {
// A name no Windows machine gives a port of its own, in the device namespace the chooser
// accepts.
constexpr const char* kEmulatedPort = "\\\\.\\PALMOTA-EMULATED";

// The window's caption, for a message told before there is a window.
constexpr const wchar_t* kCaption = L"Tarvinelo PALMOTA";

// Whether standard error leads somewhere a person reads: the console the program was started
// from (attached by ensureStandardStreams), or a file or pipe it was redirected to. A window
// program started from the desktop has none, and ensureStandardStreams put the NUL device
// there: a character device that is no console.
bool standardErrorIsRead() {
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stderr)));
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
    DWORD mode = 0;
    if (::GetConsoleMode(handle, &mode)) return true;
    const DWORD type = ::GetFileType(handle);
    return type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE;
}

class InProcessSimulation final : public Simulation {
  public:
    InProcessSimulation(const sim::VirtualBadge& badge, SerialLine& systemLine)
        : line_(kEmulatedPort, badge, systemLine, clock_,
                [](Seconds wait) { std::this_thread::sleep_for(wait); }) {}
    std::string portText() const override { return line_.device(); }
    SerialLine& line() override { return line_; }

  private:
    SteadyClock clock_;
    sim::EmulatedLine line_;
};
}  // namespace

bool displayAvailable() {
    return true;
}

std::unique_ptr<Simulation> startSimulation(const sim::VirtualBadge& badge, SerialLine& systemLine,
                                            std::string*) {
    return std::make_unique<InProcessSimulation>(badge, systemLine);
}

void showStartupError(const std::string& message) {
    if (standardErrorIsRead()) {
        std::cerr << message << std::flush;
        return;
    }
    // A message box has no use for the final line end.
    std::string text = message;
    while (!text.empty() && text.back() == '\n') text.pop_back();
    const std::wstring wide = QString::fromStdString(text).toStdWString();
    ::MessageBoxW(nullptr, wide.c_str(), kCaption, MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

void closeOnTermination(QWidget& window) {
    auto* termination = new QWinEventNotifier(platform::terminationEvent(), &window);
    QObject::connect(termination, &QWinEventNotifier::activated, &window,
                     [&window] { window.close(); });
}

}  // namespace palmota::app
