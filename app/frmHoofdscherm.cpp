#include "app/frmHoofdscherm.h"
#include "app/Lamp.h"

#include "dialogs/frmAbout.h"
#include "dialogs/frmInstellingen.h"
#include "dialogs/frmSnelkeuze.h"
#include "qtcommon/Charset.h"
#include "qtcommon/EditorLook.h"
#include "resources/Artwork.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>

using namespace std::chrono_literals;
using EditorLook::Twips;

namespace
{

constexpr auto kLampInterval = 50ms;

const QString kTitle = QStringLiteral("Tamvi");

struct LampColours {
    QColor on;
    QColor off;
};
const LampColours kTxColours{QColor(255, 128, 128), QColor(128, 0, 0)};
const LampColours kRxColours{QColor(128, 255, 128), QColor(0, 128, 0)};
const LampColours kLineColours{QColor(255, 255, 128), QColor(192, 192, 0)};

void SetColour(QWidget *widget, QPalette::ColorRole role, const QColor &colour)
{
    if (widget->palette().color(role) == colour)
        return;
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

void ShowLamp(Lamp *lamp, const LampColours &colours, bool on)
{
    lamp->SetColour(on ? colours.on : colours.off);
}

// Wakes the ticks at any key or click in the program's windows, dialogs included: what the user
// does there (a send, a hold released, a setting saved) may give them work.
class InputWatch final : public QObject
{
public:
    InputWatch(std::function<void()> wake, QObject *parent)
        : QObject(parent), wake_(std::move(wake))
    {
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        const QEvent::Type type = event->type();
        if (type == QEvent::KeyPress || type == QEvent::MouseButtonRelease ||
            type == QEvent::InputMethod)
            wake_();
        return false;
    }

private:
    std::function<void()> wake_;
};

Lamp *MakeLamp(QWidget *parent, const char *name, const QRect &geometry, const LampColours &colours)
{
    auto *lamp = new Lamp(parent);
    lamp->setObjectName(QString::fromLatin1(name));
    lamp->setGeometry(geometry);
    ShowLamp(lamp, colours, false);
    return lamp;
}

QPushButton *MakeButton(QWidget *parent, const std::string &name, const QString &caption,
                        const QRect &geometry)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromStdString(name));
    button->setGeometry(geometry);
    return button;
}

QLabel *MakeLabel(QWidget *parent, const char *name, const QString &text, int left, int top)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(Twips(left, top, 375, 255));
    return label;
}

// The control code of Ctrl with `key`, as a terminal of the serial world sends it.
std::optional<char> ControlCode(int key)
{
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return static_cast<char>(key - Qt::Key_A + 1);
    switch (key) {
    case Qt::Key_At:
    case Qt::Key_Space:
        return '\0';
    case Qt::Key_BracketLeft:
        return '\x1b';
    case Qt::Key_Backslash:
        return '\x1c';
    case Qt::Key_BracketRight:
        return '\x1d';
    case Qt::Key_AsciiCircum:
    case Qt::Key_6:
        return '\x1e';
    case Qt::Key_Underscore:
    case Qt::Key_Minus:
        return '\x1f';
    default:
        return std::nullopt;
    }
}

// Message boxes and menus of the program, each of which runs an event loop of its own.
void CloseBoxesAndMenus()
{
    QWidgetList open;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && (window->isModal() || window->windowType() == Qt::Popup))
            open.append(window);
    }
    for (QWidget *window : open)
        window->close();
}

bool HasControlCharacter(const QString &text)
{
    for (QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return true;
    }
    return false;
}

// The bytes a key press sends: its character in Windows-1252, control keys as their control
// code. Keys without a character (modifiers alone, arrows, function keys, Delete) send nothing,
// and neither do Alt combinations, which belong to the menu and the buttons' shortcuts. Tab is
// sent as well: every control here passes the focus to txtDummy anyway.
std::string TypedBytes(const QKeyEvent &key)
{
    const bool ctrl = key.modifiers().testFlag(Qt::ControlModifier);
    const bool alt = key.modifiers().testFlag(Qt::AltModifier);
    if (alt && !ctrl)
        return {};
    switch (key.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return ctrl ? "\n" : "\r";
    case Qt::Key_Backspace:
        return ctrl ? "\x7f" : "\b";
    case Qt::Key_Escape:
        return "\x1b";
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return "\t";
    default:
        break;
    }
    // Ctrl with Alt is AltGr on some systems: its character is in the text.
    if (ctrl && !alt) {
        const auto code = ControlCode(key.key());
        return code ? std::string(1, *code) : std::string();
    }
    if (key.text().isEmpty() || HasControlCharacter(key.text()))
        return {};
    return ToWindows1252(key.text());
}

} // namespace

