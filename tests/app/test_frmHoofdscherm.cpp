#include "app/Lamp.h"
#include "app/TerminationSignals.h"
#include "app/frmHoofdscherm.h"
#include "qtcommon/Charset.h"

#include "dialogs/frmAbout.h"
#include "settings/LeesIniFile.h"
#include "support/FakeSerialPort.h"
#include "support/MainWindowRig.h"

#include <QAction>
#include <QApplication>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

namespace
{

const QColor kTxOn(255, 128, 128), kTxOff(128, 0, 0);
const QColor kRxOn(128, 255, 128), kRxOff(0, 128, 0);
const QColor kLineOn(255, 255, 128), kLineOff(192, 192, 0);

QColor Fill(QWidget *lamp)
{
    return static_cast<Lamp *>(lamp)->Colour();
}

// The main window over a fake port; start-up's message boxes are answered with OK and noted.
struct Rig : MainWindowRig<FakeSerialPort> {
    // A settings file that opens port 1 on the fake port, with a first quick-send button.
    SettingsRecord Settings(const std::string &firstCaption = {}) const
    {
        SettingsRecord settings;
        settings.compoort = 1;
        settings.baudrate = 4;
        settings.bits = 1;
        settings.Sneltekst[0] = firstCaption;
        return settings;
    }
    // Started on those settings with a plain-text log: the bytes themselves, a line at each CR
    // or LF.
    void StartPlainText()
    {
        SettingsRecord settings = Settings();
        settings.AnsiLogMode = true;
        Write(settings);
        Start();
    }
};

QMessageBox *VisibleLogFailure(const Rig &rig)
{
    QMessageBox *shown = nullptr;
    for (QMessageBox *box : rig.window->findChildren<QMessageBox *>("LogFailure")) {
        if (box->isVisible()) {
            EXPECT_EQ(shown, nullptr) << "more than one log failure window";
            shown = box;
        }
    }
    return shown;
}

TEST(MainWindow, StartsWithoutSettingsFile)
{
    Rig rig;
    rig.Start();

    ASSERT_EQ(rig.messages.size(), 1U);
    EXPECT_EQ(rig.messages[0], "Tamvi|Compoort niet te openen. Controleer instellingen");
    EXPECT_EQ(rig.window->windowTitle(), " Tamvi");
    EXPECT_EQ(rig.Text("CmdMode"), "Mode: ASC II");
    EXPECT_EQ(rig.Text("CmdStartStop"), "Stop log");
    EXPECT_EQ(rig.LastLogLine(), "Tamvi van Dranel BV gestart");
    for (const std::string &call : rig.port.calls)
        EXPECT_NE(call, "Open()");
}

TEST(MainWindow, WarnsOfASettingsFileThatCannotBeRead)
{
    Rig rig;
    std::filesystem::create_directory(rig.folder.Path() / "tamvi.set");
    rig.Start();
    ASSERT_EQ(rig.messages.size(), 2U);
    EXPECT_TRUE(rig.messages[0].startsWith("warning:Tamvi|Instellingen niet te lezen: "))
        << rig.messages[0].toStdString();
    EXPECT_EQ(rig.messages[1], "Tamvi|Compoort niet te openen. Controleer instellingen");
}

TEST(MainWindow, LaysOutEveryControlOfTheLayout)
{
    Rig rig;
    rig.Write(rig.Settings());
    rig.Start();

    EXPECT_TRUE(rig.messages.empty());
    EXPECT_EQ(rig.window->windowTitle(), " Tamvi by Dranel            Settings: Com1 9600,N,8,1");
    rig.window->show();
    EXPECT_EQ(rig.window->centralWidget()->size(), QSize(791, 520));
    EXPECT_EQ(rig.window->minimumSize(), rig.window->maximumSize());

    EXPECT_EQ(rig.LogBox(0)->geometry(), QRect(8, 16, 769, 19));
    EXPECT_EQ(rig.LogBox(24)->geometry(), QRect(8, 400, 769, 19));
    EXPECT_TRUE(rig.LogBox(24)->isReadOnly());
    EXPECT_EQ(rig.LogBox(7)->font().family(), "DejaVu Sans Mono");
    EXPECT_EQ(rig.Find("CmdTx1_0")->geometry(), QRect(8, 432, 97, 33));
    EXPECT_EQ(rig.Find("CmdTx1_7")->geometry(), QRect(320, 472, 97, 33));
    EXPECT_EQ(rig.Find("CmdMode")->geometry(), QRect(424, 432, 97, 25));
    EXPECT_EQ(rig.Find("CmdStartStop")->geometry(), QRect(424, 456, 97, 25));
    EXPECT_EQ(rig.Find("CmdWisLog")->geometry(), QRect(424, 480, 97, 25));
    EXPECT_EQ(rig.Text("CmdWisLog"), "Clear LogBuffer");
    EXPECT_EQ(rig.Find("CmdWisLog")->palette().color(QPalette::Button), QColor(255, 192, 192));
    EXPECT_EQ(rig.Find("FrameDatacom")->geometry(), QRect(528, 432, 113, 73));
    EXPECT_EQ(rig.Find("ShpTx")->geometry(), QRect(8, 24, 17, 9));
    EXPECT_EQ(rig.Find("ShpCTS")->geometry(), QRect(56, 48, 17, 9));
    EXPECT_EQ(rig.Find<QLabel>("Label4")->text(), "RxD");
    EXPECT_EQ(rig.Find("Label2")->geometry(), QRect(80, 48, 25, 17));
    auto *rts = rig.Find<QLabel>("LabLinkStatus");
    EXPECT_EQ(rts->text(), "RTS");
    EXPECT_EQ(rts->toolTip(), "RTS status, click on text to change");
    auto *dummy = rig.Find<QLineEdit>("txtDummy");
    EXPECT_EQ(dummy->geometry(), QRect(576, 504, 65, 19));
    EXPECT_EQ(dummy->text(), "Text1");
    EXPECT_EQ(dummy->palette().color(QPalette::Text), QColor(192, 192, 192));
    EXPECT_EQ(rig.Find("Image1")->geometry(), QRect(648, 440, 136, 69));
    EXPECT_EQ(Fill(rig.Find("ShpTx")), kTxOff);
    EXPECT_EQ(Fill(rig.Find("ShpRx")), kRxOff);

    QStringList menu;
    for (QAction *action : rig.window->menuBar()->actions()) {
        menu << action->text();
        EXPECT_EQ(action->menu(), nullptr);
    }
    EXPECT_EQ(menu, QStringList({"&Setup", "&Speedbuttons", "&Quit", "&Info"}));
}

// The layout's captions fit their controls at a desktop font larger than the layout's, and the
// logo is painted for the screen's pixel ratio (the suite runs this once more at a scale factor
// of 2).
TEST(MainWindow, CaptionsFitAtALargeDesktopFontAndTheLogoIsSharp)
{
    const QFont desktop = QApplication::font();
    QFont large = desktop;
    large.setPointSize(12);
    QApplication::setFont(large);
    Rig rig;
    rig.Write(rig.Settings("HELLO + BCC"));
    rig.Start();
    rig.window->show();

    for (QWidget *control : rig.window->centralWidget()->findChildren<QWidget *>()) {
        if ((qobject_cast<QPushButton *>(control) || qobject_cast<QLabel *>(control)) &&
            !control->isHidden()) {
            EXPECT_LE(control->sizeHint().width(), control->width())
                << control->objectName().toStdString();
            EXPECT_LE(control->fontMetrics().height(), control->height())
                << control->objectName().toStdString();
        }
    }
    const auto *image = rig.Find<QLabel>("Image1");
    const QPixmap logo = image->pixmap();
    EXPECT_EQ(logo.devicePixelRatio(), image->devicePixelRatioF());
    EXPECT_EQ(logo.deviceIndependentSize().toSize().boundedTo(image->size()),
              logo.deviceIndependentSize().toSize());
    QApplication::setFont(desktop);
}

TEST(MainWindow, ButtonsChangeTheirCaptionsAndTheView)
{
    Rig rig;
    SettingsRecord settings = rig.Settings();
    settings.Start1 = "2";
    rig.Write(settings);
    rig.Start();
    auto *mode = rig.Find<QPushButton>("CmdMode");
    auto *hold = rig.Find<QPushButton>("CmdStartStop");

    rig.Receive("A\x02"
                "B");
    EXPECT_EQ(rig.LogBox(0)->text(), "A");
    EXPECT_EQ(rig.LogBox(1)->text(), "->START: [STX]B");

    QTest::mouseClick(mode, Qt::LeftButton);
    EXPECT_EQ(mode->text(), "Mode: HEX");
    rig.Receive("C");
    EXPECT_EQ(rig.LogBox(1)->text(), "->START: [STX]B0x43 ");
    QTest::mouseClick(mode, Qt::LeftButton);
    EXPECT_EQ(mode->text(), "Mode: ASC II");

    QTest::mouseClick(hold, Qt::LeftButton);
    EXPECT_EQ(hold->text(), "Continue");
    rig.Receive("D");
    EXPECT_EQ(rig.LogBox(1)->text(), "->START: [STX]B0x43 ");
    QTest::mouseClick(rig.Find<QPushButton>("CmdWisLog"), Qt::LeftButton);
    rig.window->ReceiveTick();
    EXPECT_EQ(rig.LogBox(0)->text(), "");
    EXPECT_EQ(rig.LogBox(1)->text(), "");
    QTest::mouseClick(hold, Qt::LeftButton);
    EXPECT_EQ(hold->text(), "Log hold");
    rig.window->ReceiveTick();
    EXPECT_EQ(rig.LogBox(0)->text(), "D");
}

TEST(MainWindow, ShowsEveryByteAsItsDosGlyph)
{
    Rig rig;
    rig.StartPlainText();

    rig.Receive(std::string("\x01\x00\xB3\xE1"
                            "a",
                            5));
    EXPECT_EQ(rig.LogBox(0)->text(), QStringLiteral("\u263A \u2502\u00DFa"));
    rig.Receive(std::string(170, 'x')); // longer than a box: its beginning stays in view
    EXPECT_EQ(rig.LogBox(0)->cursorPosition(), 0);
}

// Boxes move up with their lines when the view scrolls; whatever moved, each row's box must show
// that row's line and carry that row's name, also after a clear and with repeated lines.
TEST(MainWindow, EveryRowShowsItsLineWhileTheViewScrolls)
{
    Rig rig;
    rig.StartPlainText();

    const auto expectRowsMatchTheBuffer = [&rig] {
        const RSinput::Lines &lines = rig.session.LogLines();
        for (int i = 0; i < RSinput::kLines; ++i) {
            const auto boxes =
                rig.window->findChildren<QLineEdit *>(QStringLiteral("TxtLog_%1").arg(i));
            ASSERT_EQ(boxes.size(), 1) << "row " << i;
            EXPECT_EQ(boxes.front()->text(), FromCp437(lines[static_cast<std::size_t>(i)]))
                << "row " << i;
            EXPECT_EQ(boxes.front()->y(), rig.LogBox(0)->y() + 16 * i) << "row " << i;
        }
    };
    int next = 0;
    const auto lines = [&next](int count, const char *tail = "") {
        std::string bytes;
        for (int i = 0; i < count; ++i)
            bytes += "line " + std::to_string(next++) + "\r\n";
        return bytes + tail;
    };
    for (const int count : {3, 30, 1, 7, 24, 25, 2}) {
        rig.Receive(lines(count, "par"));
        expectRowsMatchTheBuffer();
    }
    rig.Receive("tial\r\nsame\r\nsame\r\nsame\r\n");
    expectRowsMatchTheBuffer();
    rig.window->findChild<QPushButton *>(QStringLiteral("CmdWisLog"))->click();
    rig.Receive(lines(2));
    expectRowsMatchTheBuffer();
}

TEST(MainWindow, TypedKeysAreSentAndMoveTheFocusToTheDummy)
{
    Rig rig;
    rig.Write(rig.Settings());
    rig.Start();
    rig.window->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(rig.window.get()));
    rig.Receive("line");
    auto *line = rig.LogBox(0);
    auto *dummy = rig.Find<QLineEdit>("txtDummy");
    EXPECT_EQ(QApplication::cursorFlashTime(), 0) << "the focus sink's caret stands still";

