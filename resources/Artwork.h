#pragma once

// The pictures painted at build time (PaintArtwork.cpp), compiled into the program.

#include <QIcon>
#include <QPixmap>

namespace Artwork
{

inline constexpr const char *kLogoPath = ":/tamvi/logo.png"; // 591 x 260
inline constexpr const char *kIconPath = ":/tamvi/icon.png"; // 256 x 256

QPixmap Logo();
// The logo fitted into `box` (logical pixels), its shape kept, painted for a screen of
// `devicePixelRatio`: sharp on a scaled screen too.
QPixmap Logo(QSize box, qreal devicePixelRatio);
// The icon in every size it was painted in, so small renderings stay sharp.
QIcon ApplicationIcon();

} // namespace Artwork
