// The bridge from the Qt-free picture to Qt's images: a composited picture becomes a QImage the
// window system can paint, and a deliverable's embedded PNG resources become pictures or images.
//
// Threads: any (no widget is touched); a picture and an image belong to whoever holds them.
#pragma once

#include "gui/picture/picture.h"
#include "gui/picture/picture_resources.h"

#include <QImage>
#include <QRect>

namespace gui {

// The picture as a new image: 32-bit ARGB (not premultiplied) for a picture with alpha, opaque
// 32-bit RGB without. An empty picture gives a null image.
QImage ToImage(const CPicture& picture);

// Copies the region (in the picture's pixels, cut to its bounds) of picture into image at the same
// place. image must be a 32-bit image (RGB32 or ARGB32) of the picture's size; a picture without
// alpha is written opaque. Used to hand a container's freshly composed part to its window.
void CopyToImage(const CPicture& picture, const QRect& region, QImage& image);

// An image as a picture: with alpha when the image has an alpha channel (artwork drawn in code).
CPicture PictureFromImage(const QImage& image);

// Resource `number` of the deliverable's table as an image; errors as PictureFromResource.
QImage ImageFromResource(const platform::ResourceTable& table, int number);

} // namespace gui
