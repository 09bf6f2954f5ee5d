#include <QClipboard>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QTranslator>

#include "app/qt_french.h"
#include "tests/ui/window_fixture.h"

namespace palmota::ui::testing {
namespace {

using AmountEntry = WindowTest;

TEST_F(AmountEntry, KeystrokesOtherThanDigitsAreIgnoredAndBackspaceWorks) {
    typeAmount("1a2-3,4 5.+6");
    QKeyEvent accented(QEvent::KeyPress, Qt::Key_Eacute, Qt::NoModifier, QStringLiteral("é"));
    QCoreApplication::sendEvent(textBox("Text2"), &accented);
    EXPECT_EQ(text("Text2"), "123456");
    QTest::keyClick(textBox("Text2"), Qt::Key_Backspace);
    QTest::keyClick(textBox("Text2"), Qt::Key_Left);
    QTest::keyClick(textBox("Text2"), Qt::Key_Delete);
    EXPECT_EQ(text("Text2"), "1234");
}

// The amount box's context menu speaks French as the window does, with Qt's own texts.
TEST_F(AmountEntry, ContextMenuIsInFrench) {
    QTranslator french;
    ASSERT_TRUE(app::installQtFrench(french));
    const std::unique_ptr<QMenu> menu(textBox("Text2")->createStandardContextMenu());
    QCoreApplication::removeTranslator(&french);
    QStringList texts;
    for (const QAction* action : menu->actions()) texts << action->text().section(u'\t', 0, 0);
    EXPECT_TRUE(texts.contains(QStringLiteral("Co&ller"))) << texts.join(u'|').toStdString();
    EXPECT_TRUE(texts.contains(QStringLiteral("Tout s\u00e9lectionner")))
        << texts.join(u'|').toStdString();
    EXPECT_FALSE(texts.contains(QStringLiteral("&Paste"))) << texts.join(u'|').toStdString();
}

TEST_F(AmountEntry, PasteOrDropWithAnythingButDigitsIsRefusedWhole) {
    QLineEdit* amount = textBox("Text2");
    typeAmount("7");
    QGuiApplication::clipboard()->setText("12abc");
    QTest::keyClick(amount, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(text("Text2"), "7");
    amount->paste();  // as the context menu does
    EXPECT_EQ(text("Text2"), "7");

    QMimeData dropped;
    dropped.setText("3 4");
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(amount, &drop);
    EXPECT_EQ(text("Text2"), "7");

    QInputMethodEvent composed;
    composed.setCommitString("1x");
    QCoreApplication::sendEvent(amount, &composed);
    EXPECT_EQ(text("Text2"), "7");

    // A paste made of digits only is taken, and then written as it reads.
    QGuiApplication::clipboard()->setText("345");
    QTest::keyClick(amount, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(text("Text2"), "7345");
    click("Command2");
    EXPECT_EQ(hexOf(written()), "00 07 1C B1");  // 7345
}

}  // namespace
}  // namespace palmota::ui::testing
