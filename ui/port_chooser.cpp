#include "ui/port_chooser.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStringList>
#include <QStyle>

#include "reader/byte_text.h"
#include "reader/outcome.h"
#include "reader/port_name.h"
#include "ui/accessible_port_chooser.h"

namespace palmota::ui {

namespace {

// The device a chooser text names, as the Reader link will open it; empty for none.
std::string namedDevice(const QString& text) {
    return resolvePortName(text.toLocal8Bit().toStdString()).device;
}

QString shown(const std::string& device) {
    return QString::fromLocal8Bit(printable(device));
}

}  // namespace

QString deviceDetails(const SerialDevice& device) {
    QStringList lines;
    if (!device.description.isEmpty()) lines << device.description;
    if (!device.manufacturer.isEmpty()) lines << device.manufacturer;
    const QString ids = vidPid(device);
    if (!ids.isEmpty()) lines << QStringLiteral("USB ") + ids;
    if (!device.byId.isEmpty()) lines << device.path;
    return lines.join(u'\n');
}

PortChooser::PortChooser(QWidget* parent) : QComboBox(parent), devices_(&serialDevicesPresent) {
    QAccessible::installFactory(&AccessiblePortChooser::create);
    setEditable(true);
    // What is typed is what is used: completing "/dev/tty" to a listed "/dev/ttyS0", or
    // "/dev/ttyUSB1" to "/dev/ttyUSB10", would open a port the operator never named.
    setCompleter(nullptr);
    // A typed port is used as it stands; it is not added to the list.
    setInsertPolicy(QComboBox::NoInsert);
    // Screen readers announce the box that takes the focus by its name, not its text.
    lineEdit()->setAccessibleName(QStringLiteral("Port COM"));
    connect(this, &QComboBox::currentTextChanged, this, &PortChooser::explainChoice);
    refresh();
    setCurrentIndex(0);
    explainChoice();
}

void PortChooser::setDeviceSource(DeviceSource source) {
    devices_ = std::move(source);
}

void PortChooser::refresh() {
    const QString text = currentText();
    // The list changes under the text; nothing outside need hear of it.
    const QSignalBlocker quiet(this);
    clear();
    // Port number N is /dev/ttyS(N-1): a device present under that name is listed once,
    // as its number, with what is known of it.
    const QList<SerialDevice> present = devices_ ? devices_() : QList<SerialDevice>{};
    for (int port = 1; port <= kPortCount; ++port) {
        const QString number = QString::number(port);
        const QString path = QString::fromStdString(namedDevice(number));
        QString details = path;
        for (const SerialDevice& device : present) {
            const QString more = deviceDetails(device);
            if (device.path == path && !more.isEmpty()) details += u'\n' + more;
        }
        addItem(number);
        setItemData(count() - 1, details, Qt::ToolTipRole);
    }
    for (const SerialDevice& device : present) {
        bool numbered = false;
        for (int port = 1; port <= kPortCount; ++port)
            numbered = numbered || device.path.toStdString() == namedDevice(QString::number(port));
        const QString name = device.byId.isEmpty() ? device.path : device.byId;
        if (numbered || findText(name, Qt::MatchFixedString | Qt::MatchCaseSensitive) >= 0)
            continue;
        addItem(name);
        setItemData(count() - 1, deviceDetails(device), Qt::ToolTipRole);
    }
    const int listed = findText(text, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    setCurrentIndex(listed);
    if (listed < 0) setEditText(text);
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

void PortChooser::setDeviceInUse(const std::string& device) {
    inUse_ = device;
    explainChoice();
}

void PortChooser::explainChoice() {
    // The chooser is narrower than most paths: the tooltip gives them whole. An open port
    // is never reconfigured, so the device in use and the one chosen may differ until the
    // port is next opened.
    const std::string chosen = namedDevice(currentText());
    QStringList lines;
    if (!inUse_.empty()) lines << QStringLiteral("Dernière opération sur ") + shown(inUse_);
    if (currentText().trimmed().isEmpty()) {
        lines << QStringLiteral("Aucun port choisi.");
    } else if (chosen.empty()) {
        lines << QStringLiteral("« ") + shown(currentText().toLocal8Bit().toStdString()) +
                     QStringLiteral(" » ne désigne aucun port.");
    } else if (inUse_.empty()) {
        lines << QStringLiteral("Port choisi : ") + shown(chosen);
    } else if (chosen != inUse_) {
        lines << QStringLiteral("Choisi : ") + shown(chosen) +
                     QStringLiteral(", pris à la prochaine ouverture du port.");
    }
    setToolTip(lines.join(u'\n'));
}

}  // namespace palmota::ui
