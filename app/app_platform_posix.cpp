#include <QSocketNotifier>
#include <QWidget>
#include <iostream>

#include "app/app_platform.h"
#include "app/command_line.h"
#include "process/platform.h"
#include "sim/pty_reader.h"

namespace palmota::app {

namespace {
class PtySimulation final : public Simulation {
  public:
    PtySimulation(const sim::VirtualBadge& badge, SerialLine& line) : reader_(badge), line_(line) {}
    bool start(std::string* error) { return reader_.start(error); }
    std::string portText() const override { return reader_.devicePath(); }
    SerialLine& line() override { return line_; }

  private:
    sim::PtyReader reader_;
    SerialLine& line_;
};
}  // namespace

bool displayAvailable() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

std::unique_ptr<Simulation> startSimulation(const sim::VirtualBadge& badge, SerialLine& systemLine,
                                            std::string* error) {
    auto simulation = std::make_unique<PtySimulation>(badge, systemLine);
    if (!simulation->start(error)) return nullptr;
    return simulation;
}

void showStartupError(const std::string& message) {
    std::cerr << message << std::flush;
}

void closeOnTermination(QWidget& window) {
    auto* termination =
        new QSocketNotifier(platform::terminationFd(), QSocketNotifier::Read, &window);
    QObject::connect(termination, &QSocketNotifier::activated, &window,
                     [&window] { window.close(); });
}

}  // namespace palmota::app
