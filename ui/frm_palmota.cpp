#include "ui/frm_palmota.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QTime>
#include <QTimer>
#include <cstdint>
#include <vector>

#include "reader/protocol.h"
#include "ui/artwork.h"
#include "ui/digits_only_validator.h"
#include "ui/outcome_text.h"
#include "ui/port_chooser.h"
#include "ui/window_placement.h"

namespace palmota::ui {

namespace {

// The layout is laid down in twips (1/1440 inch): 15 twips make a pixel at 96 dpi.
constexpr int kTwipsPerPixel = 15;

QRect twips(int left, int top, int width, int height) {
    return {left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
            height / kTwipsPerPixel};
}

// Client area 3420 by 8220 twips; the window's stored place on the screen 4380, 1845.
constexpr QSize kClientSize{3420 / kTwipsPerPixel, 8220 / kTwipsPerPixel};
constexpr QPoint kWindowPosition{4380 / kTwipsPerPixel, 1845 / kTwipsPerPixel};

const QColor kIndicatorGreen{0x00, 0xff, 0x00};

// The window's type face is MS Sans Serif; where it is missing, the closest sans faces
// keep the captions inside their buttons.
QFont windowFont(qreal points, bool bold = false) {
    QFont font;
    font.setFamilies({"MS Sans Serif", "Microsoft Sans Serif", "Arial", "Liberation Sans",
                      "Nimbus Sans", "Helvetica", "DejaVu Sans"});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

QString fromResult(const std::string& text) {
    return QString::fromStdString(text);
}

// The character codes a keystroke types, as the amount filter sees them: Ctrl with a
// letter types its control code (Ctrl+V is 22, Ctrl+C is 3); keys that type no character
// (arrows, Delete, function keys) have none and never reach the filter.
std::vector<int> typedCharacters(const QKeyEvent& key) {
    if (key.modifiers().testFlag(Qt::ControlModifier) && key.key() >= Qt::Key_A &&
        key.key() <= Qt::Key_Z) {
        return {key.key() - Qt::Key_A + 1};
    }
    constexpr int kDeleteCode = 127;  // Delete edits, it types nothing
    std::vector<int> codes;
    for (const QChar c : key.text()) {
        if (c.unicode() != kDeleteCode) codes.push_back(c.unicode());
    }
    return codes;
}

}  // namespace

FrmPalmota::FrmPalmota(SerialLine& Mscomm, Clock& clock, QWidget* parent)
    : QWidget(parent),
      picture_(backgroundPicture()),
      link_(Mscomm, clock, [this] { return portText(); }),
      till_(link_),
      programEnd_([] { QCoreApplication::exit(0); }),
      clock_(clock) {
    setWindowTitle(QStringLiteral("Tarvinelo PALMOTA"));
    setWindowIcon(appWindowIcon());
    setFont(windowFont(8));
    // The layout is fixed: nothing would move if the window grew.
    setFixedSize(kClientSize);
    placeOnScreen();

    createControls();
    arrangeTabOrder();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kTimer1Interval);
    // A coarse timer may fire up to 5% early, and a precise one up to a millisecond early
    // where it counts whole milliseconds from the moment it was started, as Windows'
    // multimedia timers do under wine: the first read is held to one full interval after
    // the click on the window's own clock (Timer1_Timer).
    Timer1->setTimerType(Qt::PreciseTimer);
    firstIntervalRest_ = new QTimer(this);
    firstIntervalRest_->setSingleShot(true);
    firstIntervalRest_->setTimerType(Qt::PreciseTimer);

    connect(Command1, &QPushButton::clicked, this, &FrmPalmota::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &FrmPalmota::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &FrmPalmota::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &FrmPalmota::Command4_Click);
    connect(Text2, &QLineEdit::textChanged, this, &FrmPalmota::Text2_Change);
    connect(Timer1, &QTimer::timeout, this, &FrmPalmota::Timer1_Timer);
    connect(firstIntervalRest_, &QTimer::timeout, this, &FrmPalmota::Timer1_Timer);
    framedTimer_ = new QTimer(this);
    framedTimer_->setSingleShot(true);
    connect(framedTimer_, &QTimer::timeout, this, [this] {
        if (frameGeometry() != geometry()) placeOnScreen();
    });
    Text2->installEventFilter(this);
    for (QPushButton* b : {Command1, Command2, Command3, Command4}) b->installEventFilter(this);

