#include <QAbstractItemView>
#include <QApplication>
#include <QTimer>

#include "tests/ui/window_fixture.h"
#include "ui/port_chooser.h"
#include "ui/window_placement.h"

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
    SerialDevice reader{"/dev/ttyACM0", {}, "Reader", {}, 0x1234, 0x5678, {}};
    QList<SerialDevice> present{reader};
    combo->setDeviceSource([&] { return present; });
    combo->setEditText("/dev/typed-by-hand");

    combo->showPopup();
    EXPECT_EQ(combo->count(), 7);
    EXPECT_EQ(combo->itemText(6), "/dev/ttyACM0");
    EXPECT_EQ(combo->itemData(6, Qt::ToolTipRole).toString(), "Reader\nUSB 1234:5678");
    EXPECT_EQ(combo->currentText(), "/dev/typed-by-hand");
    combo->hidePopup();

    // Port number 1 is /dev/ttyS0: the device is listed once, as its number.
    present = {{"/dev/ttyUSB0", byId, "USB-Serial Controller D", "Prolific", 0x067b, 0x2303, {}},
               {"/dev/ttyS6", {}, {}, {}, {}, {}, {}},
               {"/dev/ttyS0", {}, "16550A", {}, {}, {}, {}}};
    combo->setCurrentIndex(2);
    combo->showPopup();
    EXPECT_EQ(combo->count(), 8);
    EXPECT_EQ(combo->itemText(6), byId);
    EXPECT_EQ(combo->itemData(6, Qt::ToolTipRole).toString(),
              "USB-Serial Controller D\nProlific\nUSB 067b:2303\n/dev/ttyUSB0");
    EXPECT_EQ(combo->itemText(7), "/dev/ttyS6");
    EXPECT_EQ(combo->itemData(0, Qt::ToolTipRole).toString(), "/dev/ttyS0\n16550A");
    EXPECT_EQ(combo->itemData(1, Qt::ToolTipRole).toString(), "/dev/ttyS1");
    EXPECT_EQ(combo->currentText(), "3");
    // The whole name can be read in the list, though the chooser is 81 pixels wide.
    EXPECT_GE(combo->view()->width(), combo->view()->fontMetrics().horizontalAdvance(byId));
    EXPECT_EQ(combo->geometry(), QRect(32, 280, 81, 21));
    combo->hidePopup();
}

// The operator types part of a listed name, then leaves the chooser or reads the badge:
// the port opened is the one typed, never a listed one it begins.
struct TypedPortCase {
    const char* name;
    QList<SerialDevice> present;
    const char* typed;
    Qt::Key then;  // pressed in the chooser after typing; Qt::Key_unknown for none
};

void PrintTo(const TypedPortCase& c, std::ostream* out) {
    *out << c.name;
}

class TypedPort : public WindowTest, public ::testing::WithParamInterface<TypedPortCase> {};

TEST_P(TypedPort, IsThePortOpenedAsTyped) {
    const TypedPortCase& c = GetParam();
    auto* combo = control<PortChooser>("Combo1");
    combo->setDeviceSource([&] { return c.present; });
    combo->refresh();
    combo->setEditText(QString());
    combo->setFocus();
    QTest::keyClicks(combo->lineEdit(), QLatin1String(c.typed));
    if (c.then != Qt::Key_unknown) QTest::keyClick(combo->lineEdit(), c.then);
    EXPECT_EQ(combo->currentText(), QLatin1String(c.typed));

    click("Command3");
    EXPECT_EQ(line.opened, std::vector<std::string>{c.typed});
}

const SerialDevice kTtyUsb10{"/dev/ttyUSB10", {}, {}, {}, {}, {}, {}};
const SerialDevice kTtyS8{"/dev/ttyS8", {}, {}, {}, {}, {}, {}};

INSTANTIATE_TEST_SUITE_P(
    NothingCompleted, TypedPort,
    ::testing::Values(
        TypedPortCase{"PrefixOfAListedPortThenTab", {kTtyS8}, "/dev/tty", Qt::Key_Tab},
        TypedPortCase{"PrefixOfAListedAdapterThenTab", {kTtyUsb10}, "/dev/ttyUSB1", Qt::Key_Tab},
        TypedPortCase{
            "PrefixOfAListedAdapterThenEnter", {kTtyUsb10}, "/dev/ttyUSB1", Qt::Key_Return},
        TypedPortCase{"PrefixOfAListedAdapterAlone", {kTtyUsb10}, "/dev/ttyUSB1", Qt::Key_unknown}),
    [](const ::testing::TestParamInfo<TypedPortCase>& row) { return std::string(row.param.name); });

