#include "dialogs/DialogTestSupport.h"

#include "dialogs/frmInstellingen.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>
#include <QWheelEvent>

#include <algorithm>
#include <filesystem>

namespace
{

const QColor kGrey(128, 128, 128);

QColor TextColour(const QWidget *widget)
{
    return widget->palette().color(QPalette::Text);
}
QColor WindowText()
{
    return QApplication::palette().color(QPalette::Text);
}

class SettingsDialogTest : public ::testing::Test
{
protected:
    DialogHarness h;
    SettingsRecord record; // what the program starts with, through h.Use
    const SettingsRecord &Stored() const { return h.session.Settings(); }

    QLineEdit *Box(const frmInstellingen &d, int i)
    {
        return Find<QLineEdit>(d, QStringLiteral("TxtInstelling_%1").arg(i));
    }
    QComboBox *List(const frmInstellingen &d, const char *name)
    {
        return Find<QComboBox>(d, QString::fromLatin1(name));
    }
    QPushButton *Button(const frmInstellingen &d, const char *name)
    {
        return Find<QPushButton>(d, QString::fromLatin1(name));
    }
    // The box carries no text, so only its indicator at the left takes a click.
    static void ClickCheck(QCheckBox *check)
    {
        QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(6, check->height() / 2));
    }
    void Retype(QLineEdit *box, const QString &text)
    {
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        QTest::keyClicks(box, text);
    }
    static constexpr const char *kLists[] = {"ComboBaudRate", "ComboParity", "ComboBits",
                                             "ComboStopBits", "ComBoHandShake"};
};

TEST_F(SettingsDialogTest, OpensInViewModeShowingTheRecordAndEditUnlocks)
{
    record.compoort = 3;
    record.logfilepath = h.folder.Str() + "/caf\xE9";
    record.baudrate = 1;
    record.parity = 2;
    record.bits = 1;
    record.stopbits = 1;
    record.HandShake = 2;
    record.Start1 = "0x02";
    record.Start5 = "-1";
    record.AnsiLogMode = true;
    h.Use(record);
    frmInstellingen d(h.session);

    EXPECT_EQ(d.windowTitle(), "Setup");
    EXPECT_EQ(d.size(), QSize(479, 347));
    EXPECT_TRUE(d.testAttribute(Qt::WA_DeleteOnClose));
    EXPECT_EQ(Box(d, 0)->text(), "3");
    EXPECT_EQ(Box(d, 1)->text(),
              QString::fromStdString(h.folder.Str()) + QString::fromUtf8("/café"));
    EXPECT_EQ(Box(d, 2)->text(), "0x02");
    EXPECT_EQ(Box(d, 6)->text(), "-1");
    EXPECT_EQ(List(d, "ComboBaudRate")->currentText(), "1200");
    EXPECT_EQ(List(d, "ComboParity")->currentText(), "O");
    EXPECT_EQ(List(d, "ComboBits")->currentText(), "8");
    EXPECT_EQ(List(d, "ComboStopBits")->currentText(), "2");
    EXPECT_EQ(List(d, "ComBoHandShake")->currentText(), "RTS ON");
    EXPECT_EQ(List(d, "ComBoHandShake")->itemText(0), "No  HandShake");
    EXPECT_EQ(List(d, "ComboBaudRate")->count(), 9);
    EXPECT_EQ(List(d, "ComboBaudRate")->itemText(8), "115200");
    EXPECT_TRUE(Find<QCheckBox>(d, "CheckAnsiLog")->isChecked());
    EXPECT_EQ(Find<QLabel>(d, "Text1_11")->text(), "HandShake:");
    EXPECT_EQ(Find<QLabel>(d, "Text1_10")->text(), "StartCmd5 (dec):");
    EXPECT_EQ(Box(d, 0)->maxLength(), 2);
    EXPECT_EQ(Box(d, 4)->maxLength(), 4);
    EXPECT_EQ(Box(d, 0)->geometry(), QRect(144, 8, 49, 19));
    EXPECT_EQ(Button(d, "ButtonExit")->geometry(), QRect(400, 256, 73, 25));
    EXPECT_EQ(Button(d, "ButtonOpslaan")->palette().color(QPalette::Button), QColor(255, 224, 192));
    EXPECT_EQ(Box(d, 1)->palette().color(QPalette::Base), QColor(Qt::white));

    const auto expectMode = [&](bool editing) {
        const QColor text = editing ? WindowText() : kGrey;
        for (int i = 0; i < 7; ++i) {
            EXPECT_EQ(Box(d, i)->isReadOnly(), !editing) << i;
            EXPECT_EQ(TextColour(Box(d, i)), text) << i;
        }
        for (const char *name : kLists) {
            EXPECT_FALSE(List(d, name)->isEditable()) << name;
            EXPECT_EQ(TextColour(List(d, name)), text) << name;
        }
        EXPECT_EQ(Find<QCheckBox>(d, "CheckAnsiLog")->isEnabled(), editing);
        ExpectEditButtons(d, editing);
    };
    expectMode(false);
    Click(Button(d, "ButtonWijzigen"));
    expectMode(true);
    Click(Button(d, "ButtonAnnuleren"));
    expectMode(false);
}

