#include "resources/Artwork.h"

namespace Artwork
{

QPixmap Logo()
{
    return QPixmap(QString::fromLatin1(kLogoPath));
}

QPixmap Logo(QSize box, qreal devicePixelRatio)
{
    QPixmap logo =
        Logo().scaled(box * devicePixelRatio, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    logo.setDevicePixelRatio(devicePixelRatio);
    return logo;
}

QIcon ApplicationIcon()
{
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/tamvi/hicolor/%1x%1/apps/tamvi.png").arg(size));
    return icon;
}

} // namespace Artwork
