#pragma once

#include <QComboBox>
#include <QList>
#include <functional>
#include <string>

#include "reader/serial_devices.h"

namespace palmota::ui {

// The "Port COM" chooser: the port numbers 1 to 6, then the other serial devices present
// when its list was last opened; or any text typed into it, used exactly as typed (nothing
// is completed from the list). Its tooltip gives in full the device the last badge
// operation used, which stays in use until the port is next opened, and the device the
// text names when that is another.
class PortChooser final : public QComboBox {
    Q_OBJECT

  public:
    static constexpr int kPortCount = 6;  // COM1 to COM6
    using DeviceSource = std::function<QList<SerialDevice>()>;

    explicit PortChooser(QWidget* parent = nullptr);

    // Where the devices present come from; the system's list by default.
    void setDeviceSource(DeviceSource source);
    // Lists the numbers and the devices present now, keeping the text shown.
    void refresh();
    // The list is made again each time it opens: adapters come and go while the window
    // stays open.
    void showPopup() override;

    // The device the last badge operation used, as the Reader link named it; empty when
    // it opened none.
    void setDeviceInUse(const std::string& device);

  private:
    void explainChoice();

    DeviceSource devices_;
    std::string inUse_;
};

// For the operator who points at a device in the list, one line each: product,
// manufacturer, "USB 0403:6001", and the system's name when the list shows the by-id link;
// what is not known is left out.
QString deviceDetails(const SerialDevice& device);

}  // namespace palmota::ui