// Locked lists keep their item against the wheel and the keys, and the check box snaps back
// to the record; in edit mode both change freely.
TEST_F(SettingsDialogTest, LockedEntriesCannotChange)
{
    record.baudrate = 4;
    record.AnsiLogMode = false;
    h.Use(record);
    frmInstellingen d(h.session);
    d.show();
    QComboBox *baud = List(d, "ComboBaudRate");
    QCheckBox *check = Find<QCheckBox>(d, "CheckAnsiLog");
    const auto wheelDown = [baud] {
        QWheelEvent wheel(QPointF(5, 5), baud->mapToGlobal(QPointF(5, 5)), {}, {0, -120},
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(baud, &wheel);
    };

    wheelDown();
    QTest::keyClick(baud, Qt::Key_Down);
    QTest::keyClick(baud, Qt::Key_End);
    EXPECT_EQ(baud->currentText(), "9600");
    check->setChecked(true);
    EXPECT_FALSE(check->isChecked());
    QTest::keyClicks(Box(d, 0), "7");
    EXPECT_EQ(Box(d, 0)->text(), "0");

    Click(Button(d, "ButtonWijzigen"));
    QTest::keyClick(baud, Qt::Key_Down);
    EXPECT_EQ(baud->currentText(), "19200");
    wheelDown();
    EXPECT_EQ(baud->currentText(), "38400");
    ClickCheck(check);
    EXPECT_TRUE(check->isChecked());
}

// A hand-edited settings file may hold longer values than the boxes let the user type: they are
// shown whole and a save keeps them, while typing still cannot make them longer.
TEST_F(SettingsDialogTest, StoredValuesBeyondTheLimitAreShownAndSavedWhole)
{
    record.compoort = 123;
    record.Start1 = "0x0041";
    h.Use(record);
    frmInstellingen d(h.session);
    EXPECT_EQ(Box(d, 0)->text(), "123");
    EXPECT_EQ(Box(d, 2)->text(), "0x0041");

    Click(Button(d, "ButtonWijzigen"));
    QTest::keyClicks(Box(d, 2), "9");
    EXPECT_EQ(Box(d, 2)->text(), "0x0041");
    Retype(Box(d, 3), "12345");
    EXPECT_EQ(Box(d, 3)->text(), "1234");
    Click(Button(d, "ButtonOpslaan"));
    EXPECT_EQ(Stored().compoort, 123);
    EXPECT_EQ(Stored().Start1, "0x0041");
    EXPECT_EQ(Stored().Start2, "1234");
}

TEST_F(SettingsDialogTest, OutOfRangeValuesShowTheFallbackAndAreSavedAsItsPosition)
{
    record.HandShake = 7;
    record.bits = 2;
    record.baudrate = 12;
    record.parity = -1;
    record.stopbits = 3;
    h.Use(record);
    frmInstellingen d(h.session);
    EXPECT_EQ(List(d, "ComBoHandShake")->currentText(), "No  HandShake");
    EXPECT_EQ(List(d, "ComboBits")->currentText(), "7");
    EXPECT_EQ(List(d, "ComboBaudRate")->currentText(), "19200");
    EXPECT_EQ(List(d, "ComboParity")->currentText(), "N");
    EXPECT_EQ(List(d, "ComboStopBits")->currentText(), "1");

    Click(Button(d, "ButtonWijzigen"));
    Click(Button(d, "ButtonOpslaan"));
    EXPECT_EQ(Stored().HandShake, 0);
    EXPECT_EQ(Stored().bits, 0);
    EXPECT_EQ(Stored().baudrate, 5);
    EXPECT_EQ(Stored().parity, 0);
    EXPECT_EQ(Stored().stopbits, 0);
}

TEST_F(SettingsDialogTest, CancelShowsTheRecordAgainAndWritesNothing)
{
    record.compoort = 2;
    record.Start2 = "0x03";
    h.Use(record);
    const SettingsRecord before = Stored();
    frmInstellingen d(h.session);
    Click(Button(d, "ButtonWijzigen"));
    Retype(Box(d, 0), "9");
    Retype(Box(d, 3), "13");
    List(d, "ComBoHandShake")->setCurrentIndex(1);
    ClickCheck(Find<QCheckBox>(d, "CheckAnsiLog"));
    Click(Button(d, "ButtonAnnuleren"));

    EXPECT_EQ(Box(d, 0)->text(), "2");
    EXPECT_EQ(Box(d, 3)->text(), "0x03");
    EXPECT_EQ(List(d, "ComBoHandShake")->currentIndex(), 0);
    EXPECT_FALSE(Find<QCheckBox>(d, "CheckAnsiLog")->isChecked());
    EXPECT_EQ(Stored(), before);
    EXPECT_FALSE(std::filesystem::exists(h.SettingsFile()));
    EXPECT_TRUE(h.port.calls.empty());
}

// Save stores the entries, writes the file, logs the reopening and only then opens the port;
// Exit unloads the dialog and a new one shows the saved values in view mode.
TEST_F(SettingsDialogTest, SaveStoresWritesAndReopensThePort)
{
    record.compoort = 1;
    record.logfilepath = h.folder.Str() + "/else";
    h.Use(record);
    h.port.open = true;
    h.port.Fail("Open", "No such device");
    QPointer<frmInstellingen> d = new frmInstellingen(h.session);
    d->show();
    Click(Button(*d, "ButtonWijzigen"));
    Retype(Box(*d, 0), " 3");
    Retype(Box(*d, 1), "");
    Retype(Box(*d, 2), "0x02");
    List(*d, "ComboBaudRate")->setCurrentIndex(8);
    ClickCheck(Find<QCheckBox>(*d, "CheckAnsiLog"));
    const std::optional<SeenMessage> message = ClickAndCatchMessage(Button(*d, "ButtonOpslaan"));

    EXPECT_FALSE(message.has_value());
    EXPECT_EQ(Stored().compoort, 3);
    EXPECT_EQ(Stored().logfilepath, "");
    EXPECT_EQ(Stored().Start1, "0x02");
    EXPECT_EQ(Stored().baudrate, 8);
    EXPECT_TRUE(Stored().AnsiLogMode);
    EXPECT_EQ(h.log.LogDirectory(), LeesIniFile::DefaultLogDirectory(h.folder.Str()));
    const std::vector<std::string> file = DialogHarness::Lines(h.SettingsFile());
    ASSERT_EQ(file.size(), 123u);
    EXPECT_EQ(file[0], "0        compoort ->3");

    // The DEBUG line precedes the failure that the reopening logs.
    const std::vector<std::string> log = h.LogLines();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_TRUE(log[0].ends_with(" DEBUG: ComPoort opnieuw geopend:  3")) << log[0];
    EXPECT_NE(log[1].find("DEBUG: Compoort 3"), std::string::npos) << log[1];
    const auto &calls = h.port.calls;
    const auto close = std::find(calls.begin(), calls.end(), "Close()");
    ASSERT_NE(close, calls.end());
    EXPECT_NE(std::find(close, calls.end(), "SetPortNumber(3)"), calls.end());
    EXPECT_NE(std::find(close, calls.end(), "Open()"), calls.end());
    EXPECT_TRUE(Box(*d, 0)->isReadOnly());
    ExpectEditButtons(*d, false);

    Click(Button(*d, "ButtonExit"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(d.isNull());
    frmInstellingen again(h.session);
    EXPECT_EQ(Box(again, 0)->text(), "3");
    EXPECT_EQ(List(again, "ComboBaudRate")->currentText(), "115200");
    EXPECT_TRUE(Box(again, 0)->isReadOnly());
}

TEST_F(SettingsDialogTest, PortOutsideTheRangeStaysClosedWithoutAMessage)
{
    for (const char *typed : {"26", "0", "x"}) {
        frmInstellingen d(h.session);
        Click(Button(d, "ButtonWijzigen"));
        Retype(Box(d, 0), QString::fromLatin1(typed));
        EXPECT_FALSE(ClickAndCatchMessage(Button(d, "ButtonOpslaan")).has_value()) << typed;
        EXPECT_FALSE(h.port.open) << typed;
        EXPECT_TRUE(h.view.messages.empty());
    }
    EXPECT_EQ(Stored().compoort, 0);
    EXPECT_TRUE(h.LogLines().back().ends_with("opnieuw geopend:  0"));
}

TEST_F(SettingsDialogTest, FailedSaveIsReportedAndThePortStillReopens)
{
    std::filesystem::create_directory(h.SettingsFile());
    h.port.open = true;
    frmInstellingen d(h.session);
    Click(Button(d, "ButtonWijzigen"));
    Retype(Box(d, 0), "4");
    // The message waits in an event loop: the port must be reopened by then.
    std::vector<std::string> callsWhileShown;
    const std::optional<SeenMessage> message =
        ClickAndCatchMessage(Button(d, "ButtonOpslaan"), [&] { callsWhileShown = h.port.calls; });

    ASSERT_TRUE(message.has_value());
    EXPECT_NE(std::find(callsWhileShown.begin(), callsWhileShown.end(), "Open()"),
              callsWhileShown.end());
    EXPECT_EQ(message->title, "Tamvi");
    const QString start =
        QStringLiteral("Instellingen niet opgeslagen: %1: ").arg(h.SettingsFile().c_str());
    EXPECT_TRUE(message->text.startsWith(start)) << message->text.toStdString();
    EXPECT_GT(message->text.size(), start.size());
    EXPECT_EQ(Stored().compoort, 4);
    EXPECT_TRUE(h.port.open);
    EXPECT_EQ(h.port.portNumber, 4);
    ExpectEditButtons(d, false);
}

// The settings file holds Windows-1252: a pasted character outside it would be stored as "?".
TEST_F(SettingsDialogTest, ASaveWithACharacterTheFileCannotGiveBackIsRefusedNamingIt)
{
    frmInstellingen d(h.session);
    Click(Button(d, "ButtonWijzigen"));
    Box(d, 1)->setText(QString::fromUtf8("/tmp/日志-Łóđ"));
    const std::optional<SeenMessage> message = ClickAndCatchMessage(Button(d, "ButtonOpslaan"));
    ASSERT_TRUE(message.has_value());
    EXPECT_EQ(message->text, QString::fromUtf8("Niet opgeslagen: LogFilePath bevat “日” (U+65E5), "
                                               "een teken dat Windows-1252 niet kent."));
    EXPECT_FALSE(std::filesystem::exists(h.SettingsFile()));
    EXPECT_TRUE(h.port.calls.empty());
    ExpectEditButtons(d, true);

    // A pasted line break would write a line of its own into the file; a 0xFB reads back as a
    // comma.
    for (const auto &[text, named] : {std::pair{"/tmp/x\n9        Start4 ->65", "[LF] (0x0A)"},
                                      std::pair{"d\u00FB \u00FD", "\u201C\u00FB\u201D (0xFB)"}}) {
        Box(d, 1)->setText(QString::fromUtf8(text));
        const std::optional<SeenMessage> refused = ClickAndCatchMessage(Button(d, "ButtonOpslaan"));
        ASSERT_TRUE(refused.has_value());
        EXPECT_EQ(refused->text, QStringLiteral("Niet opgeslagen: LogFilePath bevat %1, dat "
                                                "tamvi.set niet zo teruggeeft.")
                                     .arg(QString::fromUtf8(named)));
        EXPECT_FALSE(std::filesystem::exists(h.SettingsFile()));
    }

    Box(d, 1)->setText(QString::fromUtf8("/tmp/ó€?"));
    EXPECT_FALSE(ClickAndCatchMessage(Button(d, "ButtonOpslaan")).has_value());
    EXPECT_EQ(Stored().logfilepath, "/tmp/\xF3\x80?");
}

// Beside the port number: the device it stands for, followed as the user types.
TEST_F(SettingsDialogTest, PortLabelNamesTheDevice)
{
    std::filesystem::create_directories(h.folder.Path() / "ports");
    std::filesystem::create_symlink("/dev/null", h.folder.Path() / "ports" / "com3");
    std::filesystem::create_symlink(h.folder.Path() / "gone", h.folder.Path() / "ports" / "com5");
    record.compoort = 3;
    h.Use(record);
    frmInstellingen d(h.session);
    QLabel *device = Find<QLabel>(d, "LabPoort");
    EXPECT_EQ(device->text(), QString::fromUtf8("= ports/com3 → /dev/null"));

    Click(Button(d, "ButtonWijzigen"));
    Retype(Box(d, 0), "5");
    EXPECT_TRUE(device->text().startsWith(QString::fromUtf8("= ports/com5 → ")));
    EXPECT_TRUE(device->text().endsWith(" (niet gevonden)"));
    Retype(Box(d, 0), "12");
    EXPECT_TRUE(device->text().startsWith("= /dev/ttyS11"));
    Retype(Box(d, 0), "0");
    EXPECT_EQ(device->text(), "geen poort (1..25)");
}

// The device choice: the system's devices, read when the list opens; the choice shows at once
// and becomes the ports/com<n> link only with Save.
class DeviceChoiceTest : public SettingsDialogTest
{
protected:
    DeviceChoiceTest()
    {
        record.compoort = 3;
        h.Use(record);
    }

    std::vector<SerialDevice> devices = {
        {"/dev/serial/by-id/usb-FTDI_FT232R_A9-if00-port0", "FT232R USB UART, FTDI, A9"},
        {"/dev/ttyS2", ""}};
    int listings = 0;
    SerialDeviceLister Lister()
    {
        return [this] {
            ++listings;
            return devices;
        };
    }

    // Opens the list and chooses the entry that starts with `path`.
    void Choose(const frmInstellingen &d, const QString &path)
    {
        QMenu *menu = Find<QToolButton>(d, "ButtonKiesPoort")->menu();
        emit menu->aboutToShow();
        for (QAction *action : menu->actions()) {
            if (action->text().startsWith(path)) {
                action->trigger();
                return;
            }
        }
        ADD_FAILURE() << "no entry " << path.toStdString();
    }
    std::filesystem::path Link() const { return h.folder.Path() / "ports" / "com3"; }
    QString Label(const frmInstellingen &d) { return Find<QLabel>(d, "LabPoort")->text(); }
};

TEST_F(DeviceChoiceTest, ChosenDeviceIsLinkedOnSaveOnly)
{
    frmInstellingen d(h.session, nullptr, Lister());
    auto *choose = Find<QToolButton>(d, "ButtonKiesPoort");
    EXPECT_FALSE(choose->isEnabled());
    Click(Button(d, "ButtonWijzigen"));
    EXPECT_TRUE(choose->isEnabled());
    EXPECT_EQ(listings, 0) << "read when the list opens, not before";

    Choose(d, "/dev/serial/by-id/usb-FTDI");
    EXPECT_EQ(listings, 1);
    const QString byId = QString::fromStdString(devices[0].path.toStdString());
    EXPECT_EQ(Label(d), QStringLiteral("= ports/com3 \u2192 ") + byId);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(Link())));

    Click(Button(d, "ButtonOpslaan"));
    ASSERT_TRUE(std::filesystem::is_symlink(Link()));
    EXPECT_EQ(std::filesystem::read_symlink(Link()), devices[0].path.toStdString());
    EXPECT_TRUE(Label(d).endsWith(" (niet gevonden)")) << Label(d).toStdString();
    EXPECT_NE(std::find(h.port.calls.begin(), h.port.calls.end(), "Open()"), h.port.calls.end());

    // Another device replaces the link; the built-in port needs none.
    devices[0].path = "/dev/serial/by-id/usb-other";
    Click(Button(d, "ButtonWijzigen"));
    Choose(d, "/dev/serial/by-id/usb-other");
    Click(Button(d, "ButtonOpslaan"));
    EXPECT_EQ(std::filesystem::read_symlink(Link()), "/dev/serial/by-id/usb-other");
    Click(Button(d, "ButtonWijzigen"));
    Choose(d, "/dev/ttyS2");
    EXPECT_EQ(Label(d), "= /dev/ttyS2");
    Click(Button(d, "ButtonOpslaan"));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(Link())));
    EXPECT_EQ(listings, 3);
}

