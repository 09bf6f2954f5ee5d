#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "reader/clock.h"
#include "sim/reader_engine.h"
#include "tests/support/fake_clock.h"
#include "tests/support/hex.h"
#include "tests/support/scripted_line.h"
#include "tests/support/system_names.h"
#include "ui/frm_palmota.h"

// Failure messages show texts as text.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace palmota::ui::testing {

using palmota::testing::Arrival;
using palmota::testing::FakeClock;
using palmota::testing::hex;
using palmota::testing::hexOf;
using palmota::testing::ScriptedLine;

// The real window, shown, and the operator's hands on it.
class WindowDriver : public ::testing::Test {
  protected:
    void showWindow(SerialLine& line, Clock& clock, const QString& portText) {
        window = std::make_unique<FrmPalmota>(line, clock);
        window->setPortText(portText);
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
    QString reason(const char* name) const { return textBox(name)->toolTip(); }

    void click(const char* name) const { QTest::mouseClick(button(name), Qt::LeftButton); }
    void typeAmount(const QString& keys) const { QTest::keyClicks(textBox("Text2"), keys); }
    void clearAmount() const {
        textBox("Text2")->end(false);
        for (int i = 0; i < 100 && !text("Text2").isEmpty(); ++i) {
            QTest::keyClick(textBox("Text2"), Qt::Key_Backspace);
        }
    }

    std::unique_ptr<FrmPalmota> window;
    int programEnds = 0;
};

// The window on a scripted line, answered by the emulator's protocol engine; the fake
// clock measures the time limits, so that a silent Reader costs no real time.
class WindowTest : public WindowDriver {
  protected:
    // A USB adapter's port in this system's spelling (COM3 on Windows).
    inline static const std::string kDevice = palmota::testing::onThisSystem("/dev/ttyUSB0");

    void SetUp() override {
        line.setResponder([this](const Bytes& written) {
            std::vector<Arrival> arrivals;
            for (const char byte : written) {
                for (const sim::TimedPiece& piece : engine.receive(static_cast<std::uint8_t>(byte)))
                    arrivals.push_back(
                        {std::chrono::duration_cast<Seconds>(piece.at), piece.bytes});
            }
            if (duringWrite) duringWrite(written);
            return arrivals;
        });
        showWindow(line, clock, QString::fromStdString(kDevice));
    }

    void setFaults(const sim::ReaderFaults& faults) { engine.setFaults(faults); }
    std::string written() const { return line.allWritten(); }

    FakeClock clock;
    ScriptedLine line{clock};
    sim::ReaderEngine engine;
    // Called at each write, while the action holds the window's thread.
    std::function<void(const Bytes&)> duringWrite;
};

}  // namespace palmota::ui::testing