frmHoofdscherm::frmHoofdscherm(Session &session, QWidget *parent)
    : QMainWindow(parent), session_(session), timer1_(Session::kReceiveInterval,
                                                      [this] {
                                                          ReceiveTick();
                                                          return session_.Rest();
                                                      }),
      timerLed_(kLampInterval, [this] {
          LampTick();
          return session_.LampsAtRest() ? Session::kRestUntilActivity : 0ms;
      })
{
    setObjectName(QStringLiteral("frmHoofdscherm"));

    auto *client = new QWidget(this);
    client->setFixedSize(Twips(0, 0, 11865, 7800).size());
    setCentralWidget(client);
    layout()->setSizeConstraint(QLayout::SetFixedSize); // the controls stand at fixed places

    EditorLook::UseLayoutFont(*client); // the menu keeps the desktop's font: it has room

    BuildLogView(client);
    BuildButtons(client);
    BuildLamps(client);
    BuildMenu();
    WatchTypedKeys();
    KeepFocusOnDummy(client);

    session_.SetView(this);
    qApp->installEventFilter(new InputWatch([this] { WakeTicks(); }, this));
}

frmHoofdscherm::~frmHoofdscherm()
{
    session_.SetView(nullptr);
}

void frmHoofdscherm::StartUp()
{
    startingUp_ = true;
    session_.StartUp();
    startingUp_ = false;
    if (endAfterStartUp_) {
        close();
        return;
    }
    WakeTicks();
}

void frmHoofdscherm::WakeTicks()
{
    timer1_.Wake();
    timerLed_.Wake();
}

void frmHoofdscherm::setVisible(bool visible)
{
    QMainWindow::setVisible(visible && !ended_);
}

void frmHoofdscherm::BuildLogView(QWidget *client)
{
    auto *rectangle = new QFrame(client);
    rectangle->setFrameStyle(QFrame::Box | QFrame::Plain);
    // Lines from (0, 120) to (11760, 6360), one pixel wide with both ends drawn.
    rectangle->setGeometry(Twips(0, 120, 11760 + 15, 6240 + 15));

    // A fixed font that has the DOS glyphs; 9 points as the classic terminal font had, about
    // 106 characters of a box. Longer lines show their beginning, as every line is in the log
    // file whole.
    QFont font(QStringLiteral("DejaVu Sans Mono"), 9);
    font.setStyleHint(QFont::Monospace);
    // One glyph per byte, nothing to join or reorder: laying the lines out without shaping keeps
    // a busy line's redraws cheap. Sharp glyphs without smoothing, as the classic terminal
    // font's bitmaps were, are also much cheaper to draw on a line that redraws every row five
    // times a second.
    font.setStyleStrategy(QFont::StyleStrategy(QFont::PreferNoShaping | QFont::NoAntialias));
    for (int i = 0; i < RSinput::kLines; ++i) {
        auto *line = new QLineEdit(client);
        txtLog_[static_cast<std::size_t>(i)] = line;
        PlaceLogBox(static_cast<std::size_t>(i));
        line->setFont(font);
        line->setReadOnly(true);
        line->setFrame(false);
        // Opaque, so redrawing a line repaints neither the window behind it nor its neighbours;
        // the boxes overlap only in their blank margins.
        SetColour(line, QPalette::Base, palette().color(QPalette::Button));
        line->setAttribute(Qt::WA_OpaquePaintEvent);
    }
}

