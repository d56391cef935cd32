#pragma once
// A strip of images of varying sizes side by side in one 24-bit bitmap (image 0 at the left, all
// starting at row 0), with an optional transparent colour and the mask derived from it, and its
// stream format: four little-endian 32-bit values (length of WidthS, length of HeightS, Count,
// TransparentColor), the two texts in 8-bit characters, then the strip as a bitmap file.
#include <QIODevice>
#include <QImage>
#include <QRegion>
#include <memory>
#include <vector>

#include "foundation/KVClasses.h"
#include "foundation/KVGraphics.h"

class QPainter;

// The first Count comma-closed numbers of a size text ("40,40,64,"); 0 for a missing or
// malformed one.
std::vector<int> ParseSizes(const QString& text, int count);

class TKVBitmapList : public TPersistent {
  KV_CLASS(TKVBitmapList)
 public:
  TKVBitmapList() = default;

  const TKVBitmap& Picture() const { return picture_; }
  // Black where a pixel is shown, white where it has the transparent colour; empty without one.
  const TKVBitmap& Mask() const { return mask_; }
  int Count() const { return count_; }
  // Stores the count only; the text setters that follow rebuild the sizes.
  void SetCount(int count) { count_ = std::max(count, 0); }
  // The sizes of the images as decimal numbers, each closed by a comma ("40,40,64,").
  const QString& WidthS() const { return widthS_; }
  void SetWidthS(const QString& text);
  const QString& HeightS() const { return heightS_; }
  void SetHeightS(const QString& text);
  // clNone: no transparent colour.
  TColor TransparentColor() const { return transparentColor_; }
  void SetTransparentColor(TColor color);

  const std::vector<int>& Widths() const { return widths_; }
  const std::vector<int>& Heights() const { return heights_; }
  const std::vector<TRect>& Rects() const { return rects_; }
  bool IsIndex(int i) const { return i >= 0 && size_t(i) < rects_.size(); }
  int EntryWidth(int i) const { return IsIndex(i) ? widths_[size_t(i)] : 0; }
  int EntryHeight(int i) const { return IsIndex(i) ? heights_[size_t(i)] : 0; }
  TRect EntryRect(int i) const { return IsIndex(i) ? rects_[size_t(i)] : TRect{}; }

  void AddBitmap(const QImage& graphic);
  void AddBitmap(const TKVBitmap& graphic) { AddBitmap(graphic.Image()); }
  // Replaces image i keeping the others in order; a bad index appends.
  void ReplaceBitmap(int i, const QImage& graphic);
  void Clear();
  // Image i into bitmap (unchanged for a bad index).
  void GetBitmap(TKVBitmap& bitmap, int i) const;

  // Drawing on a canvas; bad indices draw nothing. Scaling is by nearest pixel.
  void DrawImage(QPainter& canvas, int x, int i, int y) const;
  // Pixels of the transparent colour leave the canvas as it is; without one, as DrawImage.
  void DrawTransparent(QPainter& canvas, int x, int i, int y) const;
  // source in image i's own coordinates, scaled to dest when the sizes differ.
  void CopyPart(QPainter& canvas, const TRect& dest, int i, const TRect& source) const;
  // The same from the mask; without a transparent colour dest is filled black.
  void CopyMaskPart(QPainter& canvas, const TRect& dest, int i, const TRect& source) const;
  // The shown pixels of image i (or of a part of it) placed with its top-left corner at (x, y);
  // empty for a bad index or without a transparent colour.
  QRegion ImageRegion(int i, int x, int y) const;
  QRegion ImagePartRegion(int i, int x, int y, const TRect& part) const;

  // Reads from the stream's start; on failure (EReadError for short or inconsistent data, images
  // without a bitmap part, more images than the strip is wide; EInvalidGraphic for a bad bitmap)
  // the strip keeps its contents.
  void LoadFromStream(QIODevice& stream);
  // Writes at the stream's position.
  void SaveToStream(QIODevice& stream) const;

  void Assign(const TPersistent& source) override;

 private:
  void RebuildSizes();
  void RebuildMask();

  TKVBitmap picture_, mask_;
  QImage masked_;  // the strip with transparent pixels cleared, for DrawTransparent
  int count_ = 0;
  QString widthS_, heightS_;
  TColor transparentColor_ = clNone;
  std::vector<int> widths_, heights_;
  std::vector<TRect> rects_;
};

// An owning list of strips.
class TKVBitmapObjectList {
 public:
  int Count() const { return int(items_.size()); }
  // nullptr outside 0 .. Count - 1.
  TKVBitmapList* Items(int i) const { return i >= 0 && i < Count() ? items_[size_t(i)].get() : nullptr; }
  TKVBitmapList& Add();
  void Delete(int i);
  void Clear() { items_.clear(); }

 private:
  std::vector<std::unique_ptr<TKVBitmapList>> items_;
};
