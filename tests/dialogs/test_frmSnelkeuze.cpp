#include "dialogs/DialogTestSupport.h"

#include "dialogs/frmSnelkeuze.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include <filesystem>

namespace
{

const QColor kGrey(128, 128, 128);
const char *const kBoxNames[] = {"TxtTekst",   "TxtTx1", "TxtTx2", "TxtTx3", "TxtTx4",     "TxtTx5",
                                 "TxtString6", "TxtTx7", "TxtTx8", "TxtTx9", "TxtCheckSum"};
constexpr int kChecksum = 10;

class QuickEditorTest : public ::testing::Test
{
protected:
    DialogHarness h;
    SettingsRecord record; // what the program starts with, through h.Use
    const SettingsRecord &Stored() const { return h.session.Settings(); }

    static QLineEdit *Box(const frmSnelkeuze &d, int column, int row)
    {
        return Find<QLineEdit>(d, QStringLiteral("%1_%2").arg(kBoxNames[column]).arg(row));
    }
    static QPushButton *Button(const frmSnelkeuze &d, const char *name)
    {
        return Find<QPushButton>(d, QString::fromLatin1(name));
    }
    static void Retype(QLineEdit *box, const QString &text)
    {
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        QTest::keyClicks(box, text);
    }
};

TEST_F(QuickEditorTest, OpensInViewModeAndEditUnlocksTheDataColumns)
{
    record.Sneltekst[2] = "Start";
    record.TxString6[7] = "caf\xE9";
    record.Check[0] = " 65";
    h.Use(record);
    frmSnelkeuze d(h.session);

    EXPECT_EQ(d.windowTitle(), "Speedbuttons");
    EXPECT_EQ(d.size(), QSize(735, 350));
    EXPECT_TRUE(d.testAttribute(Qt::WA_DeleteOnClose));
    EXPECT_EQ(Box(d, 0, 2)->text(), "Start");
    EXPECT_EQ(Box(d, 6, 7)->text(), QString::fromUtf8("café"));
    EXPECT_EQ(Box(d, kChecksum, 0)->text(), " 65");
    EXPECT_EQ(Find<QLabel>(d, "Text1_6")->text(), "String");
    EXPECT_TRUE(Find<QLabel>(d, "Text1_6")->alignment() & Qt::AlignHCenter);
    EXPECT_EQ(Find<QLabel>(d, "Text1_10")->text(), "Checksum");
    EXPECT_EQ(Box(d, 6, 3)->geometry(), QRect(280, 136, 249, 19));
    EXPECT_EQ(Box(d, kChecksum, 7)->palette().color(QPalette::Base), QColor(192, 255, 192));
    EXPECT_EQ(Box(d, kChecksum, 1)->toolTip(),
              "Enkele muisklik: bereken checksum. Dubbele klik: Wis Checksum");
    const QColor windowText = QApplication::palette().color(QPalette::Text);

    const auto expectMode = [&](bool editing) {
        EXPECT_EQ(d.QuickEditMode(), editing);
        for (int row = 0; row < 8; ++row) {
            for (int column = 0; column < kChecksum; ++column) {
                EXPECT_EQ(Box(d, column, row)->isReadOnly(), !editing) << column << "," << row;
                EXPECT_EQ(Box(d, column, row)->palette().color(QPalette::Text),
                          editing ? windowText : kGrey);
            }
            EXPECT_FALSE(Box(d, kChecksum, row)->isReadOnly());
            EXPECT_EQ(Box(d, kChecksum, row)->palette().color(QPalette::Text), windowText);
        }
        ExpectEditButtons(d, editing);
    };
    expectMode(false);
    Click(Button(d, "ButtonWijzigen"));
    expectMode(true);
    Click(Button(d, "ButtonAnnuleren"));
    expectMode(false);
}

// Edit first, with the focus; the data fields row by row; Cancel, Exit, Save; the checksum column
// last.
TEST_F(QuickEditorTest, TabOrder)
{
    frmSnelkeuze d(h.session);
    d.show();
    EXPECT_EQ(d.focusWidget(), Button(d, "ButtonWijzigen"));
    std::vector<QWidget *> expected = {Button(d, "ButtonWijzigen")};
    for (int row = 0; row < 8; ++row)
        for (int column = 0; column < kChecksum; ++column)
            expected.push_back(Box(d, column, row));
    for (const char *name : {"ButtonAnnuleren", "ButtonExit", "ButtonOpslaan"})
        expected.push_back(Button(d, name));
    for (int row = 0; row < 8; ++row)
        expected.push_back(Box(d, kChecksum, row));

    QWidget *widget = expected.front();
    for (std::size_t i = 1; i < expected.size(); ++i) {
        do
            widget = widget->nextInFocusChain();
        while (!(widget->focusPolicy() & Qt::TabFocus));
        EXPECT_EQ(widget, expected[i]) << i;
    }
}

// A double click on a checksum box also starts with a press: computed, then cleared.
TEST_F(QuickEditorTest, ChecksumClickAndDoubleClickClearOnlyInEditMode)
{
    ModSnelkeuze::StoreRow(record, 0,
                           {"", "2", "0x41", "-1", "-1", "-1", "B", "-1", "-1", "-1", ""});
    ModSnelkeuze::StoreRow(record, 4,
                           {"Vier", "4", "4", "4", "4", "4", "vier", "4", "4", "4", " 9"});
    h.Use(record);
    frmSnelkeuze d(h.session);

    Click(Box(d, kChecksum, 0));
    for (int column = 0; column <= kChecksum; ++column)
        QTest::mouseDClick(Box(d, column, 4), Qt::LeftButton);
    EXPECT_EQ(Box(d, kChecksum, 0)->text(), "");
    EXPECT_EQ(ModSnelkeuze::RowOf(Stored(), 4)[ModSnelkeuze::String], "vier");
    for (int column = 0; column <= kChecksum; ++column)
        EXPECT_EQ(Box(d, column, 4)->text().toStdString(),
                  ModSnelkeuze::RowOf(Stored(), 4)[column]);

    Click(Button(d, "ButtonWijzigen"));
    Click(Box(d, kChecksum, 0));
    EXPECT_EQ(Box(d, kChecksum, 0)->text(), " 1");
    // The checksum reads the boxes as they stand, not the record.
    Retype(Box(d, 1, 0), "5");
    QTest::mouseClick(Box(d, kChecksum, 0), Qt::RightButton);
    EXPECT_EQ(Box(d, kChecksum, 0)->text(), " 1");
    Click(Box(d, kChecksum, 0));
    EXPECT_EQ(Box(d, kChecksum, 0)->text(), " 6");
    Click(Box(d, 1, 0));
    EXPECT_EQ(Box(d, 1, 0)->text(), "5");

    for (int column = 0; column <= kChecksum; ++column)
        QTest::mouseDClick(Box(d, column, 4), Qt::LeftButton);
    for (int column = 0; column <= kChecksum; ++column) {
        const bool text = column == 0 || column == ModSnelkeuze::String;
        EXPECT_EQ(Box(d, column, 4)->text(), text ? "" : "-1") << column;
    }
    EXPECT_EQ(ModSnelkeuze::RowOf(Stored(), 4)[ModSnelkeuze::Tx3], "4");
}

TEST_F(QuickEditorTest, BoxesRefuseTextBeyondTheirLimit)
{
    frmSnelkeuze d(h.session);
    Click(Button(d, "ButtonWijzigen"));
    const QString long101(101, QLatin1Char('s'));
    for (int column = 0; column <= kChecksum; ++column) {
        QLineEdit *box = Box(d, column, 3);
        QTest::keyClicks(box, long101);
        const int limit = column == ModSnelkeuze::String ? 100 : 20;
        EXPECT_EQ(box->text(), long101.left(limit)) << column;
    }
}

// A hand-edited settings file may hold longer values than the boxes let the user type: they are
// shown whole and a save keeps them, while typing still cannot make them longer.
TEST_F(QuickEditorTest, StoredValuesBeyondTheLimitAreShownAndSavedWhole)
{
    const std::string caption(26, 'c');
    const std::string text(120, 't');
    const std::string byte = "0x0041" + std::string(20, ' ');
    record.Sneltekst[1] = caption;
    record.TxString6[1] = text;
    record.TxChar3[1] = byte;
    h.Use(record);
    frmSnelkeuze d(h.session);
    EXPECT_EQ(Box(d, 0, 1)->text().toStdString(), caption);
    EXPECT_EQ(Box(d, ModSnelkeuze::String, 1)->text().toStdString(), text);
    EXPECT_EQ(Box(d, ModSnelkeuze::Tx3, 1)->text().toStdString(), byte);

    Click(Button(d, "ButtonWijzigen"));
    QTest::keyClicks(Box(d, 0, 1), "more");
    EXPECT_EQ(Box(d, 0, 1)->text().toStdString(), caption);
    Click(Button(d, "ButtonOpslaan"));
    EXPECT_EQ(Stored().Sneltekst[1], caption);
    EXPECT_EQ(Stored().TxString6[1], text);
    EXPECT_EQ(Stored().TxChar3[1], byte);
}

TEST_F(QuickEditorTest, ValuesWiderThanTheirBoxShowTheirBeginning)
{
    record.Sneltekst[0] = "HELLO + BCC";
    record.TxString6[0] = std::string(60, 'W') + "end";
    h.Use(record);
    frmSnelkeuze d(h.session);
    d.show();
    for (int column : {0, int(ModSnelkeuze::String)}) {
        QLineEdit *box = Box(d, column, 0);
        ASSERT_GT(box->fontMetrics().horizontalAdvance(box->text()), box->width());
        EXPECT_EQ(box->cursorPosition(), 0) << column;
    }
}

TEST_F(QuickEditorTest, CancelShowsTheRecordAgainAndWritesNothing)
{
    record.TxChar2[1] = "0x0D";
    h.Use(record);
    const SettingsRecord before = Stored();
    frmSnelkeuze d(h.session);
    Click(Button(d, "ButtonWijzigen"));
    Retype(Box(d, 2, 1), "13");
    Retype(Box(d, 0, 6), "Zes");
    Click(Button(d, "ButtonAnnuleren"));

    EXPECT_EQ(Box(d, 2, 1)->text(), "0x0D");
    EXPECT_EQ(Box(d, 0, 6)->text(), "");
    EXPECT_EQ(Stored(), before);
    EXPECT_FALSE(std::filesystem::exists(h.SettingsFile()));
}

// Save stores every row and the file; the main window's buttons change only when the editor
// closes.
TEST_F(QuickEditorTest, SaveStoresAndExitUpdatesTheButtons)
{
    record.Sneltekst = {"Een",   "Twee", "Drie",  "Vier", "Vijf", "Zes",
                        "Zeven", "Acht", "Negen", "Tien", "Elf"};
    h.Use(record);
    h.session.UpdateQuickButtons();
    QPointer<frmSnelkeuze> d = new frmSnelkeuze(h.session);
    d->show();
    Click(Button(*d, "ButtonWijzigen"));
    Retype(Box(*d, 0, 5), "");
    Box(*d, 6, 2)->setText(QString::fromUtf8("€uro"));
    Retype(Box(*d, kChecksum, 7), " 3");
    EXPECT_FALSE(ClickAndCatchMessage(Button(*d, "ButtonOpslaan")).has_value());

    EXPECT_EQ(Stored().Sneltekst[5], "");
    EXPECT_EQ(Stored().TxString6[2], "\x80uro");
    EXPECT_EQ(Stored().Check[7], " 3");
    EXPECT_EQ(Stored().Sneltekst[8], "Negen");
    EXPECT_EQ(DialogHarness::Lines(h.SettingsFile()).size(), 123u);
    EXPECT_FALSE(d->QuickEditMode());
    EXPECT_TRUE(Box(*d, 0, 0)->isReadOnly());
    ExpectEditButtons(*d, false);
    EXPECT_TRUE(h.view.buttons[5].visible);
    EXPECT_EQ(h.view.buttons[5].caption, "Zes");

    Click(Button(*d, "ButtonExit"));
    EXPECT_FALSE(h.view.buttons[5].visible);
    EXPECT_EQ(h.view.buttons[5].caption, "");
    EXPECT_TRUE(h.view.buttons[4].visible);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(d.isNull());

    // The close box after a save updates the buttons too.
    QPointer<frmSnelkeuze> again = new frmSnelkeuze(h.session);
    again->show();
    EXPECT_EQ(Box(*again, 6, 2)->text(), QString::fromUtf8("€uro"));
    EXPECT_FALSE(again->QuickEditMode());
    Click(Button(*again, "ButtonWijzigen"));
    Retype(Box(*again, 0, 5), "Vijf");
    Click(Button(*again, "ButtonOpslaan"));
    EXPECT_FALSE(h.view.buttons[5].visible);
    again->close();
    EXPECT_TRUE(h.view.buttons[5].visible);
    EXPECT_EQ(h.view.buttons[5].caption, "Vijf");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(again.isNull());
}

TEST_F(QuickEditorTest, FailedSaveIsReportedAndTheRecordKeepsTheEntries)
{
    std::filesystem::create_directory(h.SettingsFile());
    frmSnelkeuze d(h.session);
    Click(Button(d, "ButtonWijzigen"));
    Retype(Box(d, 0, 0), "Nieuw");
    const std::optional<SeenMessage> message = ClickAndCatchMessage(Button(d, "ButtonOpslaan"));

    ASSERT_TRUE(message.has_value());
    EXPECT_EQ(message->title, "Tamvi");
    EXPECT_TRUE(message->text.startsWith(
        QStringLiteral("Instellingen niet opgeslagen: %1: ").arg(h.SettingsFile().c_str())));
    EXPECT_EQ(Stored().Sneltekst[0], "Nieuw");
    EXPECT_FALSE(d.QuickEditMode());
}

TEST_F(QuickEditorTest, ASaveWithACharacterOutsideWindows1252IsRefusedNamingIt)
{
    frmSnelkeuze d(h.session);
    Click(Button(d, "ButtonWijzigen"));
    Box(d, 0, 1)->setText(QString::fromUtf8("Zürich"));
    Box(d, 6, 2)->setText(QString::fromUtf8("Łódź"));
    const std::optional<SeenMessage> message = ClickAndCatchMessage(Button(d, "ButtonOpslaan"));
    ASSERT_TRUE(message.has_value());
    EXPECT_EQ(message->text,
              QString::fromUtf8("Niet opgeslagen: String (rij 3) bevat “Ł” (U+0141), "
                                "een teken dat Windows-1252 niet kent."));
    EXPECT_FALSE(std::filesystem::exists(h.SettingsFile()));
    EXPECT_EQ(Stored().Sneltekst[1], "");
    EXPECT_TRUE(d.QuickEditMode());
}

} // namespace
