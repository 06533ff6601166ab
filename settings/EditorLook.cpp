#include "settings/EditorLook.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>

namespace EditorLook
{

void UseLayoutFont(QWidget &dialog)
{
    QFont font = dialog.font();
    font.setPointSize(8);
    dialog.setFont(font);
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

void ReportSaveFailure(QWidget *parent, const LeesIniFile::SaveResult &result)
{
    if (result.ok)
        return;
    const QString text = QStringLiteral("Instellingen niet opgeslagen: ") +
                         QString::fromLocal8Bit(result.path) + QStringLiteral(": ") +
                         QString::fromLocal8Bit(result.reason);
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Tamvi"), text, QMessageBox::Ok, parent);
    box.exec();
}

} // namespace EditorLook