void frmHoofdscherm::BuildButtons(QWidget *client)
{
    constexpr std::array<int, 4> lefts = {120, 1680, 3240, 4800};
    for (std::size_t i = 0; i < cmdTx1_.size(); ++i) {
        auto *button = MakeButton(client, "CmdTx1_" + std::to_string(i), QStringLiteral("Snel 1"),
                                  Twips(lefts[i % 4], i < 4 ? 6480 : 7080, 1455, 495));
        connect(button, &QPushButton::clicked, this,
                [this, i] { session_.QuickSend(static_cast<int>(i)); });
        cmdTx1_[i] = button;
    }

    cmdMode_ =
        MakeButton(client, "CmdMode", QStringLiteral("Mode: ASC II"), Twips(6360, 6480, 1455, 375));
    connect(cmdMode_, &QPushButton::clicked, this, [this] { session_.ToggleDisplayMode(); });
    cmdStartStop_ = MakeButton(client, "CmdStartStop", QStringLiteral("Log hold"),
                               Twips(6360, 6840, 1455, 375));
    connect(cmdStartStop_, &QPushButton::clicked, this, [this] { session_.ToggleHold(); });
    cmdWisLog_ = MakeButton(client, "CmdWisLog", QStringLiteral("Clear LogBuffer"),
                            Twips(6360, 7200, 1455, 375));
    SetColour(cmdWisLog_, QPalette::Button, QColor(255, 192, 192));
    connect(cmdWisLog_, &QPushButton::clicked, this, [this] { session_.ClearLog(); });

    txtDummy_ = new QLineEdit(QStringLiteral("Text1"), client);
    txtDummy_->setObjectName(QStringLiteral("txtDummy"));
    txtDummy_->setGeometry(Twips(8640, 7560, 975, 285));
    txtDummy_->setFrame(false);
    SetColour(txtDummy_, QPalette::Text, QColor(192, 192, 192));
    SetColour(txtDummy_, QPalette::Base, palette().color(QPalette::Button));

    auto *image = new QLabel(client);
    image->setObjectName(QStringLiteral("Image1"));
    image->setGeometry(Twips(9720, 6600, 2040, 1035));
    image->setAlignment(Qt::AlignCenter);
    image->setPixmap(Artwork::Logo(image->size(), image->devicePixelRatioF()));
}

void frmHoofdscherm::BuildLamps(QWidget *client)
{
    auto *frame = new QGroupBox(client);
    frame->setObjectName(QStringLiteral("FrameDatacom"));
    frame->setGeometry(Twips(7920, 6480, 1695, 1095));

    MakeLabel(frame, "Label3", QStringLiteral("TxD"), 480, 360);
    MakeLabel(frame, "Label4", QStringLiteral("RxD"), 1200, 360);
    labLinkStatus_ = MakeLabel(frame, "LabLinkStatus", QStringLiteral("RTS"), 480, 720);
    labLinkStatus_->setToolTip(QStringLiteral("RTS status, click on text to change"));
    labLinkStatus_->installEventFilter(this);
    MakeLabel(frame, "Label2", QStringLiteral("CTS"), 1200, 720);
    // The lamps lie on top of the labels: a label's box reaches a pixel into the next lamp, and
    // lying over it would have the label drawn again at every blink.
    shpTx_ = MakeLamp(frame, "ShpTx", Twips(120, 360, 255, 135), kTxColours);
    shpRx_ = MakeLamp(frame, "ShpRx", Twips(840, 360, 255, 135), kRxColours);
    shpRts_ = MakeLamp(frame, "ShpRTS", Twips(120, 720, 255, 135), kLineColours);
    shpCts_ = MakeLamp(frame, "ShpCTS", Twips(840, 720, 255, 135), kLineColours);
}

void frmHoofdscherm::BuildMenu()
{
    const auto add = [this](const char *name, const QString &caption, auto handler) {
        QAction *action = menuBar()->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, handler);
    };
    add("Instellingen", QStringLiteral("&Setup"),
        [this] { ShowSingle(settingsDialog_, session_); });
    add("Snelkeuze", QStringLiteral("&Speedbuttons"),
        [this] { ShowSingle(quickSendDialog_, session_); });
    add("Einde", QStringLiteral("&Quit"), [this] { close(); });
    add("Info", QStringLiteral("&Info"), [this] { ShowSingle(aboutDialog_); });
}

// Every control that can hold the focus sends what is typed on it, and so does the bare window.
void frmHoofdscherm::WatchTypedKeys()
{
    for (QLineEdit *line : txtLog_)
        line->installEventFilter(this);
    for (QPushButton *button : cmdTx1_)
        button->installEventFilter(this);
    for (QWidget *control :
         std::initializer_list<QWidget *>{cmdMode_, cmdStartStop_, cmdWisLog_, txtDummy_, this})
        control->installEventFilter(this);
}

