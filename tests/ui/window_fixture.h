#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>
#include <ostream>
#include <string>

#include "reader/clock.h"
#include "reader/qt_serial_line.h"
#include "sim/pty_reader.h"
#include "tests/support/hex.h"
#include "ui/frm_palmota.h"

// Failure messages show texts as text.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace palmota::ui::testing {

using palmota::testing::hex;
using palmota::testing::hexOf;

// The real window, its port chooser set to an emulated Reader on a pseudo-terminal.
class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(reader.start(&error)) << error;
        window = std::make_unique<FrmPalmota>(port, clock);
        window->setPortText(QString::fromStdString(reader.devicePath()));
        window->setProgramEnd([this] { ++programEnds; });
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    template <typename Control>
    Control* control(const char* name) const {
        auto* found = window->findChild<Control*>(QLatin1String(name));
        if (!found) ADD_FAILURE() << "no control " << name;
        return found;
    }
    QPushButton* button(const char* name) const { return control<QPushButton>(name); }
    QLineEdit* textBox(const char* name) const { return control<QLineEdit>(name); }
    QString text(const char* name) const { return textBox(name)->text(); }

    void click(const char* name) const { QTest::mouseClick(button(name), Qt::LeftButton); }
    void typeAmount(const QString& keys) const { QTest::keyClicks(textBox("Text2"), keys); }
    void clearAmount() const {
        textBox("Text2")->end(false);
        for (int i = 0; i < 100 && !text("Text2").isEmpty(); ++i) {
            QTest::keyClick(textBox("Text2"), Qt::Key_Backspace);
        }
    }

    // Declared before the port and the window, so that the port on it is closed first.
    sim::PtyReader reader;
    QtSerialLine port;
    SteadyClock clock;
    std::unique_ptr<FrmPalmota> window;
    int programEnds = 0;
};

}  // namespace palmota::ui::testing