    Command2->setFocus();
}

FrmPalmota::~FrmPalmota() = default;

void FrmPalmota::createControls() {
    const auto label = [this](const char* name, const QString& caption, QRect geometry) {
        auto* control = new QLabel(caption, this);
        control->setObjectName(QLatin1String(name));
        control->setGeometry(geometry);
        control->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return control;
    };
    const auto button = [this](const char* name, const QString& caption, QRect geometry) {
        auto* control = new QPushButton(caption, this);
        control->setObjectName(QLatin1String(name));
        control->setGeometry(geometry);
        control->setAutoDefault(false);
        return control;
    };
    const auto textBox = [this](const char* name, QRect geometry) {
        auto* control = new QLineEdit(this);
        control->setObjectName(QLatin1String(name));
        control->setGeometry(geometry);
        return control;
    };

    Label3 = label("Label3", QStringLiteral("Port COM"), twips(480, 3960, 1095, 255));

    Combo1 = new PortChooser(this);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setGeometry(twips(480, 4200, 1215, 315));

    Command1 = button("Command1", QStringLiteral("Lecture Continue"), twips(360, 4920, 1455, 375));

    Label1 = label("Label1", QStringLiteral("ON"), twips(1800, 4920, 735, 375));
    Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label1->setFont(windowFont(9.75, true));
    Label1->setAutoFillBackground(true);
    QPalette indicator = Label1->palette();
    indicator.setColor(QPalette::Window, kIndicatorGreen);
    indicator.setColor(QPalette::WindowText, Qt::black);
    Label1->setPalette(indicator);
    Label1->hide();

    Command3 = button("Command3", QStringLiteral("Lire Badge"), twips(360, 5400, 2895, 375));
    Label2 = label("Label2", QStringLiteral("Crédit:"), twips(360, 5760, 1935, 375));
    Text1 = textBox("Text1", twips(1800, 5760, 1455, 375));
    Text1->setReadOnly(true);
    Label4 = label("Label4", QStringLiteral("No Série:"), twips(360, 6120, 1935, 375));
    Text4 = textBox("Text4", twips(1800, 6120, 1455, 375));
    Text4->setReadOnly(true);
    Text4->setEnabled(false);
    Command2 = button("Command2", QStringLiteral("Encoder Badge"), twips(360, 6960, 1455, 375));
    Text2 = textBox("Text2", twips(1800, 6960, 1455, 375));
    Text2->setValidator(new DigitsOnlyValidator(Text2));
    Text3 = textBox("Text3", twips(360, 7320, 1455, 375));
    Text3->setReadOnly(true);
    Command4 = button("Command4", QStringLiteral("Command4"), twips(720, 7800, 1095, 255));

    // Labels are decoration: wherever one overlaps another control ("Crédit:" and
    // "No Série:" run on under their text boxes, "ON" under a column of "Lecture
    // Continue"), the other control is drawn on top.
    for (QLabel* l : {Label1, Label2, Label3, Label4}) l->lower();

    // Screen readers name each box after its label, and the dump button after what it
    // does, whatever its caption.
    Combo1->setAccessibleName(QStringLiteral("Port COM"));
    Label3->setBuddy(Combo1);  // where a combo box's name is read from its label
    Text1->setAccessibleName(QStringLiteral("Crédit"));
    Text4->setAccessibleName(QStringLiteral("No Série"));
    Text2->setAccessibleName(QStringLiteral("Montant"));
    Text3->setAccessibleName(QStringLiteral("Résultat"));
    Command4->setAccessibleName(QStringLiteral("Lire les blocs 0 à 7"));
}

void FrmPalmota::arrangeTabOrder() {
    // Tab order: Command2, Command3, Text1, Text2, Text3, Command1, Command4, Text4,
    // Combo1 (labels take no focus; the disabled Text4 is passed over).
    QWidget* const order[] = {Command2, Command3, Text1, Text2, Text3,
                              Command1, Command4, Text4, Combo1};
    for (std::size_t i = 1; i < std::size(order); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

void FrmPalmota::setPortText(const QString& text) {
    Combo1->setEditText(text);
}

void FrmPalmota::setContinuousReadingInterval(std::chrono::milliseconds interval) {
    Timer1->setInterval(interval);
}

void FrmPalmota::setProgramEnd(std::function<void()> end) {
    programEnd_ = std::move(end);
}

void FrmPalmota::setActionReport(ActionReport report) {
    actionReport_ = std::move(report);
}

void FrmPalmota::setInterruption(std::function<bool()> interrupted) {
    till_.setInterruption(std::move(interrupted));
}

void FrmPalmota::setLedger(till::Ledger* ledger, std::function<void(const std::string&)> complain) {
    till_.setLedger(ledger);
    complain_ = std::move(complain);
}

std::string FrmPalmota::portText() const {
    return Combo1->currentText().toLocal8Bit().toStdString();
}

void FrmPalmota::runAction(const std::function<void()>& action) {
    // A click still queued when the window was closed starts nothing: the program is
    // ending.
    if (closing_) return;
    outcomes_.clear();
    {
        // The window holds its thread while the Reader link waits; the cursor says so,
        // and comes back however the action ends.
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        const auto restore = qScopeGuard([] { QGuiApplication::restoreOverrideCursor(); });
        action();
    }
    // The port the operations opened stays in use until it is next opened; an operation
    // refused before any opening tells nothing of it.
    for (auto o = outcomes_.rbegin(); o != outcomes_.rend(); ++o) {
        if (o->device.empty()) continue;
        Combo1->setDeviceInUse(o->cause == Cause::PortUnavailable ? std::string{} : o->device);
        break;
    }
    if (actionReport_) actionReport_(outcomes_);
}

void FrmPalmota::explain(QLineEdit* box, const QString& text) {
    box->setToolTip(text);
    box->setAccessibleDescription(text);
}

void FrmPalmota::explainOutcome(QLineEdit* box, const Outcome& outcome) {
    outcomes_.push_back(outcome);
    explain(box, outcomeText(outcome, QTime::currentTime()));
}

void FrmPalmota::clearExplanation(QLineEdit* box) {
    box->setToolTip(QString());
    box->setAccessibleDescription(QString());
}

void FrmPalmota::placeOnScreen() {
    // At the stored position where the screen has room, else moved until the whole window,
    // its frame too, lies on the screen's free area: 548 pixels of client area do not fit
    // under 123 on a 768-line screen scaled by 1.25 (614 lines). The frame is known once a
    // window manager has framed the window; until then it counts as none.
    QScreen* screen = QGuiApplication::screenAt(kWindowPosition);
    if (!screen) screen = this->screen();
    if (!screen) return;
    const QRect client = geometry();
    const QRect framed = frameGeometry();
    const QMargins frame(client.left() - framed.left(), client.top() - framed.top(),
                         framed.right() - client.right(), framed.bottom() - client.bottom());
    const QRect wanted = QRect(kWindowPosition, kClientSize).marginsAdded(frame);
    // A window's position is that of its frame.
    move(placeWithin(wanted, screen->availableGeometry()));
}

void FrmPalmota::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (placedWithFrame_ || event->spontaneous()) return;
    placedWithFrame_ = true;
    // Once more when the window manager has framed it, should its caption push it over
    // the screen's edge.
    framedTimer_->start(0);
}

void FrmPalmota::closeEvent(QCloseEvent* event) {
    Form_Unload();
    QWidget::closeEvent(event);
}

void FrmPalmota::paintEvent(QPaintEvent* /*event*/) {
    // Drawn for the screen's pixels, so that it stays sharp on a scaled screen.
    const qreal ratio = devicePixelRatioF();
    if (!qFuzzyCompare(picture_.devicePixelRatio(), ratio)) picture_ = backgroundPicture(ratio);
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), picture_);
}

