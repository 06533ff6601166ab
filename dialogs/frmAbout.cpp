#include "dialogs/frmAbout.h"

#include "qtcommon/EditorLook.h"
#include "resources/Artwork.h"

#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>

using EditorLook::Twips;

namespace
{

QLabel *AddBlueLabel(QWidget *parent, const char *name, const QString &text, const QRect &where)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(where);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    label->setPalette(palette);
    return label;
}

// The executable's folder in the system's notation, without a trailing separator except for a
// root.
QString ProgramFolderText()
{
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
}

} // namespace

frmAbout::frmAbout(QWidget *parent) : QWidget(parent, Qt::Dialog)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("About"));
    setFixedSize(Twips(0, 0, 5940, 3300).size());
    EditorLook::UseLayoutFont(*this);

    auto *logo = new QLabel(this);
    logo->setObjectName(QStringLiteral("Image1"));
    logo->setGeometry(Twips(120, 120, 3000, 1635));
    logo->setPixmap(Artwork::Logo());
    logo->setScaledContents(true);

    AddBlueLabel(this, "Label3", QStringLiteral("Tamvi, van Dranel BV"),
                 Twips(3600, 240, 2175, 255));
    AddBlueLabel(this, "Label6", QStringLiteral("Zie www.dranel.example"),
                 Twips(3600, 600, 2175, 255));
    AddBlueLabel(
        this, "Label4",
        QStringLiteral("Software versie: %1.%2").arg(TAMVI_VERSION_MAJOR).arg(TAMVI_VERSION_MINOR),
        Twips(3600, 960, 2175, 255));
    QLabel *folder =
        AddBlueLabel(this, "Label5", QStringLiteral("ApplicationPath: ") + ProgramFolderText(),
                     Twips(120, 1920, 5655, 495));
    folder->setWordWrap(true);
    folder->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("CmdSluit"));
    close->setGeometry(Twips(4320, 2760, 1455, 375));
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    close->setFocus();
}
