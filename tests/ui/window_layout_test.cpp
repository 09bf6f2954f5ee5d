#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include "tests/ui/window_fixture.h"
#include "ui/serial_devices.h"

namespace palmota::ui::testing {
namespace {

using WindowLayout = WindowTest;

TEST_F(WindowLayout, ControlsSitAtTheirTwipsPositionsInAFixedWindow) {
    struct Placement {
        const char* name;
        QRect twips;  // left, top, width, height
    };
    const Placement table[] = {
        {"Label3", {480, 3960, 1095, 255}},   {"Combo1", {480, 4200, 1215, 315}},
        {"Command1", {360, 4920, 1455, 375}}, {"Label1", {1800, 4920, 735, 375}},
        {"Command3", {360, 5400, 2895, 375}}, {"Label2", {360, 5760, 1935, 375}},
        {"Text1", {1800, 5760, 1455, 375}},   {"Label4", {360, 6120, 1935, 375}},
        {"Text4", {1800, 6120, 1455, 375}},   {"Command2", {360, 6960, 1455, 375}},
        {"Text2", {1800, 6960, 1455, 375}},   {"Text3", {360, 7320, 1455, 375}},
        {"Command4", {720, 7800, 1095, 255}},
    };
    for (const Placement& p : table) {
        const QRect pixels(p.twips.x() / 15, p.twips.y() / 15, p.twips.width() / 15,
                           p.twips.height() / 15);
        EXPECT_EQ(control<QWidget>(p.name)->geometry(), pixels) << p.name;
    }
    EXPECT_EQ(window->size(), QSize(228, 548));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_EQ(window->windowTitle(), "Tarvinelo PALMOTA");
    const QList<QSize> iconSizes = window->windowIcon().availableSizes();
    EXPECT_TRUE(iconSizes.contains(QSize(16, 16)));
    EXPECT_TRUE(iconSizes.contains(QSize(32, 32)));
    // The credit and serial boxes lie over the wider labels beside them.
    EXPECT_EQ(window->childAt(QPoint(125, 390)), textBox("Text1"));
    EXPECT_EQ(window->childAt(QPoint(125, 414)), textBox("Text4"));
}

TEST_F(WindowLayout, StartsWithItsCaptionsEmptyBoxesAndNothingRunning) {
    EXPECT_EQ(button("Command1")->text(), "Lecture Continue");
    EXPECT_EQ(button("Command2")->text(), "Encoder Badge");
    EXPECT_EQ(button("Command3")->text(), "Lire Badge");
    EXPECT_EQ(button("Command4")->text(), "Command4");
    EXPECT_EQ(control<QLabel>("Label2")->text(), "Crédit:");
    EXPECT_EQ(control<QLabel>("Label3")->text(), "Port COM");
    EXPECT_EQ(control<QLabel>("Label4")->text(), "No Série:");

    auto* on = control<QLabel>("Label1");
    EXPECT_EQ(on->text(), "ON");
    EXPECT_FALSE(on->isVisible());
    EXPECT_TRUE(on->font().bold());
    EXPECT_DOUBLE_EQ(on->font().pointSizeF(), 9.75);
    EXPECT_EQ(on->palette().color(QPalette::Window), QColor(0, 255, 0));

    for (const char* box : {"Text1", "Text2", "Text3", "Text4"}) EXPECT_TRUE(text(box).isEmpty());
    EXPECT_TRUE(textBox("Text1")->isReadOnly());
    EXPECT_TRUE(textBox("Text3")->isReadOnly());
    EXPECT_TRUE(textBox("Text4")->isReadOnly());
    EXPECT_FALSE(textBox("Text4")->isEnabled());
    EXPECT_FALSE(textBox("Text2")->isReadOnly());

    auto* timer = window->findChild<QTimer*>("Timer1");
    ASSERT_NE(timer, nullptr);
    EXPECT_FALSE(timer->isActive());
    EXPECT_EQ(timer->intervalAsDuration(), std::chrono::milliseconds(500));
}

TEST(WindowPortChooser, OffersPortsOneToSixThenUsbDevicesAndShowsOne) {
    QtSerialLine port;
    SteadyClock clock;
    FrmPalmota window(port, clock);
    auto* combo = window.findChild<QComboBox*>("Combo1");
    ASSERT_NE(combo, nullptr);
    EXPECT_TRUE(combo->isEditable());
    EXPECT_EQ(combo->currentText(), "1");
    const QStringList usb = serialAdapterDevices();
    ASSERT_EQ(combo->count(), 6 + usb.size());
    for (int i = 0; i < 6; ++i) EXPECT_EQ(combo->itemText(i), QString::number(i + 1));
    for (int i = 0; i < usb.size(); ++i) EXPECT_EQ(combo->itemText(6 + i), usb[i]);
}

TEST(SerialAdapterDevices, ListsUsbThenAcmDevicesInNumericOrder) {
    QTemporaryDir dev;
    ASSERT_TRUE(dev.isValid());
    for (const char* name : {"ttyUSB10", "ttyS0", "ttyACM0", "ttyUSB2", "ttyUSB0", "null"}) {
        QFile file(dev.filePath(QLatin1String(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    EXPECT_EQ(serialAdapterDevices(dev.path()),
              QStringList({dev.filePath("ttyUSB0"), dev.filePath("ttyUSB2"),
                           dev.filePath("ttyUSB10"), dev.filePath("ttyACM0")}));
}

// Whatever widget Qt gives the focus to, the named control that holds it.
QString focusedControl() {
    for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget()) {
        if (!w->objectName().isEmpty()) return w->objectName();
    }
    return {};
}

TEST_F(WindowLayout, FocusStartsOnEncoderBadgeAndTabFollowsTheTabOrder) {
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    EXPECT_EQ(focusedControl(), "Command2");
    const QStringList order = {"Command3", "Text1",    "Text2",  "Text3",
                               "Command1", "Command4", "Combo1", "Command2"};
    for (const QString& next : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(focusedControl(), next);
    }
}

TEST_F(WindowLayout, PortStaysClosedUntilTheFirstBadgeAction) {
    typeAmount("12");
    window->findChild<QComboBox*>("Combo1")->setEditText(
        QString::fromStdString(reader.devicePath()));
    QTest::qWait(100);
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(reader.received(), "");

    click("Command3");
    EXPECT_TRUE(port.isOpen());
    EXPECT_NE(reader.received(), "");
}

}  // namespace
}  // namespace palmota::ui::testing
