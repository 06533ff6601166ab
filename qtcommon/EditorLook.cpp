#include "qtcommon/EditorLook.h"

#include "conversions/diversen.h"
#include "qtcommon/Charset.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>

namespace EditorLook
{

void UseLayoutFont(QWidget &window)
{
    QFont font = window.font();
    font.setPointSize(8);
    window.setFont(font);
}

void SetTextGrey(QWidget &widget, bool grey)
{
    const QColor colour = grey ? kLockedText : QApplication::palette().color(QPalette::Text);
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Text, colour);
    palette.setColor(QPalette::ButtonText, colour);
    widget.setPalette(palette);
}

void SetBackground(QWidget &widget, const QColor &colour)
{
    QPalette palette = widget.palette();
    palette.setColor(widget.backgroundRole(), colour);
    widget.setPalette(palette);
}

void SetBoxLocked(QLineEdit &box, bool locked)
{
    box.setReadOnly(locked);
    SetTextGrey(box, locked);
}

void ShowStored(QLineEdit &box, const QString &text, int limit)
{
    box.setMaxLength(std::max(limit, static_cast<int>(text.size())));
    box.setText(text);
    box.setCursorPosition(0);
}

void EditButtons::SetEditing(bool editing) const
{
    edit->setEnabled(!editing);
    exit->setEnabled(!editing);
    save->setEnabled(editing);
    cancel->setEnabled(editing);
}

EditButtons AddEditButtons(QWidget &dialog, int left, int top)
{
    const auto add = [&dialog](const char *name, const char *text, int x, int y) {
        auto *button = new QPushButton(QString::fromLatin1(text), &dialog);
        button->setObjectName(QString::fromLatin1(name));
        button->setGeometry(Twips(x, y, 1095, 375));
        // Enter in a box must not press a button.
        button->setAutoDefault(false);
        return button;
    };
    EditButtons buttons;
    buttons.edit = add("ButtonWijzigen", "Edit", left, top);
    buttons.save = add("ButtonOpslaan", "Save", left + 1320, top);
    buttons.cancel = add("ButtonAnnuleren", "Cancel", left, top + 600);
    buttons.exit = add("ButtonExit", "Exit", left + 1320, top + 600);
    return buttons;
}

void ShowBox(QWidget *parent, QMessageBox::Icon icon, const QString &text)
{
    QMessageBox box(icon, QStringLiteral("Tamvi"), text, QMessageBox::Ok, parent);
    box.exec();
}

void ReportFailure(QWidget *parent, const QString &what, const std::string &path,
                   const std::string &reason)
{
    ShowBox(parent, QMessageBox::Warning,
            what + QStringLiteral(": ") + QFile::decodeName(path.c_str()) + QStringLiteral(": ") +
                QString::fromLocal8Bit(reason));
}

void ReportSaveFailure(QWidget *parent, const LeesIniFile::SaveResult &result)
{
    if (!result.ok)
        ReportFailure(parent, QStringLiteral("Instellingen niet opgeslagen"), result.path,
                      result.reason);
    else if (!result.synced)
        ReportFailure(parent,
                      QStringLiteral("Instellingen opgeslagen, nog niet vastgelegd op schijf"),
                      result.path, result.reason);
}

bool Storable(QWidget *parent, const std::vector<NamedEntry> &entries)
{
    for (const NamedEntry &entry : entries) {
        if (const std::optional<char32_t> character = FirstNotInWindows1252(entry.text)) {
            const QString code =
                QString::number(static_cast<uint>(*character), 16).toUpper().rightJustified(4, '0');
            ShowBox(parent, QMessageBox::Warning,
                    QStringLiteral("Niet opgeslagen: %1 bevat \u201C%2\u201D (U+%3), een "
                                   "teken dat Windows-1252 niet kent.")
                        .arg(entry.name, QString::fromUcs4(&*character, 1), code));
            return false;
        }
        if (const std::optional<char> byte =
                LeesIniFile::FirstNotStorable(ToWindows1252(entry.text))) {
            const auto value = static_cast<unsigned char>(*byte);
            const std::string name = diversen::CharDisplayName(value);
            ShowBox(parent, QMessageBox::Warning,
                    QStringLiteral("Niet opgeslagen: %1 bevat %2 (0x%3), dat %4 niet zo "
                                   "teruggeeft.")
                        .arg(entry.name,
                             name.size() > 1
                                 ? QString::fromLatin1(name)
                                 : QStringLiteral("\u201C%1\u201D").arg(FromWindows1252(name)),
                             QString::number(value, 16).toUpper().rightJustified(2, '0'),
                             QString::fromLatin1(LeesIniFile::kFileName)));
            return false;
        }
    }
    return true;
}

} // namespace EditorLook
