#pragma once
// The three thumbnail sizes of the picture panels. Widget-free: the image set makes its thumbnails
// at the image size, the panels frame them. Sizes are in device-independent pixels.
#include <QSize>

struct TMThumbSizes {
  QSize Panel, Bevel, Image;
};
// The sizes for a thumbnail size: 0 small, 1 medium, 2 large (larger values count as 2); the
// image size is the one the thumbnail cache records.
TMThumbSizes ThumbSizes(int thumbSize);
