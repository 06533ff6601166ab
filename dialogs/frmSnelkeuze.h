#pragma once

#include "qtcommon/EditorLook.h"
#include "quicksend/ModSnelkeuze.h"
#include "settings/LeesIniFile.h"

#include <QWidget>

#include <array>
#include <optional>
#include <vector>

class QLineEdit;
class Session;

// "Speedbuttons": the eight quick-send definitions in a grid of 8 rows x 11 boxes. View mode
// shows the data columns read-only in grey; Edit unlocks them, Cancel reloads them from the
// record, Save stores them and rewrites the settings file. In edit mode a click on a checksum
// box computes the row's checksum and a double click clears a box. Closing it, by Exit or the
// close box, refreshes the main window's quick-send buttons and deletes the dialog.
class frmSnelkeuze final : public QWidget
{
    Q_OBJECT

public:
    explicit frmSnelkeuze(Session &session, QWidget *parent = nullptr);

    void VariabelenNaarVelden(); // record into the boxes
    // Boxes into the record, then the settings file written.
    LeesIniFile::SaveResult InvoerNaarVariabelen();
    void UnLockInvoer();
    void LockInvoer();
    bool QuickEditMode() const { return quickEditMode_; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    // Exit and the close box alike: the main window's buttons then show the record's captions.
    void closeEvent(QCloseEvent *event) override;

private:
    struct Cell {
        int row;
        int column;
    };

    void BuildControls();
    void SetTabOrder();
    void SetInvoerLocked(bool locked);
    std::optional<Cell> CellOf(const QObject *box) const;
    ModSnelkeuze::QuickRow RowTexts(int row) const;
    void FillChecksum(int row);
    void ClearBox(Cell cell);
    std::vector<EditorLook::NamedEntry> Entries() const;

    void OnEdit();
    void OnCancel();
    void OnSave();

    Session &session_;
    using BoxRow = std::array<QLineEdit *, ModSnelkeuze::kColumns>;
    std::array<BoxRow, ModSnelkeuze::kButtons> boxes_{};
    EditorLook::EditButtons buttons_;
    // Dialog-wide rather than program-wide: nothing outside the editor reads it.
    bool quickEditMode_ = false;
};