    line->setFocus();
    EXPECT_GT(QApplication::cursorFlashTime(), 0) << "any other field's caret blinks";
    QTest::keyClick(line, Qt::Key_A);
    EXPECT_EQ(rig.port.written, "a");
    EXPECT_EQ(line->text(), "line");
    EXPECT_EQ(rig.window->focusWidget(), dummy);
    EXPECT_EQ(dummy->text(), "");

    QWidget *mode = rig.Find("CmdMode");
    mode->setFocus();
    QTest::keyClick(mode, Qt::Key_Space); // sent, not a click
    EXPECT_EQ(rig.Text("CmdMode"), "Mode: ASC II");
    EXPECT_EQ(rig.window->focusWidget(), dummy);

    rig.port.written.clear();
    QTest::keyClick(dummy, Qt::Key_Return);
    QTest::keyClick(dummy, Qt::Key_Backspace);
    QTest::keyClick(dummy, Qt::Key_Escape);
    QTest::keyClick(dummy, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(dummy, Qt::Key_Tab);
    QTest::keyClick(dummy, 'B');
    EXPECT_EQ(rig.port.written, "\r\b\x1b\x03\tB");
    EXPECT_EQ(dummy->text(), "");
    EXPECT_EQ(rig.window->focusWidget(), dummy);

    rig.port.written.clear();
    for (Qt::Key key : {Qt::Key_Left, Qt::Key_F1, Qt::Key_Shift, Qt::Key_Delete})
        QTest::keyClick(dummy, key);
    QTest::keyClick(dummy, Qt::Key_X, Qt::AltModifier);
    EXPECT_EQ(rig.port.written, "");

    QKeyEvent euro(QEvent::KeyPress, 0, Qt::NoModifier, QStringLiteral("\u20AC\u00E9"));
    QApplication::sendEvent(rig.Find("CmdTx1_2"), &euro);
    QKeyEvent bare(QEvent::KeyPress, Qt::Key_Z, Qt::NoModifier, QStringLiteral("z"));
    QApplication::sendEvent(rig.window.get(), &bare);
    EXPECT_EQ(rig.port.written, "\x80\xE9z");
}

// A dead key and a letter reach the window as an input method's composed character, and only
// while the focus is on a control that takes part in composing: it must stay there whatever
// was clicked.
TEST(MainWindow, ComposedCharactersAreSentAfterAClickOnAnyControl)
{
    Rig rig;
    rig.Write(rig.Settings("ENQ"));
    rig.Start();
    rig.window->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(rig.window.get()));
    for (const char *clicked :
         {"CmdTx1_0", "CmdMode", "CmdStartStop", "CmdWisLog", "TxtLog_3", "LabLinkStatus"}) {
        SCOPED_TRACE(clicked);
        QTest::mouseClick(rig.Find(clicked), Qt::LeftButton);
        QObject *focus = QGuiApplication::focusObject();
        ASSERT_NE(focus, nullptr);
        QInputMethodQueryEvent query(Qt::ImEnabled);
        QCoreApplication::sendEvent(focus, &query);
        EXPECT_TRUE(query.value(Qt::ImEnabled).toBool()) << focus->objectName().toStdString();

        rig.port.written.clear();
        QInputMethodEvent composed;
        composed.setCommitString(QStringLiteral("\u00E9"));
        QCoreApplication::sendEvent(focus, &composed);
        EXPECT_EQ(rig.port.written, "\xE9");
    }
}

