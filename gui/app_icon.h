// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's artwork, drawn in code so that the window needs no image files at run time:
// the application icon (also written to data/icons by veltrane-render-docs), the EXIF window's
// icon and the glyph of its Close button.
#include <QIcon>
#include <QImage>
#include <QPixmap>

class QPainter;

namespace veltrane::gui {

// The application icon at size x size pixels: a stereo pair of pictures, one tinted for each
// eye, on a rounded dark-blue tile. The same shapes are in data/icons/.../veltrane.svg.
QImage AppIconImage(int size);

// The icon theme's "veltrane" when installed, else the drawn one at the usual sizes.
QIcon AppIcon();

// 16 x 16: an information sign.
QIcon ExifWindowIcon();

// 20 x 17: a door, the usual picture for closing a window.
QPixmap CloseGlyph();

}  // namespace veltrane::gui