TEST_F(WindowLayout, PortChooserTipGivesTheDeviceInUseAndTheOneChosenInFull) {
    auto* combo = control<PortChooser>("Combo1");
    EXPECT_EQ(combo->toolTip(), "Port choisi : /dev/ttyUSB0");
    combo->setEditText("1");
    EXPECT_EQ(combo->toolTip(), "Port choisi : /dev/ttyS0");
    combo->setEditText("/dev/ttyUSB0");

    click("Command3");
    EXPECT_EQ(combo->toolTip(), "Dernière opération sur /dev/ttyUSB0");
    EXPECT_EQ(reason("Text1").right(16), "sur /dev/ttyUSB0");

    // A new choice counts at the next opening; until then the old port stays in use.
    combo->setEditText("/dev/ttyUSB9");
    EXPECT_EQ(combo->toolTip(),
              "Dernière opération sur /dev/ttyUSB0\n"
              "Choisi : /dev/ttyUSB9, pris à la prochaine ouverture du port.");
    click("Command3");
    EXPECT_EQ(line.opened, std::vector<std::string>{"/dev/ttyUSB0"});
    EXPECT_TRUE(combo->toolTip().startsWith("Dernière opération sur /dev/ttyUSB0\n"));

    // A port that does not open is in use no more.
    line.close();
    line.refuseOpen = "No such file or directory";
    line.refuseKind = OpenError::Kind::NoSuchDevice;
    click("Command3");
    EXPECT_EQ(combo->toolTip(), "Port choisi : /dev/ttyUSB9");
    combo->setEditText("abc");
    EXPECT_EQ(combo->toolTip(), "« abc » ne désigne aucun port.");
}

// The window keeps its size and goes where the whole of it, frame included, lies on the
// screen's free area, as near its stored place (292, 123) as it can.
struct PlacementCase {
    const char* name;
    QRect frame;
    QRect available;
    QPoint placed;
};

void PrintTo(const PlacementCase& c, std::ostream* out) {
    *out << c.name;
}

class Placement : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(Placement, PutsTheWholeFrameOnTheScreen) {
    EXPECT_EQ(placeWithin(GetParam().frame, GetParam().available), GetParam().placed);
}

// 228 by 548 of client area under a 30-pixel caption and 1-pixel borders: 230 by 579.
const QRect kFramed{291, 93, 230, 579};

INSTANTIATE_TEST_SUITE_P(
    Screens, Placement,
    ::testing::Values(
        PlacementCase{"FitsAt1366x768", kFramed, {0, 0, 1366, 740}, {291, 93}},
        // 1366 by 768 at a scale of 1.25 is 1093 by 614, less a 27-line panel.
        PlacementCase{"Scaled1366x768RaisedToTheBottomEdge", kFramed, {0, 0, 1093, 587}, {291, 8}},
        PlacementCase{"ExactlyTheHeightLeft", kFramed, {0, 0, 800, 579}, {291, 0}},
        PlacementCase{"PanelOnTheLeftPushesRight", kFramed, {400, 0, 1000, 740}, {400, 93}},
        PlacementCase{"NarrowScreenPullsLeft", kFramed, {0, 0, 480, 800}, {250, 93}},
        PlacementCase{
            "SecondScreenAboveAndLeft", kFramed, {-1280, -1024, 1280, 1024}, {-230, -579}},
        PlacementCase{
            "TallerThanTheScreenKeepsItsCaptionInReach", kFramed, {0, 24, 800, 500}, {291, 24}}),
    [](const ::testing::TestParamInfo<PlacementCase>& row) { return std::string(row.param.name); });

TEST_F(WindowLayout, LiesWhollyOnTheScreenAtItsOwnSize) {
    // The tests' screen, 1366 by 768 scaled by 1.25, has 614 lines: at 292, 123 the
    // window would end at line 671.
    const QRect available = window->screen()->availableGeometry();
    ASSERT_LT(available.height(), 123 + 548);
    EXPECT_TRUE(available.contains(window->frameGeometry()))
        << window->frameGeometry().y() << " + " << window->frameGeometry().height();
    EXPECT_EQ(window->size(), QSize(228, 548));
    EXPECT_EQ(window->geometry().x(), 292);
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