TEST(MainWindow, LampsFollowActivityAndTheModemLines)
{
    Rig rig;
    rig.Write(rig.Settings());
    rig.Start();
    QWidget *tx = rig.Find("ShpTx");
    QWidget *rx = rig.Find("ShpRx");
    QWidget *rts = rig.Find("ShpRTS");
    QWidget *cts = rig.Find("ShpCTS");

    QTest::keyClick(rig.Find("txtDummy"), Qt::Key_A);
    rig.Receive("x");
    std::vector<QColor> txSeen, rxSeen;
    for (int tick = 0; tick < 4; ++tick) {
        rig.window->LampTick();
        txSeen.push_back(Fill(tx));
        rxSeen.push_back(Fill(rx));
    }
    EXPECT_EQ(txSeen, std::vector<QColor>({kTxOn, kTxOn, kTxOff, kTxOff}));
    EXPECT_EQ(rxSeen, std::vector<QColor>({kRxOn, kRxOn, kRxOff, kRxOff}));

    EXPECT_EQ(Fill(rts), kLineOff);
    EXPECT_EQ(Fill(cts), kLineOff);
    rig.port.cts = true;
    rig.port.rts = true;
    rig.window->LampTick();
    EXPECT_EQ(Fill(rts), kLineOn);
    EXPECT_EQ(Fill(cts), kLineOn);
}