TEST_F(DeviceChoiceTest, CancelChangesNoLinkAndAFailedLinkIsReported)
{
    devices.clear();
    frmInstellingen empty(h.session, nullptr, Lister());
    Click(Button(empty, "ButtonWijzigen"));
    QMenu *menu = Find<QToolButton>(empty, "ButtonKiesPoort")->menu();
    emit menu->aboutToShow();
    ASSERT_FALSE(menu->actions().empty());
    EXPECT_FALSE(menu->actions()[0]->isEnabled());

    devices = {{"/dev/ttyUSB0", "USB serial"}};
    frmInstellingen d(h.session, nullptr, Lister());
    Click(Button(d, "ButtonWijzigen"));
    Choose(d, "/dev/ttyUSB0");
    Click(Button(d, "ButtonAnnuleren"));
    EXPECT_FALSE(std::filesystem::exists(h.folder.Path() / "ports"));
    EXPECT_TRUE(Label(d).startsWith("= /dev/ttyS2")) << Label(d).toStdString();

    // A file where the ports folder should be: the link cannot be made, the rest of the save is.
    std::ofstream(h.folder.Path() / "ports") << "not a folder";
    Click(Button(d, "ButtonWijzigen"));
    Choose(d, "/dev/ttyUSB0");
    const std::optional<SeenMessage> message = ClickAndCatchMessage(Button(d, "ButtonOpslaan"));
    ASSERT_TRUE(message.has_value());
    EXPECT_EQ(message->title, "Tamvi");
    EXPECT_TRUE(message->text.startsWith(
        QStringLiteral("Poort niet gekoppeld, de poort blijft dicht: %1: ").arg(Link().c_str())))
        << message->text.toStdString();
    EXPECT_TRUE(std::filesystem::exists(h.SettingsFile()));
    EXPECT_EQ(std::find(h.port.calls.begin(), h.port.calls.end(), "Open()"), h.port.calls.end());
}