bool FrmPalmota::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && qobject_cast<QPushButton*>(watched)) {
        // Enter or Return clicks the focused button, as Space does: the convention of the
        // desktop this layout was drawn for. A key held down clicks once.
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (!key->isAutoRepeat()) static_cast<QPushButton*>(watched)->click();
            return true;
        }
    }
    if (watched == Text2 && event->type() == QEvent::KeyPress) {
        // A discarded keystroke never reaches the box.
        for (int KeyAscii : typedCharacters(*static_cast<QKeyEvent*>(event))) {
            Text2_KeyPress(KeyAscii);
            if (KeyAscii == 0) return true;
        }
        return false;
    }
    return QWidget::eventFilter(watched, event);
}

// Continuous reading on and off.
void FrmPalmota::Command1_Click() {
    if (ContinuousReading) {
        ContinuousReading = false;
        Command2->setEnabled(true);
        Command3->setEnabled(true);
        Command1->setText(QStringLiteral("Lecture Continue"));
        Timer1->stop();
        firstIntervalRest_->stop();
        firstReadDue_.reset();
        Label1->hide();
    } else {
        ContinuousReading = true;
        ++continuousRuns_;
        Command2->setEnabled(false);
        Command3->setEnabled(false);
        Command1->setText(QStringLiteral("Stop Lecture"));
        // Restarted, so that the first read comes one full interval after the click.
        firstReadDue_ = clock_.now() + Timer1->intervalAsDuration();
        Timer1->stop();
        Timer1->start();
        Label1->show();
    }
}