// What the screen shows of a lamp, whether the lamp draws itself or the window system fills it
// (on X11, run again under Xvfb): its colour inside a black box, a new colour once it changes.
TEST(MainWindow, LampsShowTheirColourOnTheScreen)
{
    Rig rig;
    rig.Write(rig.Settings());
    rig.Start();
    rig.window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(rig.window.get()));
    QWidget *rx = rig.Find("ShpRx");
    const auto shown = [rx](QPoint at) {
        const QPoint global = rx->mapToGlobal(at);
        return rx->screen()->grabWindow(0, global.x(), global.y(), 1, 1).toImage().pixelColor(0, 0);
    };
    const QPoint inside = rx->rect().center();
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown(inside) == kRxOff; }, 2000));
    EXPECT_EQ(shown({0, 0}), QColor(Qt::black));

    rig.Receive("x");
    rig.window->LampTick();
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown(inside) == kRxOn; }, 2000));
    EXPECT_EQ(shown({1, 1}), kRxOn);
    EXPECT_EQ(shown({rx->width() - 1, rx->height() - 1}), QColor(Qt::black));
}

// On a quiet line neither tick touches the port; bytes (the port's activity) and a key bring
// them back at once, and they rest again once the lamps are out.
TEST(MainWindow, TheTicksRestOnAQuietLineAndWakeForWhatComes)
{
    Rig rig;
    rig.StartPlainText();
    const auto restsAfter = [&](int milliseconds) {
        QTest::qWait(milliseconds); // the ticks still running find nothing to do
        rig.port.calls.clear();
        QTest::qWait(600);
        return rig.port.calls.empty();
    };
    EXPECT_TRUE(restsAfter(300));

    rig.port.Feed("A\r\n");
    rig.window->WakeTicks();
    EXPECT_TRUE(QTest::qWaitFor([&] { return rig.LastLogLine() == "A"; }, 1000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return Fill(rig.Find("ShpRx")) == kRxOn; }, 1000));
    EXPECT_TRUE(restsAfter(400));
    EXPECT_EQ(Fill(rig.Find("ShpRx")), kRxOff);

    QTest::keyClick(rig.Find("txtDummy"), Qt::Key_B);
    EXPECT_EQ(rig.port.written, "b");
    EXPECT_TRUE(QTest::qWaitFor([&] { return Fill(rig.Find("ShpTx")) == kTxOn; }, 1000));
    EXPECT_TRUE(restsAfter(400));
}

