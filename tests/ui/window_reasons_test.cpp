#include <QAccessible>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QRegularExpression>
#include <QToolTip>
#include <functional>

#include "sim/reader_faults.h"
#include "tests/ui/window_fixture.h"

namespace palmota::ui::testing {
namespace {

using namespace std::chrono_literals;

QString accessible(QWidget* widget, QAccessible::Text which) {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    return face ? face->text(which) : QStringLiteral("(no interface)");
}

// What happened, told on demand: each result box carries its reason as tooltip and
// accessible description after the action that filled it.
struct ReasonCase {
    const char* name;
    std::function<void(ScriptedLine&, sim::ReaderFaults&)> arrange;
    const char* amount;  // typed before "Encoder Badge"; null for "Lire Badge"
    const char* box;
    const char* shown;
    const char* reason;  // a regular expression, matched whole
};

void PrintTo(const ReasonCase& c, std::ostream* out) {
    *out << c.name;
}

class Reasons : public WindowTest, public ::testing::WithParamInterface<ReasonCase> {};

TEST_P(Reasons, TheResultBoxCarriesWhatHappened) {
    const ReasonCase& c = GetParam();
    sim::ReaderFaults faults;
    c.arrange(line, faults);
    setFaults(faults);
    if (c.amount) {
        typeAmount(QLatin1String(c.amount));
        click("Command2");
    } else {
        click("Command3");
    }
    EXPECT_EQ(text(c.box), QString::fromUtf8(c.shown));
    const QRegularExpression expected(
        QRegularExpression::anchoredPattern(QString::fromUtf8(c.reason)));
    EXPECT_TRUE(expected.match(reason(c.box)).hasMatch()) << reason(c.box).toStdString();
    EXPECT_EQ(accessible(textBox(c.box), QAccessible::Description), reason(c.box));
}

const auto kAsItIs = [](ScriptedLine&, sim::ReaderFaults&) {};

INSTANTIATE_TEST_SUITE_P(
    EachCause, Reasons,
    ::testing::Values(
        ReasonCase{"SerialNumberRead", kAsItIs, nullptr, "Text4", "123456",
                   "Lu à \\d\\d:\\d\\d:\\d\\d sur /dev/ttyUSB0"},
        ReasonCase{"PermissionRefused",
                   [](ScriptedLine& line, sim::ReaderFaults&) {
                       line.refuseOpen = "Permission denied";
                       line.refuseKind = OpenError::Kind::PermissionDenied;
                       line.refuseGroup = "dialout";
                   },
                   nullptr, "Text4", "ERREUR",
                   "Port /dev/ttyUSB0 : accès refusé\\. L'utilisateur doit être membre du "
                   "groupe dialout\\."},
        ReasonCase{"SilentReaderOnTheCredit",
                   [](ScriptedLine&, sim::ReaderFaults& f) { f.silent = true; }, nullptr, "Text1",
                   "", "Le lecteur ne répond pas sur /dev/ttyUSB0\\."},
        ReasonCase{"NoBadge", [](ScriptedLine&, sim::ReaderFaults& f) { f.noBadge = true; },
                   nullptr, "Text1", "", "Aucun badge sur le lecteur de /dev/ttyUSB0\\."},
        ReasonCase{"WriteNotConfirmed",
                   [](ScriptedLine&, sim::ReaderFaults& f) { f.noFinalWriteReply = true; }, "100",
                   "Text3", "ERREUR",
                   "Écriture non confirmée sur /dev/ttyUSB0 : le crédit a pu être enregistré\\. "
                   "Relisez le badge\\."},
        ReasonCase{"AmountRefusedUnsent", kAsItIs, "70000", "Text3", "",
                   "Montant refusé : de 0 à 65535 seulement\\. Rien n'a été envoyé\\."}),
    [](const ::testing::TestParamInfo<ReasonCase>& row) { return std::string(row.param.name); });

using ReasonsOnDemand = WindowTest;

TEST_F(ReasonsOnDemand, TheNextActionReplacesTheReasonAndANewAmountClearsTheWriteResults) {
    sim::ReaderFaults silent;
    silent.silent = true;
    setFaults(silent);
    click("Command3");
    ASSERT_TRUE(reason("Text4").startsWith("Le lecteur ne répond pas"));
    setFaults({});
    click("Command3");
    EXPECT_TRUE(reason("Text4").startsWith("Lu à ")) << reason("Text4").toStdString();
    EXPECT_TRUE(reason("Text1").startsWith("Lu à ")) << reason("Text1").toStdString();

    typeAmount("100");
    click("Command2");
    ASSERT_TRUE(reason("Text3").startsWith("Écrit à "));
    typeAmount("5");
    EXPECT_EQ(text("Text3"), "");
    EXPECT_EQ(reason("Text3"), "");
    EXPECT_EQ(accessible(textBox("Text3"), QAccessible::Description), "");
}

TEST_F(ReasonsOnDemand, TheDisabledSerialNumberBoxShowsItsReasonWhenPointedAt) {
    click("Command3");
    QLineEdit* serial = textBox("Text4");
    ASSERT_FALSE(serial->isEnabled());
    const QPoint inside = serial->rect().center();
    // Delivered as Qt delivers a tooltip request: to the control under the pointer,
    // disabled or not, then to its parents until one takes it.
    QHelpEvent request(QEvent::ToolTip, inside, serial->mapToGlobal(inside));
    QCoreApplication::sendEvent(serial, &request);
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), reason("Text4"));
    QToolTip::hideText();
}

