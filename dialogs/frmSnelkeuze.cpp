#include "dialogs/frmSnelkeuze.h"

#include "conversions/diversen.h"
#include "qtcommon/Charset.h"
#include "qtcommon/EditorLook.h"
#include "session/Session.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>

using EditorLook::Twips;
using ModSnelkeuze::Column;

namespace
{

struct ColumnLook {
    const char *boxName;
    const char *heading;
    int left;
    int width;
    int maxLength;
};

constexpr std::array<ColumnLook, ModSnelkeuze::kColumns> kLook = {{
    {"TxtTekst", "ButtonText", 120, 975, 20},
    {"TxtTx1", "Tx 1", 1200, 495, 20},
    {"TxtTx2", "Tx 2", 1800, 495, 20},
    {"TxtTx3", "Tx 3", 2400, 495, 20},
    {"TxtTx4", "Tx 4", 3000, 495, 20},
    {"TxtTx5", "Tx 5", 3600, 495, 20},
    {"TxtString6", "String", 4200, 3735, 100},
    {"TxtTx7", "Tx 7", 8040, 495, 20},
    {"TxtTx8", "Tx 8", 8640, 495, 20},
    {"TxtTx9", "Tx 9", 9240, 495, 20},
    {"TxtCheckSum", "Checksum", 9960, 855, 20},
}};

const QColor kChecksumGreen(192, 255, 192);

bool IsDataColumn(int column)
{
    return column != Column::Checksum;
}

// What a double click leaves in a box: texts are emptied, byte fields switched off.
QString ClearedText(int column)
{
    return column == Column::ButtonText || column == Column::String ? QString()
                                                                    : QStringLiteral("-1");
}

} // namespace

frmSnelkeuze::frmSnelkeuze(Session &session, QWidget *parent)
    : QWidget(parent, Qt::Dialog), session_(session)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Speedbuttons"));
    setFixedSize(Twips(0, 0, 11025, 5250).size());
    EditorLook::UseLayoutFont(*this);
    BuildControls();
    SetTabOrder();

    VariabelenNaarVelden();
    LockInvoer();
    buttons_.SetEditing(false);
    buttons_.edit->setFocus();
}

void frmSnelkeuze::BuildControls()
{
    for (int column = 0; column < ModSnelkeuze::kColumns; ++column) {
        const ColumnLook &look = kLook[column];
        auto *heading = new QLabel(QString::fromLatin1(look.heading), this);
        heading->setObjectName(QStringLiteral("Text1_%1").arg(column));
        heading->setGeometry(Twips(look.left, 240, look.width, 285));
        if (column == Column::String)
            heading->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);

        for (int row = 0; row < ModSnelkeuze::kButtons; ++row) {
            auto *box = new QLineEdit(this);
            box->setObjectName(QStringLiteral("%1_%2").arg(look.boxName).arg(row));
            box->setGeometry(Twips(look.left, 960 + 360 * row, look.width, 285));
            EditorLook::SetBackground(*box,
                                      IsDataColumn(column) ? QColor(Qt::white) : kChecksumGreen);
            if (!IsDataColumn(column))
                box->setToolTip(QStringLiteral(
                    "Enkele muisklik: bereken checksum. Dubbele klik: Wis Checksum"));
            box->installEventFilter(this);
            boxes_[row][column] = box;
        }
    }

    buttons_ = EditorLook::AddEditButtons(*this, 8400, 4200);

    connect(buttons_.edit, &QPushButton::clicked, this, &frmSnelkeuze::OnEdit);
    connect(buttons_.cancel, &QPushButton::clicked, this, &frmSnelkeuze::OnCancel);
    connect(buttons_.save, &QPushButton::clicked, this, &frmSnelkeuze::OnSave);
    connect(buttons_.exit, &QPushButton::clicked, this, &QWidget::close);
}

// Edit; the data fields row by row; Cancel, Exit, Save; then the checksum column.
void frmSnelkeuze::SetTabOrder()
{
    QWidget *previous = buttons_.edit;
    const auto chain = [&previous](QWidget *next) {
        QWidget::setTabOrder(previous, next);
        previous = next;
    };
    for (const BoxRow &row : boxes_)
        for (int column = 0; column < ModSnelkeuze::kColumns; ++column)
            if (IsDataColumn(column))
                chain(row[column]);
    chain(buttons_.cancel);
    chain(buttons_.exit);
    chain(buttons_.save);
    for (const BoxRow &row : boxes_)
        chain(row[Column::Checksum]);
}