TEST(MainWindow, RtsLabelSwitchesRtsOnlyWithoutHandshake)
{
    for (std::int16_t handShake : {0, 1, 2}) {
        SCOPED_TRACE(handShake);
        Rig rig;
        SettingsRecord settings = rig.Settings();
        settings.HandShake = handShake;
        rig.Write(settings);
        rig.Start();
        auto *label = rig.Find("LabLinkStatus");
        const bool rtsAtStart = rig.port.rts;

        QTest::mouseClick(label, Qt::LeftButton);
        if (handShake == 0) {
            EXPECT_EQ(rig.LastLogLine(), "STATUS: RTS made ACTIVE (+12V).");
            EXPECT_TRUE(rig.port.rts);
            QTest::mouseClick(label, Qt::LeftButton);
            EXPECT_EQ(rig.LastLogLine(), "STATUS: RTS made INACTIVE (-12V).");
            EXPECT_FALSE(rig.port.rts);
        } else {
            EXPECT_EQ(rig.LastLogLine(),
                      "STATUS: Wrong HandShakeType, no manual adjustment possible.");
            EXPECT_EQ(rig.port.rts, rtsAtStart);
        }
        QTest::mouseClick(rig.Find("ShpRTS"), Qt::LeftButton); // the lamp is no switch
        EXPECT_EQ(rig.LogLines().size(), handShake == 0 ? 4U : 3U);

        // A double click is one click: one switch, one line. The window system delivers it as
        // press, release, double click, release.
        QTest::mousePress(label, Qt::LeftButton);
        QTest::mouseRelease(label, Qt::LeftButton);
        QTest::mouseDClick(label, Qt::LeftButton);
        QTest::mouseRelease(label, Qt::LeftButton);
        EXPECT_EQ(rig.LogLines().size(), handShake == 0 ? 5U : 4U);
        if (handShake == 0) {
            EXPECT_EQ(rig.LastLogLine(), "STATUS: RTS made ACTIVE (+12V).");
            EXPECT_TRUE(rig.port.rts);
        }
    }
}

