#pragma once

// What the settings dialog, the quick-send editor and the about box share (the main window too,
// for its twips): positions given in twips, the look of a locked entry, and the report of a
// settings file that was not saved.

#include "settings/LeesIniFile.h"

#include <QColor>
#include <QMessageBox>
#include <QRect>
#include <QString>

#include <array>
#include <string>
#include <vector>

class QLineEdit;
class QPushButton;
class QWidget;

namespace EditorLook
{

// 15 twips make one pixel at 96 dots per inch.
constexpr QRect Twips(int left, int top, int width, int height)
{
    return {left / 15, top / 15, width / 15, height / 15};
}

inline const QColor kLockedText(128, 128, 128);

// The twips layouts were drawn for an 8-point font; the system's usual 9 or 10 points would
// cut "0x41" in a "Tx" box, the headings and the main window's captions. The font of `window`
// and of its children.
void UseLayoutFont(QWidget &window);

// Grey for locked entries, else the system's text colour.
void SetTextGrey(QWidget &widget, bool grey);
void SetBackground(QWidget &widget, const QColor &colour);
// A locked box stays selectable, so its text can still be copied.
void SetBoxLocked(QLineEdit &box, bool locked);
// Shows a stored value whole, also one longer than the box's typing limit (a hand-edited
// settings file), so that a save writes back what the user did not change; typing and pasting
// stop at the limit, or at the value's own length when that is longer. A value wider than the
// box shows its beginning.
void ShowStored(QLineEdit &box, const QString &text, int limit);

// The four buttons of both editors: Edit and Save side by side, Cancel and Exit below them.
struct EditButtons {
    QPushButton *edit = nullptr;   // "ButtonWijzigen"
    QPushButton *save = nullptr;   // "ButtonOpslaan"
    QPushButton *cancel = nullptr; // "ButtonAnnuleren"
    QPushButton *exit = nullptr;   // "ButtonExit"

    std::array<QPushButton *, 4> All() const { return {edit, save, cancel, exit}; }
    // View mode offers Edit and Exit, edit mode Save and Cancel.
    void SetEditing(bool editing) const;
};
// Edit's corner in twips; Save stands 1320 twips to its right, Cancel and Exit 600 lower.
EditButtons AddEditButtons(QWidget &dialog, int left, int top);

// A message box titled "Tamvi" with one OK button; returns when the user has closed it.
void ShowBox(QWidget *parent, QMessageBox::Icon icon, const QString &text);

// A message box titled "Tamvi": what failed, the file and the system's reason; returns when the
// user has closed it.
void ReportFailure(QWidget *parent, const QString &what, const std::string &path,
                   const std::string &reason);
// The same after a settings save that failed, or whose folder could not be synced after the new
// file was in place; nothing after a good one.
void ReportSaveFailure(QWidget *parent, const LeesIniFile::SaveResult &result);

// An entry of an editor by the name the user knows it by, and its text.
struct NamedEntry {
    QString name;
    QString text;
};
// True when the settings file holds every entry as it is: Windows-1252 only, and nothing that
// a Save refuses (see LeesIniFile::FirstNotStorable). Otherwise a message box names
// the first entry that does not fit and its character, and false (the Save stores nothing).
bool Storable(QWidget *parent, const std::vector<NamedEntry> &entries);

} // namespace EditorLook