TEST_F(ReasonsOnDemand, TheWaitCursorShowsWhileTheReaderIsAwaitedAndGoesWhateverTheEnd) {
    int waitsSeen = 0;
    int writes = 0;
    duringWrite = [&](const Bytes&) {
        ++writes;
        const QCursor* shown = QGuiApplication::overrideCursor();
        if (shown && shown->shape() == Qt::WaitCursor) ++waitsSeen;
    };
    click("Command3");
    typeAmount("100");
    click("Command2");
    click("Command4");
    sim::ReaderFaults silent;
    silent.silent = true;
    setFaults(silent);
    click("Command3");
    EXPECT_GT(writes, 0);
    EXPECT_EQ(waitsSeen, writes);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    line.refuseOpen = "No such file or directory";  // fails before any wait
    click("Command3");
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

using Keys = WindowTest;

TEST_F(Keys, EnterOrReturnOnAFocusedButtonClicksItAndDoesNothingInTheAmount) {
    struct Press {
        const char* button;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        const char* sent;
    };
    typeAmount("100");
    for (const Press& p : {
             Press{"Command3", Qt::Key_Return, Qt::NoModifier, "00 04 00 00 06"},
             Press{"Command2", Qt::Key_Enter, Qt::KeypadModifier, "00 07 00 64"},
         }) {
        line.writes.clear();
        button(p.button)->setFocus();
        QTest::keyClick(button(p.button), p.key, p.modifiers);
        EXPECT_EQ(hexOf(written()), p.sent) << p.button;
    }
    button("Command1")->setFocus();
    QTest::keyClick(button("Command1"), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(button("Command1")->text(), "Stop Lecture");
    QTest::keyClick(button("Command1"), Qt::Key_Return);
    EXPECT_EQ(button("Command1")->text(), "Lecture Continue");

    line.writes.clear();
    textBox("Text3")->setText("OK");
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) QTest::keyClick(textBox("Text2"), key);
    EXPECT_EQ(text("Text2"), "100");
    EXPECT_EQ(text("Text3"), "OK");
    EXPECT_EQ(hexOf(written()), "");
}

using Accessibility = WindowTest;

TEST_F(Accessibility, EveryBoxTheChooserAndTheDumpButtonHaveSpokenNames) {
    const std::pair<const char*, const char*> names[] = {
        {"Text1", "Crédit"},        {"Text4", "No Série"},
        {"Text2", "Montant"},       {"Text3", "Résultat"},
        {"Combo1", "Port COM"},     {"Command4", "Lire les blocs 0 à 7"},
        {"Command3", "Lire Badge"}, {"Command2", "Encoder Badge"}};
    for (const auto& [control, name] : names) {
        QWidget* widget = this->control<QWidget>(control);
        EXPECT_EQ(accessible(widget, QAccessible::Name), QString::fromUtf8(name)) << control;
    }
    // The chooser, and the box in it that takes the focus, are named, whatever they show;
    // what they show is the chooser's value.
    auto* chooser = control<QComboBox>("Combo1");
    EXPECT_EQ(chooser->currentText(), "/dev/ttyUSB0");
    EXPECT_EQ(accessible(chooser->lineEdit(), QAccessible::Name), "Port COM");
    EXPECT_EQ(accessible(chooser, QAccessible::Value), "/dev/ttyUSB0");
    EXPECT_EQ(button("Command4")->text(), "Command4");
}

TEST_F(Accessibility, LabelsLieBeneathEveryControlTheyOverlap) {
    control<QLabel>("Label1")->show();  // "ON", as continuous reading shows it
    int overlaps = 0;
    for (QLabel* label : window->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
        for (QWidget* other : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (other == label || qobject_cast<QLabel*>(other) || !other->isVisible()) continue;
            const QRect both = label->geometry() & other->geometry();
            if (both.isEmpty()) continue;
            ++overlaps;
            for (const QPoint at : {both.topLeft(), both.bottomRight()}) {
                QWidget* top = window->childAt(at);
                while (top && top->parentWidget() != window.get()) top = top->parentWidget();
                EXPECT_NE(top, label) << label->objectName().toStdString() << " over "
                                      << other->objectName().toStdString();
            }
        }
    }
    EXPECT_GE(overlaps, 3);  // "Crédit:", "No Série:" and "ON" at least
}

}  // namespace
}  // namespace palmota::ui::testing