TEST(MainWindow, QuitAndTheCloseBoxEndTheRunAlike)
{
    for (bool useQuit : {true, false}) {
        SCOPED_TRACE(useQuit ? "Quit" : "close box");
        Rig rig;
        SettingsRecord settings = rig.Settings();
        settings.Start1 = "2";
        rig.Write(settings);
        rig.Start();
        rig.window->show();
        QSignalSpy ended(rig.window.get(), &frmHoofdscherm::Ended);
        rig.Receive("done\x02");
        rig.port.Feed("tail"); // arrived after the last tick: still logged

        if (useQuit)
            rig.window->findChild<QAction *>("Einde")->trigger();
        else
            rig.window->close();
        rig.window->close(); // a second ending writes nothing more

        const auto lines = rig.LogLines();
        ASSERT_GE(lines.size(), 3U);
        EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
                  std::vector<std::string>({"done", "->START: [STX]tail", "Logging beeindigd"}));
        EXPECT_FALSE(rig.port.open);
        EXPECT_FALSE(rig.window->isVisible());
        EXPECT_EQ(ended.count(), 1);
    }
}

// A termination signal ends the run as Quit does whatever is open: the message box of a dialog's
// failed Save (the dialog lies on the stack below the box's event loop) or the about box.
TEST(MainWindow, ASignalEndsTheRunWhateverBoxIsOpen)
{
    for (const auto &[menu, failedSave] :
         {std::pair{"Instellingen", true}, {"Snelkeuze", true}, {"Info", false}}) {
        SCOPED_TRACE(menu);
        Rig rig;
        rig.Write(rig.Settings());
        rig.Start();
        rig.window->show();
        TerminationSignals terminationSignals;
        ASSERT_TRUE(terminationSignals.IsActive());
        QObject::connect(&terminationSignals, &TerminationSignals::Received, rig.window.get(),
                         &QWidget::close);
        QSignalSpy ended(rig.window.get(), &frmHoofdscherm::Ended);
        rig.window->findChild<QAction *>(menu)->trigger();

        if (failedSave) {
            // A save would part the file's second hard link, so it is refused.
            std::filesystem::create_hard_link(rig.folder.Path() / "tamvi.set",
                                              rig.folder.Path() / "tamvi.set.link");
            Click(rig.Find<QPushButton>("ButtonWijzigen"));
            int ticksWithBox = 0;
            QTimer onBox;
            QObject::connect(&onBox, &QTimer::timeout, [&] {
                auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                if (box && ++ticksWithBox == 1)
                    std::raise(SIGTERM);
                else if (box && ticksWithBox == 25) // the signal did not end it: OK ends the wait
                    box->button(QMessageBox::Ok)->click();
            });
            onBox.start(200);
            Click(rig.Find<QPushButton>("ButtonOpslaan"));
            EXPECT_TRUE(ticksWithBox > 0 && ticksWithBox < 25) << ticksWithBox;
        } else {
            std::raise(SIGTERM);
        }

        ASSERT_TRUE(QTest::qWaitFor([&] { return ended.count() == 1; }, 5000));
        EXPECT_EQ(rig.LastLogLine(), "Logging beeindigd");
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        for (QWidget *window : QApplication::topLevelWidgets())
            EXPECT_FALSE(window->isVisible()) << window->metaObject()->className();
    }
}

