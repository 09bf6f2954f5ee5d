#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include "tests/ui/window_fixture.h"
#include "ui/port_chooser.h"
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

TEST_F(WindowLayout, PortChooserOffersPortsOneToSixAndShowsOne) {
    auto* combo = control<QComboBox>("Combo1");
    EXPECT_TRUE(combo->isEditable());
    window->setPortText("1");
    EXPECT_EQ(combo->currentText(), "1");
    ASSERT_GE(combo->count(), 6);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(combo->itemText(i), QString::number(i + 1));
}

TEST_F(WindowLayout, PortChooserListsTheDevicesPresentEachTimeItsListOpens) {
    auto* combo = control<PortChooser>("Combo1");
    const QString byId =
        "/dev/serial/by-id/usb-Prolific_Technology_Inc._USB-Serial_Controller_D-if00-port0";
    QList<SerialDevice> present{{"/dev/ttyACM0", "Reader\nUSB 1234:5678"}};
    combo->setDeviceSource([&] { return present; });
    combo->setEditText("/dev/typed-by-hand");

    combo->showPopup();
    EXPECT_EQ(combo->count(), 7);
    EXPECT_EQ(combo->itemText(6), "/dev/ttyACM0");
    EXPECT_EQ(combo->itemData(6, Qt::ToolTipRole).toString(), "Reader\nUSB 1234:5678");
    EXPECT_EQ(combo->currentText(), "/dev/typed-by-hand");
    combo->hidePopup();

    present = {{byId, "USB-Serial Controller D\nProlific\nUSB 067B:2303\n/dev/ttyUSB0"},
               {"/dev/ttyS4", ""}};
    combo->setCurrentIndex(2);
    combo->showPopup();
    EXPECT_EQ(combo->count(), 8);
    EXPECT_EQ(combo->itemText(6), byId);
    EXPECT_EQ(combo->itemText(7), "/dev/ttyS4");
    EXPECT_EQ(combo->currentText(), "3");
    // The whole name can be read in the list, though the chooser is 81 pixels wide.
    EXPECT_GE(combo->view()->width(), combo->view()->fontMetrics().horizontalAdvance(byId));
    EXPECT_EQ(combo->geometry(), QRect(32, 280, 81, 21));
    combo->hidePopup();
}

TEST(SerialDevices, AreNamedByTheirByIdLinkAndDescribedByWhatTheSystemKnows) {
    QTemporaryDir dev;
    ASSERT_TRUE(dev.isValid());
    ASSERT_TRUE(QDir(dev.path()).mkdir("by-id"));
    for (const char* name : {"ttyUSB0", "ttyACM0"}) {
        QFile file(dev.filePath(QLatin1String(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    const QString link = dev.filePath("by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    ASSERT_TRUE(QFile::link(dev.filePath("ttyUSB0"), link));

    const SerialDeviceFacts adapter{dev.filePath("ttyUSB0"), "FT232R USB UART", "FTDI", 0x0403,
                                    0x6001};
    const SerialDeviceFacts modem{dev.filePath("ttyACM0"), {}, {}, 0x2341, 0x43};
    const SerialDeviceFacts builtIn{dev.filePath("ttyS0"), {}, {}, std::nullopt, std::nullopt};
    const QList<SerialDevice> listed =
        listedDevices({adapter, modem, builtIn}, dev.filePath("by-id"));
    ASSERT_EQ(listed.size(), 3);
    EXPECT_EQ(listed[0].path, link);
    EXPECT_EQ(listed[0].details,
              "FT232R USB UART\nFTDI\nUSB 0403:6001\n" + dev.filePath("ttyUSB0"));
    EXPECT_EQ(listed[1].path, dev.filePath("ttyACM0"));
    EXPECT_EQ(listed[1].details, "USB 2341:0043");
    EXPECT_EQ(listed[2].details, "");
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
    window->findChild<QComboBox*>("Combo1")->setEditText("/dev/ttyUSB1");
    QTest::qWait(20);
    EXPECT_TRUE(line.opened.empty());

    click("Command3");
    EXPECT_TRUE(line.isOpen());
    EXPECT_EQ(line.opened, std::vector<std::string>{"/dev/ttyUSB1"});
    EXPECT_NE(written(), "");
}

}  // namespace
}  // namespace palmota::ui::testing