// A click leaves the focus on txtDummy, the one control that takes part in composing: a dead key
// typed after a click on a button or a log line still makes its accented character.
void frmHoofdscherm::KeepFocusOnDummy(QWidget *client)
{
    for (QWidget *control : client->findChildren<QWidget *>()) {
        if (control != txtDummy_)
            control->setFocusPolicy(Qt::NoFocus);
    }
    // Its caret stands still: every blink redraws the field, which on a quiet line cost more
    // than both timers' ticks together. Any other field blinks as the desktop has it (-1).
    // The focus also changes while the window is being destroyed: the handler knows only the
    // field, and goes with it.
    connect(qApp, &QApplication::focusChanged, txtDummy_,
            [dummy = txtDummy_](QWidget *, QWidget *now) {
                QApplication::setCursorFlashTime(now == dummy ? 0 : -1);
            });
    txtDummy_->setFocus();
}

void frmHoofdscherm::SetCaption(const std::string &text)
{
    setWindowTitle(FromWindows1252(text));
}

void frmHoofdscherm::SetModeCaption(const std::string &text)
{
    cmdMode_->setText(FromWindows1252(text));
}

void frmHoofdscherm::SetHoldCaption(const std::string &text)
{
    cmdStartStop_->setText(FromWindows1252(text));
}

void frmHoofdscherm::SetQuickButton(int index, bool visible, const std::string &caption)
{
    QPushButton *button = cmdTx1_.at(static_cast<std::size_t>(index));
    button->setText(FromWindows1252(caption));
    button->setVisible(visible);
}

void frmHoofdscherm::ShowMessage(const std::string &text)
{
    EditorLook::ShowBox(this, QMessageBox::NoIcon, FromWindows1252(text));
}

void frmHoofdscherm::ShowWarning(const std::string &text)
{
    EditorLook::ShowBox(this, QMessageBox::Warning, FromWindows1252(text));
}

// What the tick received may light the receive lamp, and a loss or a reopen changes CTS: the
// lamp tick looks once more.
void frmHoofdscherm::ReceiveTick()
{
    session_.ReceiveTick();
    ShowLogLines();
    timerLed_.Wake();
}

void frmHoofdscherm::LampTick()
{
    const LampStates &lamps = session_.LampTick();
    // Most ticks change no lamp; those touch no widget at all.
    if (lamps == lampsShown_)
        return;
    lampsShown_ = lamps;
    ShowLamp(shpTx_, kTxColours, lamps.tx);
    ShowLamp(shpRx_, kRxColours, lamps.rx);
    ShowLamp(shpCts_, kLineColours, lamps.cts);
    ShowLamp(shpRts_, kLineColours, lamps.rts);
}

// Only boxes whose line changed are set again, and when the view scrolled the boxes move up with
// their lines: laying out a line's text is what costs, and on a busy line every row scrolls on
// every tick while only a few lines are new.
void frmHoofdscherm::ShowLogLines()
{
    const RSinput::Lines &lines = session_.LogLines();
    MoveBoxesUp(RowsScrolled(lines));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] == shownLines_[i])
            continue;
        shownLines_[i] = lines[i];
        txtLog_[i]->setText(FromCp437(lines[i]));
        txtLog_[i]->setCursorPosition(0);
    }
}

// How many rows the buffer scrolled since the view was last shown: the shown lines, but for the
// last one (it may have grown before it was finished), now stand that many rows higher.
std::size_t frmHoofdscherm::RowsScrolled(const RSinput::Lines &lines) const
{
    if (lines.front() == shownLines_.front())
        return 0;
    for (std::size_t rows = 1; rows + 1 < lines.size(); ++rows) {
        if (std::equal(shownLines_.begin() + static_cast<std::ptrdiff_t>(rows),
                       shownLines_.end() - 1, lines.begin()))
            return rows;
    }
    return 0;
}

// The boxes of the top rows go to the bottom, where they take the new lines; each box keeps the
// name of the row it stands in.
void frmHoofdscherm::MoveBoxesUp(std::size_t rows)
{
    if (rows == 0)
        return;
    std::rotate(txtLog_.begin(), txtLog_.begin() + static_cast<std::ptrdiff_t>(rows),
                txtLog_.end());
    std::rotate(shownLines_.begin(), shownLines_.begin() + static_cast<std::ptrdiff_t>(rows),
                shownLines_.end());
    for (std::size_t row = 0; row < txtLog_.size(); ++row)
        PlaceLogBox(row);
}

