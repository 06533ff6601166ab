#include "dialogs/frmAbout.h"
#include "resources/Artwork.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest/QTest>
#include <gtest/gtest.h>

namespace
{

// The pictures are compiled into a static library; a lost initializer would only show here.
TEST(ArtworkTest, LogoAndIconAreCompiledIn)
{
    EXPECT_EQ(QPixmap(QString::fromLatin1(Artwork::kLogoPath)).size(), QSize(591, 260));
    EXPECT_EQ(QPixmap(QString::fromLatin1(Artwork::kIconPath)).size(), QSize(256, 256));
    const QIcon icon = Artwork::ApplicationIcon();
    EXPECT_EQ(icon.availableSizes().size(), 8);
    EXPECT_EQ(icon.pixmap(16).size(), QSize(16, 16));
}

QString LabelText(const frmAbout &about, const char *name)
{
    const auto *label = about.findChild<QLabel *>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("<missing %1>").arg(name);
}

TEST(AboutTest, ShowsLogoVersionAndFolderAndCloseUnloadsIt)
{
    QPointer<frmAbout> about = new frmAbout;
    about->show();
    EXPECT_EQ(about->windowTitle(), "About");
    EXPECT_EQ(about->size(), QSize(396, 220));
    const QString version = LabelText(*about, "Label4");
    EXPECT_EQ(
        version,
        QStringLiteral("Software versie: %1.%2").arg(TAMVI_VERSION_MAJOR).arg(TAMVI_VERSION_MINOR));
    EXPECT_TRUE(QRegularExpression("^Software versie: (0|[1-9]\\d*)\\.(0|[1-9]\\d*)$")
                    .match(version)
                    .hasMatch())
        << version.toStdString();
    const QString folder =
        QStringLiteral("ApplicationPath: ") + QCoreApplication::applicationDirPath();
    EXPECT_EQ(LabelText(*about, "Label5"), folder);
    EXPECT_FALSE(folder.endsWith('/'));
    EXPECT_FALSE(LabelText(*about, "Label3").isEmpty());
    EXPECT_TRUE(LabelText(*about, "Label6").contains("www."));
    for (const char *name : {"Label3", "Label4", "Label5", "Label6"}) {
        const auto *label = about->findChild<QLabel *>(QString::fromLatin1(name));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(0, 0, 255)) << name;
    }
    const auto *image = about->findChild<QLabel *>("Image1");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->pixmap().size(), QSize(591, 260));
    EXPECT_EQ(image->geometry(), QRect(8, 8, 200, 109));

    auto *close = about->findChild<QPushButton *>("CmdSluit");
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->text(), "Close");
    QTest::mouseClick(close, Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(about.isNull());

    frmAbout again;
    EXPECT_EQ(LabelText(again, "Label4"), version);
    EXPECT_EQ(LabelText(again, "Label5"), folder);
}

} // namespace