void frmSnelkeuze::VariabelenNaarVelden()
{
    for (int row = 0; row < ModSnelkeuze::kButtons; ++row) {
        const ModSnelkeuze::QuickRow texts = ModSnelkeuze::RowOf(session_.Settings(), row);
        for (int column = 0; column < ModSnelkeuze::kColumns; ++column)
            EditorLook::ShowStored(*boxes_[row][column], FromWindows1252(texts[column]),
                                   kLook[column].maxLength);
    }
}

LeesIniFile::SaveResult frmSnelkeuze::InvoerNaarVariabelen()
{
    Session::QuickRows rows;
    for (int row = 0; row < ModSnelkeuze::kButtons; ++row)
        rows[static_cast<std::size_t>(row)] = RowTexts(row);
    return session_.SaveQuickRows(rows);
}

void frmSnelkeuze::UnLockInvoer()
{
    SetInvoerLocked(false);
}

void frmSnelkeuze::LockInvoer()
{
    SetInvoerLocked(true);
}

// The checksum column is never locked and keeps its colour.
void frmSnelkeuze::SetInvoerLocked(bool locked)
{
    for (const BoxRow &row : boxes_)
        for (int column = 0; column < ModSnelkeuze::kColumns; ++column)
            if (IsDataColumn(column))
                EditorLook::SetBoxLocked(*row[column], locked);
    quickEditMode_ = !locked;
}

std::optional<frmSnelkeuze::Cell> frmSnelkeuze::CellOf(const QObject *box) const
{
    for (int row = 0; row < ModSnelkeuze::kButtons; ++row)
        for (int column = 0; column < ModSnelkeuze::kColumns; ++column)
            if (boxes_[row][column] == box)
                return Cell{row, column};
    return std::nullopt;
}

ModSnelkeuze::QuickRow frmSnelkeuze::RowTexts(int row) const
{
    ModSnelkeuze::QuickRow texts;
    for (int column = 0; column < ModSnelkeuze::kColumns; ++column)
        texts[column] = ToWindows1252(boxes_[row][column]->text());
    return texts;
}

void frmSnelkeuze::FillChecksum(int row)
{
    const std::int16_t checksum = ModSnelkeuze::ComputeChecksum(RowTexts(row));
    boxes_[row][Column::Checksum]->setText(QStringLiteral(" ") +
                                           QString::fromStdString(diversen::NumberText(checksum)));
}

void frmSnelkeuze::ClearBox(Cell cell)
{
    boxes_[cell.row][cell.column]->setText(ClearedText(cell.column));
}

// A click on a checksum box computes it, a double click clears a box; both only in edit mode.
// A double click starts with a press, so the checksum is computed and then cleared.
bool frmSnelkeuze::eventFilter(QObject *watched, QEvent *event)
{
    const bool click = event->type() == QEvent::MouseButtonPress;
    const bool doubleClick = event->type() == QEvent::MouseButtonDblClick;
    if (!quickEditMode_ || !(click || doubleClick) ||
        static_cast<QMouseEvent *>(event)->button() != Qt::LeftButton)
        return QWidget::eventFilter(watched, event);
    if (const std::optional<Cell> cell = CellOf(watched)) {
        if (doubleClick)
            ClearBox(*cell);
        else if (cell->column == Column::Checksum)
            FillChecksum(cell->row);
    }
    return QWidget::eventFilter(watched, event);
}

void frmSnelkeuze::OnEdit()
{
    buttons_.SetEditing(true);
    UnLockInvoer();
}

void frmSnelkeuze::OnCancel()
{
    VariabelenNaarVelden();
    LockInvoer();
    buttons_.SetEditing(false);
}

// Each box by its column's heading and its row, counted from 1 like the buttons.
std::vector<EditorLook::NamedEntry> frmSnelkeuze::Entries() const
{
    std::vector<EditorLook::NamedEntry> entries;
    for (int row = 0; row < ModSnelkeuze::kButtons; ++row)
        for (int column = 0; column < ModSnelkeuze::kColumns; ++column)
            entries.push_back({QStringLiteral("%1 (rij %2)")
                                   .arg(QString::fromLatin1(kLook[column].heading))
                                   .arg(row + 1),
                               boxes_[row][column]->text()});
    return entries;
}

// The main window's buttons keep their captions until Exit. Texts that the settings file cannot
// hold save nothing and stay in edit mode to be corrected.
void frmSnelkeuze::OnSave()
{
    if (!EditorLook::Storable(this, Entries()))
        return;
    const LeesIniFile::SaveResult saved = InvoerNaarVariabelen();
    LockInvoer();
    buttons_.SetEditing(false);
    EditorLook::ReportSaveFailure(this, saved);
}

// Also after the close box: a save followed by closing the window must not leave buttons
// whose captions differ from what they send.
void frmSnelkeuze::closeEvent(QCloseEvent *event)
{
    session_.UpdateQuickButtons();
    QWidget::closeEvent(event);
}