void frmHoofdscherm::PlaceLogBox(std::size_t row)
{
    QLineEdit *box = txtLog_[row];
    box->setObjectName(QStringLiteral("TxtLog_%1").arg(row));
    box->setGeometry(Twips(120, 240 + 240 * static_cast<int>(row), 11535, 285));
}

// A log file that cannot be written is shown without stopping anything: once per failure, in a
// window of its own that goes away when a line could be written again.
void frmHoofdscherm::ShowLogFailure(const std::string &text)
{
    if (logFailureShown_) {
        if (logFailureBox_)
            logFailureBox_->setText(FromWindows1252(text));
        return;
    }
    logFailureShown_ = true;
    logFailureBox_ =
        new QMessageBox(QMessageBox::Warning, kTitle, FromWindows1252(text), QMessageBox::Ok, this);
    logFailureBox_->setObjectName(QStringLiteral("LogFailure"));
    logFailureBox_->setAttribute(Qt::WA_DeleteOnClose);
    logFailureBox_->setAttribute(Qt::WA_ShowWithoutActivating); // typing goes on to the line
    logFailureBox_->setModal(false);
    logFailureBox_->show();
}

void frmHoofdscherm::EndLogFailure()
{
    logFailureShown_ = false;
    if (logFailureBox_)
        logFailureBox_->close();
}

bool frmHoofdscherm::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
        if (SendTypedBytes(TypedBytes(*static_cast<QKeyEvent *>(event))))
            return true;
        break;
    case QEvent::InputMethod:
        // Characters composed by an input method come without a key press; none may land in a
        // box either.
        SendTypedBytes(ToWindows1252(static_cast<QInputMethodEvent *>(event)->commitString()));
        return true;
    // A double click arrives as press, release, double click, release: it is one click, so the
    // release that ends it switches nothing.
    case QEvent::MouseButtonDblClick:
        if (watched == labLinkStatus_)
            rtsDoubleClick_ = true;
        break;
    case QEvent::MouseButtonRelease:
        if (watched == labLinkStatus_) {
            const auto *mouse = static_cast<QMouseEvent *>(event);
            const bool click = mouse->button() == Qt::LeftButton && !rtsDoubleClick_ &&
                               labLinkStatus_->rect().contains(mouse->position().toPoint());
            rtsDoubleClick_ = false;
            if (click)
                session_.ToggleRts();
        }
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

bool frmHoofdscherm::SendTypedBytes(const std::string &bytes)
{
    if (bytes.empty())
        return false;
    for (char byte : bytes)
        session_.SendTypedChar(static_cast<unsigned char>(byte));
    FocusDummy();
    return true;
}

void frmHoofdscherm::FocusDummy()
{
    txtDummy_->clear();
    txtDummy_->setFocus(Qt::OtherFocusReason);
}

template <typename Dialog, typename... Args>
void frmHoofdscherm::ShowSingle(QPointer<Dialog> &dialog, Args &...args)
{
    if (!dialog)
        dialog = new Dialog(args..., this);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

// Quit, the close box and the termination signals all end the program alike: the unfinished
// line and the end line reach the log, the port closes, and no window of the program stays.
// A signal may come while a box or a menu runs its own event loop: closing it ends that loop.
void frmHoofdscherm::closeEvent(QCloseEvent *event)
{
    CloseBoxesAndMenus();
    if (startingUp_) {
        // The start line is still to be written: the run ends once start-up is through.
        endAfterStartUp_ = true;
        event->ignore();
        return;
    }
    if (!ended_) {
        ended_ = true;
        timer1_.End();
        timerLed_.End();
        session_.ReceiveTick(); // bytes that came after the last tick belong in the log too
        session_.Quit();
        // Hidden, not deleted: a dialog may lie on the stack below its box's event loop (a failed
        // Save's message), and that box is its child. The window deletes them with itself.
        for (QWidget *window : std::initializer_list<QWidget *>{settingsDialog_, quickSendDialog_,
                                                                aboutDialog_, logFailureBox_}) {
            if (window) {
                window->setAttribute(Qt::WA_DeleteOnClose, false);
                window->close();
            }
        }
        emit Ended();
    }
    event->accept();
}