TEST(MainWindow, MenuShowsOneInstanceOfEachDialog)
{
    Rig rig;
    rig.Start();
    const auto shown = [&](const char *className) {
        int count = 0;
        for (QWidget *widget : rig.window->findChildren<QWidget *>()) {
            if (widget->inherits(className) && widget->isVisible()) {
                EXPECT_TRUE(widget->isWindow()) << className;
                ++count;
            }
        }
        return count;
    };
    const std::vector<std::pair<const char *, const char *>> menu = {
        {"Instellingen", "frmInstellingen"}, {"Snelkeuze", "frmSnelkeuze"}, {"Info", "frmAbout"}};
    for (const auto &[action, dialog] : menu) {
        rig.window->findChild<QAction *>(action)->trigger();
        rig.window->findChild<QAction *>(action)->trigger();
        EXPECT_EQ(shown(dialog), 1) << dialog;
    }

    rig.window->findChild<frmAbout *>()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(rig.window->findChildren<frmAbout *>().size(), 0);
    rig.window->findChild<QAction *>("Info")->trigger(); // a fresh one after its Close
    EXPECT_EQ(shown("frmAbout"), 1);

    rig.window->close(); // every dialog closes with the main window
    for (const auto &[action, dialog] : menu)
        EXPECT_EQ(shown(dialog), 0) << dialog;
}

TEST(MainWindow, QuickSendButtonsHiddenForEmptyCaptions)
{
    Rig rig;
    SettingsRecord settings = rig.Settings();
    settings.Sneltekst[0] = "Hello";
    settings.TxChar1[0] = "0x41";
    settings.Sneltekst[3] = "R\xE9sum\xE9";
    rig.Write(settings);
    rig.Start();

    EXPECT_EQ(rig.Text("CmdTx1_0"), "Hello");
    EXPECT_EQ(rig.Text("CmdTx1_3"), QStringLiteral("R\u00E9sum\u00E9"));
    for (int i = 0; i < 8; ++i) {
        auto *button = rig.Find(QStringLiteral("CmdTx1_%1").arg(i));
        EXPECT_EQ(button->isHidden(), i != 0 && i != 3) << i;
    }
    QTest::mouseClick(rig.Find("CmdTx1_0"), Qt::LeftButton);
    EXPECT_EQ(rig.port.written.substr(0, 1), "A");
}

TEST(MainWindow, LogFailureIsShownOncePerEpisodeAndGoesAwayByItself)
{
    Rig rig;
    const auto blocker = rig.folder.Path() / "blocker";
    const auto block = [&] {
        std::filesystem::remove_all(blocker);
        std::ofstream(blocker) << "a file where the log folder should be";
    };
    block();
    SettingsRecord settings = rig.Settings();
    settings.logfilepath = (blocker / "logs").string();
    rig.Write(settings);
    rig.Start();
    auto *label = rig.Find("LabLinkStatus");

    rig.window->LampTick();
    QMessageBox *box = VisibleLogFailure(rig);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowTitle(), "Tamvi");
    EXPECT_TRUE(box->text().startsWith("Logbestand niet te schrijven: " +
                                       QString::fromStdString((blocker / "logs").string())));
    EXPECT_TRUE(box->text().endsWith(": Not a directory")) << box->text().toStdString();
    rig.window->ReceiveTick();
    EXPECT_EQ(VisibleLogFailure(rig), box);

    box->close();              // seen: not shown again while writing keeps failing
    rig.window->ReceiveTick(); // tries the kept lines again, in vain
    rig.window->LampTick();
    EXPECT_EQ(VisibleLogFailure(rig), nullptr);

    std::filesystem::remove(blocker);
    QTest::mouseClick(label, Qt::LeftButton); // a line to write
    rig.window->LampTick();
    EXPECT_EQ(VisibleLogFailure(rig), nullptr);
    EXPECT_EQ(rig.LastLogLine(), "STATUS: RTS made ACTIVE (+12V).");

    block(); // a new failure is shown again, and closes by itself once writing works
    QTest::mouseClick(label, Qt::LeftButton);
    rig.window->LampTick();
    ASSERT_NE(VisibleLogFailure(rig), nullptr);
    std::filesystem::remove(blocker);
    rig.window->ReceiveTick(); // a quiet line: the kept line is written all the same
    EXPECT_EQ(VisibleLogFailure(rig), nullptr);
    EXPECT_EQ(rig.LastLogLine(), "STATUS: RTS made INACTIVE (-12V).");
}

} // namespace
