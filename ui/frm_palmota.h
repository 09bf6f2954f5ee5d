#pragma once

#include <QImage>
#include <QWidget>
#include <chrono>
#include <functional>
#include <optional>
#include <vector>

#include "reader/clock.h"
#include "reader/outcome.h"
#include "reader/palmota.h"
#include "reader/reader_link.h"
#include "reader/serial_line.h"
#include "till/ledger.h"
#include "till/till.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace palmota::ui {

class PortChooser;

// The operator's one window. Its controls keep their generic numbered names (Command1 to
// Command4, Text1 to Text4, ...), and each event has its own handler named after control
// and event. Every badge action runs on the window's thread and holds it while the
// Reader link waits for the Reader: the window does not respond meanwhile (it shows the
// wait cursor), no action can overlap another, and what the operator did meanwhile is
// handled when the action ends.
//
// The window shows no message of its own. The box that shows an action's result also
// carries, as its tooltip and accessible description, what happened, in French: the
// operator who points at "ERREUR" reads why.
class FrmPalmota final : public QWidget {
    Q_OBJECT

  public:
    // Continuous reading reads the badge again every half second.
    static constexpr std::chrono::milliseconds kTimer1Interval{500};

    // Told, after each action, the outcomes of the badge operations it ran, in order.
    using ActionReport = std::function<void(const std::vector<Outcome>&)>;

    // `Mscomm` is the serial line to the Reader (the real port, or a wire trace around
    // it) and `clock` the one its time limits are measured on; both outlive the window.
    FrmPalmota(SerialLine& Mscomm, Clock& clock, QWidget* parent = nullptr);
    ~FrmPalmota() override;

    // Presets the port chooser's text: a port number from "1" ("1" to "6" are listed) or a device
    // path.
    void setPortText(const QString& text);
    // Changes Timer1's interval from the stored half second, for tests and soak runs
    // that cannot wait that long between reads.
    void setContinuousReadingInterval(std::chrono::milliseconds interval);
    // What closing the window does to end the program; by default it leaves the
    // application's event loop, and the program's end releases the port.
    void setProgramEnd(std::function<void()> end);
    void setActionReport(ActionReport report);
    // Once `interrupted` says so (the program was asked to end), no badge operation
    // starts; the one under way runs to its end.
    void setInterruption(std::function<bool()> interrupted);
    // With a journal, each credit write gets its row before it is sent, and is not sent
    // when the row cannot be committed. `complain` is told the lines for standard error.
    void setLedger(till::Ledger* ledger, std::function<void(const std::string&)> complain);
    // The port chooser's text, as the link opens it and the journal records it.
    std::string portText() const;

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Places the window at its stored position, moved as little as needed to lie wholly
    // on the screen's free area.
    void placeOnScreen();
    void createControls();
    void arrangeTabOrder();
    // Runs one action's badge operations and reports their outcomes when it ends.
    void runAction(const std::function<void()>& action);
    // Keeps `outcome` for the action's report, and gives `box` what it met as its tooltip
    // and accessible description.
    void explainOutcome(QLineEdit* box, const Outcome& outcome);
    void explain(QLineEdit* box, const QString& text);
    void clearExplanation(QLineEdit* box);

    // Handlers, in the order of the window's handler table.
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Form_Unload();
    void Text2_Change();
    void Text2_KeyPress(int& KeyAscii);
    void Timer1_Timer();

    QImage picture_;  // at the screen's device-pixel ratio
    ReaderLink link_;
    // The badge operations the buttons run: the reads, and a credit write with its rules and
    // its journal.
    till::Till till_;
    std::function<void()> programEnd_;
    ActionReport actionReport_;
    std::vector<Outcome> outcomes_;  // of the action running
    std::function<void(const std::string&)> complain_;

    Clock& clock_;
    bool ContinuousReading = false;
    int continuousRuns_ = 0;  // times continuous reading was switched on
    // When the first read of continuous reading may come, on `clock_`: one full interval
    // after the click; empty once that read has come.
    std::optional<Seconds> firstReadDue_;
    // Waits out what is left of the first interval after a tick that came early.
    QTimer* firstIntervalRest_ = nullptr;
    bool tickWaiting_ = false;  // a tick handler lets the queued input through
    bool closing_ = false;
    bool placedWithFrame_ = false;
    // Fires once the window manager had its turn after the first showing.
    QTimer* framedTimer_ = nullptr;

    QLabel* Label3 = nullptr;
    PortChooser* Combo1 = nullptr;
    QPushButton* Command1 = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* Command3 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Text1 = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* Text4 = nullptr;
    QPushButton* Command2 = nullptr;
    QLineEdit* Text2 = nullptr;
    QLineEdit* Text3 = nullptr;
    QPushButton* Command4 = nullptr;
    QTimer* Timer1 = nullptr;
};

}  // namespace palmota::ui
