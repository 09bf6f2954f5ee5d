#include <QWidget>
#include <QWinEventNotifier>
#include <chrono>
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

void closeOnTermination(QWidget& window) {
    auto* termination = new QWinEventNotifier(platform::terminationEvent(), &window);
    QObject::connect(termination, &QWinEventNotifier::activated, &window,
                     [&window] { window.close(); });
}

}  // namespace palmota::app