// Encode: write the typed amount to the badge.
void FrmPalmota::Command2_Click() {
    const std::string typed = Text2->text().toStdString();
    // An empty box holds no amount: nothing is sent, and the last result stays.
    if (typed.empty()) return;
    Text3->setText(QString());
    runAction([&] {
        // WriteCredit, with the till's rules around it: with a journal, the badge is read
        // and the row committed before the write, and the write is not sent without it.
        // The box's digits are read here, once; an amount over 65535 is refused.
        const auto amount = Amount::parse(typed);
        const till::WriteVerdict verdict =
            amount ? till_.write(*amount) : till::Till::refused(typed);
        outcomes_.insert(outcomes_.end(), verdict.operations.begin(), verdict.operations.end());
        if (verdict.judged == Cause::Refused) {
            // An amount the link refused, with nothing sent, goes from the box; emptying
            // the box empties the result through Text2_Change, and the result box keeps
            // why in its tooltip.
            Text2->setText(QString());
        } else {
            std::string result =
                verdict.write ? resultText(*verdict.write) : std::string(protocol::kResultError);
            // "OK" is the Reader's 00, shown for a write the till confirmed. One that the
            // badge read after it contradicts or could not check shows as a reply neither
            // stored nor refused does: the empty text.
            if (result == protocol::kResultOk && !verdict.confirmed) result.clear();
            Text3->setText(fromResult(result));
        }
        explain(Text3, verdictText(verdict, QTime::currentTime()));
        if (!verdict.journalProblem.empty() && complain_) complain_(verdict.journalProblem);
    });
}

// Read: serial number first, then the credit.
void FrmPalmota::Command3_Click() {
    runAction([this] {
        // ReadSerialNumber's text goes to Text4, then ReadCredit's to Text1, each as its read
        // ends.
        till_.read([this](const Outcome& read) {
            QLineEdit* box = read.operation == Operation::ReadSerialNumber ? Text4 : Text1;
            box->setText(fromResult(resultText(read)));
            explainOutcome(box, read);
            return true;
        });
    });
}

// Dump the badge's first eight blocks; the replies are not shown.
void FrmPalmota::Command4_Click() {
    runAction([this] {
        const till::ReadVerdict dump = till_.dump();
        outcomes_.insert(outcomes_.end(), dump.operations.begin(), dump.operations.end());
    });
}

void FrmPalmota::Form_Unload() {
    // No read may start between the close and the end of the program.
    closing_ = true;
    Timer1->stop();
    firstIntervalRest_->stop();
    if (programEnd_) programEnd_();
}

void FrmPalmota::Text2_Change() {
    Text3->setText(QString());
    // The result is gone, and its reason with it.
    clearExplanation(Text3);
}

// Only digits are typed into the amount; control keys (Backspace, Ctrl+V...) pass.
void FrmPalmota::Text2_KeyPress(int& KeyAscii) {
    constexpr int kLastControlCode = 31;
    const bool digit = KeyAscii >= '0' && KeyAscii <= '9';
    if (!digit && KeyAscii > kLastControlCode) KeyAscii = 0;
}

void FrmPalmota::Timer1_Timer() {
    // On the desktop this layout was drawn for, a timer message is the last of all: it is
    // delivered only when no other input waits. A tick that came due during a read waits
    // likewise for whatever queued up meanwhile (a close request, a click on "Stop
    // Lecture"), and starts no read once they have ended continuous reading, restarted it
    // (its first read comes a full interval after the click) or closed the window.
    // Timer1 and the rest of the first interval are two timers: one may come due while the
    // other's tick waits for the queue here, and the two make one read.
    if (tickWaiting_) return;
    const int run = continuousRuns_;
    tickWaiting_ = true;
    QCoreApplication::processEvents();
    tickWaiting_ = false;
    if (closing_ || !ContinuousReading || run != continuousRuns_) return;
    if (firstReadDue_) {
        // A tick before the first interval is over waits out the rest of it, rounded up
        // to the millisecond a timer counts in; the first read then stops the wait, so
        // that a periodic tick that overtakes it reads only once.
        const Seconds left = *firstReadDue_ - clock_.now();
        if (left > Seconds::zero()) {
            firstIntervalRest_->start(std::chrono::ceil<std::chrono::milliseconds>(left));
            return;
        }
        firstReadDue_.reset();
        firstIntervalRest_->stop();
    }
    Command3_Click();
}

}  // namespace palmota::ui