// A server's port is typed, checked before it is taken, and linked by the Save as a device is.
TEST_F(DeviceChoiceTest, ANetworkPortIsCheckedAndLinkedOnSave)
{
    frmInstellingen d(h.session, nullptr, Lister());
    Click(Button(d, "ButtonWijzigen"));
    const auto openDialog = [&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // the last one
        QMenu *menu = Find<QToolButton>(d, "ButtonKiesPoort")->menu();
        emit menu->aboutToShow();
        menu->findChild<QAction *>("ActionNetwerkpoort")->trigger();
        return Find<QDialog>(d, "DialogNetwerkpoort");
    };
    QDialog *dialog = openDialog();
    EXPECT_EQ(Find<QLineEdit>(*dialog, "TxtHost")->text(), "");
    Find<QLineEdit>(*dialog, "TxtHost")->setText(" lab7 ");
    Find<QLineEdit>(*dialog, "TxtPoortnummer")->setText("70000");
    Find<QDialogButtonBox>(*dialog, "")->button(QDialogButtonBox::Ok)->click();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(Find<QLabel>(*dialog, "LabProbleem")->text(),
              "Niet te gebruiken: the port number is not one of 1 to 65535");
    Find<QLineEdit>(*dialog, "TxtPoortnummer")->setText("4001");
    Find<QDialogButtonBox>(*dialog, "")->button(QDialogButtonBox::Ok)->click();
    EXPECT_EQ(Label(d), QStringLiteral("= ports/com3 \u2192 rfc2217://lab7:4001"));

    Click(Button(d, "ButtonOpslaan"));
    EXPECT_EQ(std::filesystem::read_symlink(Link()), "rfc2217://lab7:4001");
    EXPECT_EQ(Label(d), QStringLiteral("= ports/com3 \u2192 rfc2217://lab7:4001"));

    // The dialog starts with the link's server; TCP gives a tcp:// address.
    Click(Button(d, "ButtonWijzigen"));
    dialog = openDialog();
    EXPECT_EQ(Find<QLineEdit>(*dialog, "TxtHost")->text(), "lab7");
    EXPECT_EQ(Find<QLineEdit>(*dialog, "TxtPoortnummer")->text(), "4001");
    Find<QComboBox>(*dialog, "ComboProtocol")->setCurrentIndex(1);
    Find<QDialogButtonBox>(*dialog, "")->button(QDialogButtonBox::Ok)->click();
    Click(Button(d, "ButtonOpslaan"));
    EXPECT_EQ(std::filesystem::read_symlink(Link()), "tcp://lab7:4001");
}

} // namespace
