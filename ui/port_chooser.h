#pragma once

#include <QComboBox>
#include <QList>
#include <functional>

#include "reader/port_name.h"
#include "ui/serial_devices.h"

namespace palmota::ui {

// The "Port COM" chooser: the port numbers 1 to 6, then the serial devices present when
// its list was last opened; or any text typed into it, used as it stands.
class PortChooser final : public QComboBox {
    Q_OBJECT

  public:
    static constexpr int kPortCount = kNumberedPortCount;  // COM1 to COM6
    using DeviceSource = std::function<QList<SerialDevice>()>;

    explicit PortChooser(QWidget* parent = nullptr);

    // Where the devices present come from; the system's list by default.
    void setDeviceSource(DeviceSource source);
    // Lists the numbers and the devices present now, keeping the text shown.
    void refresh();
    // The list is made again each time it opens: adapters come and go while the window
    // stays open.
    void showPopup() override;

  private:
    DeviceSource devices_;
};

}  // namespace palmota::ui
