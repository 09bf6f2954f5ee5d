#include "ui/port_chooser.h"

#include <QAbstractItemView>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>

namespace palmota::ui {

PortChooser::PortChooser(QWidget* parent) : QComboBox(parent), devices_(&serialDevicesPresent) {
    setEditable(true);
    // A typed port is used as it stands; it is not added to the list.
    setInsertPolicy(QComboBox::NoInsert);
    refresh();
    setCurrentIndex(0);
}

void PortChooser::setDeviceSource(DeviceSource source) {
    devices_ = std::move(source);
}

void PortChooser::refresh() {
    const QString shown = currentText();
    // The list changes under the text; nothing outside need hear of it.
    const QSignalBlocker quiet(this);
    clear();
    for (int port = 1; port <= kPortCount; ++port) addItem(QString::number(port));
    if (devices_) {
        for (const SerialDevice& device : devices_()) {
            addItem(device.path);
            setItemData(count() - 1, device.details, Qt::ToolTipRole);
        }
    }
    const int listed = findText(shown, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    setCurrentIndex(listed);
    if (listed < 0) setEditText(shown);
}

void PortChooser::showPopup() {
    refresh();
    // Wide enough for the longest name (a /dev/serial/by-id name runs to some 60
    // characters), beside a scroll bar, even where the chooser itself is narrow.
    int widest = 0;
    const QFontMetrics metrics = view()->fontMetrics();
    for (int i = 0; i < count(); ++i)
        widest = std::max(widest, metrics.horizontalAdvance(itemText(i)));
    const int margins = 2 * view()->frameWidth() +
                        style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view()) +
                        metrics.averageCharWidth() * 2;
    view()->setMinimumWidth(widest + margins);
    QComboBox::showPopup();
}

}  // namespace palmota::ui
