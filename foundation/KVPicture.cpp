#include "foundation/KVPicture.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include <sys/uio.h>

#include <gif_lib.h>
#include <jpeglib.h>
#include <jerror.h>

#include "platform/KVSafeSave.h"

namespace {

using std::int64_t;

constexpr qint64 kMaxPictureFileBytes = 1024LL * 1024 * 1024;

EInvalidGraphic TooLarge(int64_t w, int64_t h) {
  return EInvalidGraphic(QStringLiteral("The picture is too large (%1 x %2 pixels)").arg(w).arg(h));
}

// Whether a w x h decode still covers the target box (or the whole picture where it is smaller).
bool Covers(int64_t w, int64_t h, int64_t fullW, int64_t fullH, QSize target) {
  if (!target.isValid()) return w >= fullW && h >= fullH;
  return w >= std::min<int64_t>(fullW, target.width()) && h >= std::min<int64_t>(fullH, target.height());
}

// ---------------------------------------------------------------------------------------------
// JPEG

// libjpeg reports fatal errors through error_exit, which must not return: it jumps back to the
// decoder, which then releases libjpeg's state and throws.
struct JpegErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  // Every pixel is in: what follows the picture's data no longer matters.
  bool pixelsDone = false;
};

void JpegErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<JpegErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  std::longjmp(err->jump, 1);
}

void JpegSilentMessage(j_common_ptr) {}

// Whether a single-pass picture's data is being read for its last row of blocks.
bool JpegInLastRows(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return false;
  const auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  return !d->progressive_mode && d->total_iMCU_rows > 0 && d->input_iMCU_row + 1 >= d->total_iMCU_rows;
}

// libjpeg goes on past data that ends early or is corrupt, filling the rest with grey: such a
// picture is refused like any other that cannot be read. Oddities that leave every pixel right
// (stray bytes between markers, an unknown JFIF revision, an odd order of progressive scans) are
// passed over.
void JpegEmitMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;
  ++cinfo->err->num_warnings;
  auto* err = reinterpret_cast<JpegErrorManager*>(cinfo->err);
  if (err->pixelsDone) return;
  const char* what = nullptr;
  switch (cinfo->err->msg_code) {
    case JWRN_JPEG_EOF:
      // Reading ahead runs past the end of a picture that lacks only its end marker, while its
      // last row of blocks is decoded: with every pixel in. Bits that are really missing are
      // told next (HIT_MARKER).
      if (JpegInLastRows(cinfo)) return;
      what = "the data ends early";
      break;
    case JWRN_HIT_MARKER: what = "the data ends early"; break;
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_MUST_RESYNC: what = "the data is corrupt"; break;
    default: return;
  }
  std::snprintf(err->message, sizeof err->message, "%s", what);
  std::longjmp(err->jump, 1);
}

// Beyond this libjpeg refuses to allocate (progressive and multi-scan pictures keep all their
// coefficients, at full size whatever the scale): those of a 4:2:0 picture at the pixel ceiling
// (384 MiB) fit.
constexpr long kJpegMemoryLimit = 512L * 1024 * 1024;
// libjpeg's own tools stop a progressive picture after this many scans: each scan, even an empty
// one, is a pass over all the coefficients.
constexpr int kJpegMaxScans = 500;
// Huffman coding spends at least one bit on every 8 x 8 block of every component; arithmetic
// coding can spend less, so it is allowed a quarter of a bit (and small pictures whatever
// their data).
constexpr int64_t kHuffmanBlocksPerByte = 8, kArithmeticBlocksPerByte = 32, kArithmeticFreeBlocks = 65536;

// Called before every step of reading the data; ends a picture with too many scans.
void JpegProgress(j_common_ptr cinfo) {
  const auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (d->input_scan_number <= kJpegMaxScans) return;
  auto* err = reinterpret_cast<JpegErrorManager*>(cinfo->err);
  std::snprintf(err->message, sizeof err->message, "the picture has more than %d scans", kJpegMaxScans);
  std::longjmp(err->jump, 1);
}

struct JpegJob {
  const uchar* data = nullptr;
  unsigned long size = 0;
  QSize target;
  jpeg_decompress_struct cinfo;
  JpegErrorManager err;
  jpeg_progress_mgr progress;
  QImage image;
  QString failure;  // set when the decoder stops by itself
  std::vector<JSAMPLE> cmykRow;
};

// Holds no objects with destructors, so the jump back from error_exit skips nothing.
bool RunJpeg(JpegJob& job) {
  if (setjmp(job.err.jump)) return false;
  jpeg_decompress_struct& c = job.cinfo;
  jpeg_create_decompress(&c);
  c.mem->max_memory_to_use = kJpegMemoryLimit;
  job.progress = jpeg_progress_mgr{};
  job.progress.progress_monitor = JpegProgress;
  c.progress = &job.progress;
  jpeg_mem_src(&c, const_cast<uchar*>(job.data), job.size);
  if (jpeg_read_header(&c, TRUE) != JPEG_HEADER_OK) {
    job.failure = QStringLiteral("The JPEG data holds no picture");
    return false;
  }
  const int64_t fullW = c.image_width, fullH = c.image_height;
  // A header claiming more 8 x 8 blocks than its data can code is refused before anything is
  // allocated, in every coding mode.
  int64_t blocks = 0;
  for (int i = 0; i < c.num_components; ++i)
    blocks += int64_t(c.comp_info[i].width_in_blocks) * c.comp_info[i].height_in_blocks;
  const int64_t bytes = int64_t(job.size);
  const int64_t codable = c.arith_code ? std::max(kArithmeticFreeBlocks, bytes * kArithmeticBlocksPerByte)
                                       : bytes * kHuffmanBlocksPerByte;
  if (blocks > codable) {
    job.failure = QStringLiteral("The JPEG data is too short for a picture of %1 x %2 pixels").arg(fullW).arg(fullH);
    return false;
  }
  const bool cmyk = c.jpeg_color_space == JCS_CMYK || c.jpeg_color_space == JCS_YCCK;
  c.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRX;
  // The coarsest of 1/8, 1/4, 1/2 and 1/1 that still covers the target and stays within the pixel
  // limit. The other eighths have no fast inverse DCT: decoding at the next of these and scaling
  // once when the picture is placed costs less.
  int chosen = 0;
  for (const int m : {1, 2, 4, 8}) {
    c.scale_num = unsigned(m);
    c.scale_denom = 8;
    jpeg_calc_output_dimensions(&c);
    const int64_t pixels = int64_t(c.output_width) * c.output_height;
    if (pixels > kMaxPicturePixels) break;
    chosen = m;
    if (Covers(c.output_width, c.output_height, fullW, fullH, job.target)) break;
  }
  if (chosen == 0) {
    job.failure = TooLarge(fullW, fullH).Message();
    return false;
  }
  c.scale_num = unsigned(chosen);
  c.scale_denom = 8;
  c.dct_method = JDCT_ISLOW;
  jpeg_start_decompress(&c);
  job.image = NewPixelImage(int(c.output_width), int(c.output_height), QImage::Format_RGB32);
  if (job.image.isNull()) {
    job.failure = QStringLiteral("Not enough memory for a picture of %1 x %2 pixels").arg(c.output_width).arg(c.output_height);
    return false;
  }
  if (cmyk) job.cmykRow.resize(size_t(c.output_width) * 4);
  // Pictures marked by Adobe store inverted CMYK.
  const bool inverted = c.saw_Adobe_marker;
  while (c.output_scanline < c.output_height) {
    const int y = int(c.output_scanline);
    if (!cmyk) {
      JSAMPROW row = job.image.scanLine(y);
      jpeg_read_scanlines(&c, &row, 1);
      continue;
    }
    JSAMPROW row = job.cmykRow.data();
    jpeg_read_scanlines(&c, &row, 1);
    auto* out = reinterpret_cast<QRgb*>(job.image.scanLine(y));
    for (JDIMENSION x = 0; x < c.output_width; ++x) {
      int cc = row[4 * x], mm = row[4 * x + 1], yy = row[4 * x + 2], kk = row[4 * x + 3];
      if (!inverted) {
        cc = 255 - cc;
        mm = 255 - mm;
        yy = 255 - yy;
        kk = 255 - kk;
      }
      out[x] = qRgb((cc * kk + 127) / 255, (mm * kk + 127) / 255, (yy * kk + 127) / 255);
    }
  }
  job.err.pixelsDone = true;
  jpeg_finish_decompress(&c);
  return true;
}

// ---------------------------------------------------------------------------------------------
// GIF

struct GifSource {
  const uchar* data;
  int64_t size;
  int64_t pos;
};

int GifRead(GifFileType* gif, GifByteType* buf, int len) {
  auto* src = static_cast<GifSource*>(gif->UserData);
  const int64_t n = std::clamp<int64_t>(src->size - src->pos, 0, len);
  std::memcpy(buf, src->data + src->pos, size_t(n));
  src->pos += n;
  return int(n);
}

// The most pixels Bytes of LZW data can stand for: the k-th code since a clear stands for at
// most k + 1 pixels and never for more than 4096, and no code is shorter than 3 bits.
int64_t GifPlausiblePixels(int64_t bytes) {
  const int64_t codes = bytes * 8 / 3 + 1;
  if (codes <= 4096) return codes * (codes + 3) / 2;
  return 4096LL * 4099 / 2 + (codes - 4096) * 4096;
}
// A logical screen larger than its first frame is background around it; it may be this large
// whatever the frame's data.
constexpr int64_t kGifFreeCanvasPixels = 1024 * 1024;

// The bytes of the image data sub-blocks that start at Pos (after the LZW code size): the data
// of this frame alone, not what follows it.
int64_t GifFrameDataBytes(const uchar* data, int64_t size, int64_t pos) {
  int64_t bytes = 0;
  while (pos < size) {
    const int64_t n = data[pos++];
    if (n == 0) break;
    bytes += std::min(n, size - pos);
    pos += n;
  }
  return bytes;
}

EInvalidGraphic GifError(int code) {
  return EInvalidGraphic(QStringLiteral("GIF image is not valid: %1").arg(QString::fromLatin1(GifErrorString(code))));
}

struct GifCloser {
  GifFileType* gif;
  ~GifCloser() {
    int err = 0;
    if (gif) DGifCloseFile(gif, &err);
  }
};

// ---------------------------------------------------------------------------------------------
// BMP

struct ByteReader {
  const uchar* data;
  int64_t size;
  bool Has(int64_t pos, int64_t n) const { return pos >= 0 && n >= 0 && pos <= size && n <= size - pos; }
  std::uint32_t U32(int64_t p) const {
    return std::uint32_t(data[p]) | std::uint32_t(data[p + 1]) << 8 | std::uint32_t(data[p + 2]) << 16 |
           std::uint32_t(data[p + 3]) << 24;
  }
  std::uint16_t U16(int64_t p) const { return std::uint16_t(data[p] | data[p + 1] << 8); }
};

EInvalidGraphic BadBitmap(const QString& why) {
  return EInvalidGraphic(QStringLiteral("Bitmap image is not valid: %1").arg(why));
}

// One channel of a bit-field pixel scaled to 8 bits.
struct BitField {
  std::uint32_t mask = 0;
  int shift = 0, bits = 0;
  explicit BitField(std::uint32_t m = 0) : mask(m) {
    if (!m) return;
    while (!((m >> shift) & 1)) ++shift;
    while (bits < 32 - shift && ((m >> (shift + bits)) & 1)) ++bits;
  }
  std::uint8_t Get(std::uint32_t px) const {
    if (!mask) return 0;
    const std::uint32_t v = (px & mask) >> shift;
    if (bits >= 8) return std::uint8_t(v >> (bits - 8));
    const std::uint32_t maxv = (1u << bits) - 1;
    return std::uint8_t((v * 255 + maxv / 2) / maxv);
  }
};

// Walks run-length data, calling Put(x, y, index) for every pixel it sets inside w x h (y counts
// rows from the bottom).
template <class Put>
void WalkRle(const ByteReader& in, int64_t pos, int64_t end, int bpp, int64_t w, int64_t h, Put&& Set) {
  int64_t x = 0, y = 0;
  auto put = [&](int index) {
    if (x < w && y < h) Set(x, y, index);
    ++x;
  };
  while (pos + 2 <= end && y < h) {
    const int count = in.data[pos], value = in.data[pos + 1];
    pos += 2;
    if (count > 0) {
      for (int i = 0; i < count; ++i) put(bpp == 8 ? value : (i % 2 == 0 ? value >> 4 : value & 15));
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      ++y;
    } else if (value == 1) {  // end of bitmap
      return;
    } else if (value == 2) {  // delta
      if (pos + 2 > end) return;
      x += in.data[pos];
      y += in.data[pos + 1];
      pos += 2;
    } else {  // absolute run, padded to a word
      const int n = value;
      const int64_t bytes = bpp == 8 ? n : (n + 1) / 2;
      if (pos + bytes > end) return;
      for (int i = 0; i < n; ++i) {
        const int b = in.data[pos + (bpp == 8 ? i : i / 2)];
        put(bpp == 8 ? b : (i % 2 == 0 ? b >> 4 : b & 15));
      }
      pos += (bytes + 1) & ~int64_t(1);
    }
  }
}

// Pixels that run-length data leaves unset (skipped by line ends, deltas or an early end) are
// background; a picture may have this many of them whatever its data, and beyond that no more
// than its runs really set. A run sets at most 255 pixels from two bytes, so what a picture may
// allocate stays within a fixed multiple of its data however few runs it has.
constexpr int64_t kRleFreePixels = 1024 * 1024;
constexpr int64_t kRleUnsetPerSet = 1;

void DecodeRle(const ByteReader& in, int64_t pos, int64_t end, int bpp, const std::vector<TRGBTriple>& palette,
               QImage& image) {
  const int h = image.height();
  WalkRle(in, pos, end, bpp, image.width(), h, [&](int64_t x, int64_t y, int index) {
    const TRGBTriple c = size_t(index) < palette.size() ? palette[size_t(index)] : TRGBTriple{0, 0, 0};
    reinterpret_cast<TRGBTriple*>(image.scanLine(int(h - 1 - y)))[x] = c;
  });
}

// ---------------------------------------------------------------------------------------------
// Qt formats

// Raises Qt's reader allocation limit for one read (it is a process-wide setting).
class AllocationLimitScope {
 public:
  explicit AllocationLimitScope(int64_t bytes) : old_(QImageReader::allocationLimit()) {
    const int64_t mb = bytes / (1024 * 1024) + 1;
    if (old_ > 0 && mb > old_) QImageReader::setAllocationLimit(int(std::min<int64_t>(mb, INT32_MAX)));
  }
  ~AllocationLimitScope() { QImageReader::setAllocationLimit(old_); }
  AllocationLimitScope(const AllocationLimitScope&) = delete;
  AllocationLimitScope& operator=(const AllocationLimitScope&) = delete;

 private:
  int old_;
};

QImage ReadWithQt(QIODevice* device, const QByteArray& format, QSize target) {
  QImageReader reader(device, format);
  const QSize full = reader.size();
  int64_t want = kMaxPicturePixels;
  if (full.isValid() && !full.isEmpty()) {
    const bool scales = reader.supportsOption(QImageIOHandler::ScaledSize);
    double factor = 1.0;
    if (scales && target.isValid() && !target.isEmpty())
      factor = std::min(1.0, std::max(double(target.width()) / full.width(), double(target.height()) / full.height()));
    const double pixels = double(full.width()) * full.height() * factor * factor;
    if (pixels > double(kMaxPicturePixels)) {
      if (!scales) throw TooLarge(full.width(), full.height());
      factor *= std::sqrt(double(kMaxPicturePixels) / pixels) * 0.999;
    }
    if (factor < 1.0) {
      const QSize scaled(std::max(1, int(std::ceil(full.width() * factor))), std::max(1, int(std::ceil(full.height() * factor))));
      reader.setScaledSize(scaled);
      want = int64_t(scaled.width()) * scaled.height();
    } else {
      want = int64_t(full.width()) * full.height();
    }
  }
  QImage image;
  {
    AllocationLimitScope limit(want * 8);
    image = reader.read();
  }
  if (image.isNull())
    throw EInvalidGraphic(QStringLiteral("The picture cannot be read: %1").arg(reader.errorString()));
  if (int64_t(image.width()) * image.height() > kMaxPicturePixels) throw TooLarge(image.width(), image.height());
  return image;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

TPictureFormat PictureFormatOfExtension(const QString& extension) {
  const QString e = extension.toLower();
  if (e == QLatin1String("jpg") || e == QLatin1String("jpeg")) return TPictureFormat::JPEG;
  if (e == QLatin1String("gif")) return TPictureFormat::GIF;
  if (e == QLatin1String("bmp") || e == QLatin1String("dib")) return TPictureFormat::BMP;
  if (!e.isEmpty() && QImageReader::supportedImageFormats().contains(e.toLatin1())) return TPictureFormat::Qt;
  return TPictureFormat::Unknown;
}

namespace {

QImage DecodeByFormat(TPictureFormat format, const uchar* data, int64_t size, const QString& extension, QSize target) {
  switch (format) {
    case TPictureFormat::JPEG: return DecodeJPEG(data, size, target);
    case TPictureFormat::GIF: return DecodeGIF(data, size);
    case TPictureFormat::BMP: return DecodeBMP(data, size);
    case TPictureFormat::Qt: {
      QByteArray raw = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
      QBuffer buffer(&raw);
      buffer.open(QIODevice::ReadOnly);
      return ReadWithQt(&buffer, extension.toLower().toLatin1(), target);
    }
    case TPictureFormat::Unknown: break;
  }
  throw EInvalidGraphic(QStringLiteral("Unknown picture file extension (.%1)").arg(extension));
}

}  // namespace

QImage LoadPictureFromFile(const QString& fileName, QSize target) {
  const QString extension = QFileInfo(fileName).suffix();
  const TPictureFormat format = PictureFormatOfExtension(extension);
  if (format == TPictureFormat::Unknown)
    throw EInvalidGraphic(QStringLiteral("Unknown picture file extension (.%1)").arg(extension));
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly))
    throw EFOpenError(
        QStringLiteral("Cannot open file \"%1\". %2").arg(QDir::toNativeSeparators(fileName), file.errorString()));
  if (format == TPictureFormat::Qt) return ReadWithQt(&file, extension.toLower().toLatin1(), target);
  // Read rather than mapped: a file cut short by someone else must not bring the program down.
  const qint64 size = file.size();
  if (size <= 0) throw EInvalidGraphic(QStringLiteral("The picture file \"%1\" is empty").arg(QDir::toNativeSeparators(fileName)));
  if (size > kMaxPictureFileBytes) throw EInvalidGraphic(QStringLiteral("The picture file \"%1\" is too large").arg(QDir::toNativeSeparators(fileName)));
  const TKVPixelMemory data{size_t(size)};
  if (!data.Data()) throw EOutOfResources(QStringLiteral("Not enough memory to read the picture file \"%1\"").arg(QDir::toNativeSeparators(fileName)));
  qint64 got = 0;
  while (got < size) {
    const qint64 n = file.read(reinterpret_cast<char*>(data.Data()) + got, size - got);
    if (n <= 0) break;
    got += n;
  }
  // A file that changed size while it was read is not read whole.
  char more = 0;
  if (got != size || file.read(&more, 1) != 0)
    throw EReadError(QStringLiteral("Cannot read file \"%1\". %2").arg(QDir::toNativeSeparators(fileName), file.errorString()));
  return DecodeByFormat(format, data.Data(), size, extension, target);
}

QImage LoadPictureFromData(const QByteArray& data, const QString& extension, QSize target) {
  return DecodeByFormat(PictureFormatOfExtension(extension), reinterpret_cast<const uchar*>(data.constData()),
                        data.size(), extension, target);
}

QImage DecodeJPEG(const uchar* data, qint64 size, QSize target) {
  if (!data || size < 4) throw EInvalidGraphic(QStringLiteral("JPEG error: the data is too short"));
  JpegJob job;
  std::memset(&job.cinfo, 0, sizeof job.cinfo);
  job.data = data;
  job.size = (unsigned long)size;
  job.target = target;
  job.cinfo.err = jpeg_std_error(&job.err.pub);
  job.err.pub.error_exit = JpegErrorExit;
  job.err.pub.output_message = JpegSilentMessage;
  job.err.pub.emit_message = JpegEmitMessage;
  job.err.message[0] = 0;
  const bool ok = RunJpeg(job);
  jpeg_destroy_decompress(&job.cinfo);
  if (ok) return std::move(job.image);
  if (!job.failure.isEmpty()) throw EInvalidGraphic(job.failure);
  throw EInvalidGraphic(QStringLiteral("JPEG error: %1").arg(QString::fromLocal8Bit(job.err.message)));
}

QImage DecodeGIF(const uchar* data, qint64 size) {
  GifSource source{data, data ? size : 0, 0};
  int err = 0;
  GifFileType* gif = DGifOpen(&source, GifRead, &err);
  if (!gif) throw GifError(err);
  GifCloser closer{gif};
  int transparent = -1;
  for (;;) {
    GifRecordType type;
    if (DGifGetRecordType(gif, &type) == GIF_ERROR) throw GifError(gif->Error);
    if (type == TERMINATE_RECORD_TYPE) throw EInvalidGraphic(QStringLiteral("GIF image is not valid: no picture"));
    if (type == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* ext = nullptr;
      if (DGifGetExtension(gif, &code, &ext) == GIF_ERROR) throw GifError(gif->Error);
      if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4) transparent = (ext[1] & 1) ? ext[4] : -1;
      while (ext)
        if (DGifGetExtensionNext(gif, &ext) == GIF_ERROR) throw GifError(gif->Error);
      continue;
    }
    if (type != IMAGE_DESC_RECORD_TYPE) continue;
    if (DGifGetImageDesc(gif) == GIF_ERROR) throw GifError(gif->Error);
    const GifImageDesc& d = gif->Image;
    const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
    if (!map || map->ColorCount <= 0) throw EInvalidGraphic(QStringLiteral("GIF image is not valid: no colour table"));
    const int64_t fw = d.Width, fh = d.Height;
    int64_t cw = gif->SWidth, ch = gif->SHeight;
    if (cw <= 0 || ch <= 0) {
      cw = int64_t(d.Left) + fw;
      ch = int64_t(d.Top) + fh;
    }
    if (fw <= 0 || fh <= 0 || cw <= 0 || ch <= 0)
      throw EInvalidGraphic(QStringLiteral("GIF image is not valid: empty picture"));
    if (cw * ch > kMaxPicturePixels || fw * fh > kMaxPicturePixels) throw TooLarge(std::max(cw, fw), std::max(ch, fh));
    const int64_t plausible = GifPlausiblePixels(GifFrameDataBytes(source.data, source.size, source.pos));
    if (fw * fh > plausible || cw * ch > std::max(plausible, kGifFreeCanvasPixels))
      throw EInvalidGraphic(QStringLiteral("GIF image is not valid: too little data for %1 x %2 pixels").arg(cw).arg(ch));

    const bool covers = d.Left == 0 && d.Top == 0 && fw >= cw && fh >= ch;
    const bool alpha = transparent >= 0 || !covers;
    QImage image(int(cw), int(ch), alpha ? QImage::Format_ARGB32 : QImage::Format_BGR888);
    if (image.isNull()) throw EOutOfResources(QStringLiteral("Not enough memory for a picture of %1 x %2 pixels").arg(cw).arg(ch));
    image.fill(Qt::transparent);
    std::vector<GifPixelType> line(static_cast<size_t>(fw));
    std::vector<int> rows;
    if (d.Interlace) {
      static const int start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
      for (int p = 0; p < 4; ++p)
        for (int64_t r = start[p]; r < fh; r += step[p]) rows.push_back(int(r));
    } else {
      for (int64_t r = 0; r < fh; ++r) rows.push_back(int(r));
    }
    for (const int r : rows) {
      if (DGifGetLine(gif, line.data(), int(fw)) == GIF_ERROR) throw GifError(gif->Error);
      const int64_t y = d.Top + r;
      if (y < 0 || y >= ch) continue;
      uchar* out = image.scanLine(int(y));
      for (int64_t i = 0; i < fw; ++i) {
        const int64_t x = d.Left + i;
        if (x >= cw) break;
        const int idx = line[size_t(i)];
        if (idx == transparent) continue;
        const GifColorType c = idx < map->ColorCount ? map->Colors[idx] : GifColorType{0, 0, 0};
        if (alpha)
          reinterpret_cast<QRgb*>(out)[x] = qRgb(c.Red, c.Green, c.Blue);
        else
          reinterpret_cast<TRGBTriple*>(out)[x] = TRGBTriple{c.Blue, c.Green, c.Red};
      }
    }
    return image;
  }
}

QImage DecodeBMP(const uchar* data, qint64 size, qint64 maxPixels) {
  const ByteReader in{data, data ? size : 0};
  if (!in.Has(0, 18) || data[0] != 'B' || data[1] != 'M') throw BadBitmap(QStringLiteral("no bitmap file header"));
  const std::uint32_t offBits = in.U32(10);
  const std::uint32_t hs = in.U32(14);
  if (hs < 12 || !in.Has(14, hs)) throw BadBitmap(QStringLiteral("bad header size"));
  int64_t w, h;
  int bpp;
  std::uint32_t compression = 0, clrUsed = 0;
  std::uint32_t masks[3] = {0, 0, 0};
  int64_t pos = 14 + int64_t(hs);
  int entrySize = 4;
  if (hs == 12) {
    w = in.U16(18);
    h = in.U16(20);
    bpp = in.U16(24);
    entrySize = 3;
  } else {
    if (hs < 16) throw BadBitmap(QStringLiteral("bad header size"));
    w = std::int32_t(in.U32(18));
    h = std::int32_t(in.U32(22));
    bpp = in.U16(28);
    compression = hs >= 20 ? in.U32(30) : 0;
    clrUsed = hs >= 36 ? in.U32(46) : 0;
    if (compression == 3 || compression == 6) {
      if (hs >= 52) {
        for (int i = 0; i < 3; ++i) masks[i] = in.U32(54 + 4 * i);
      } else {
        const int64_t n = compression == 6 ? 16 : 12;
        if (!in.Has(pos, n)) throw BadBitmap(QStringLiteral("missing colour masks"));
        for (int i = 0; i < 3; ++i) masks[i] = in.U32(pos + 4 * i);
        pos += n;
      }
    }
  }
  const bool topDown = h < 0;
  h = h < 0 ? -h : h;
  if (w <= 0 || h <= 0) throw BadBitmap(QStringLiteral("empty picture"));
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
    throw BadBitmap(QStringLiteral("%1 bits per pixel").arg(bpp));
  const bool rle = compression == 1 || compression == 2;
  if (!(compression == 0 || (compression == 1 && bpp == 8) || (compression == 2 && bpp == 4) ||
        ((compression == 3 || compression == 6) && (bpp == 16 || bpp == 32))))
    throw BadBitmap(QStringLiteral("unsupported compression %1").arg(compression));
  if (rle && topDown) throw BadBitmap(QStringLiteral("top-down run-length picture"));
  if (w * h > kMaxPicturePixels) throw TooLarge(w, h);

  std::vector<TRGBTriple> palette;
  if (bpp <= 8) {
    const int64_t n = clrUsed ? int64_t(clrUsed) : (int64_t(1) << bpp);
    if (n > 256) throw BadBitmap(QStringLiteral("%1 palette entries").arg(n));
    if (!in.Has(pos, n * entrySize)) throw BadBitmap(QStringLiteral("truncated palette"));
    for (int64_t i = 0; i < n; ++i)
      palette.push_back(TRGBTriple{data[pos + i * entrySize], data[pos + i * entrySize + 1], data[pos + i * entrySize + 2]});
    pos += n * entrySize;
  }
  if (offBits >= 14 + hs && offBits < std::uint64_t(size)) pos = offBits;

  const int64_t available = size - pos;
  if (w * h > maxPixels) throw TooLarge(w, h);
  if (rle) {
    // Counted before the picture is allocated: a few runs and deltas must not claim a huge one.
    int64_t set = 0;
    WalkRle(in, pos, size, bpp, w, h, [&set](int64_t, int64_t, int) { ++set; });
    if (w * h > std::max(kRleFreePixels, set * (1 + kRleUnsetPerSet)))
      throw BadBitmap(QStringLiteral("too little data for %1 x %2 pixels").arg(w).arg(h));
  } else {
    const int64_t rowBytes = ((w * bpp + 31) / 32) * 4;
    // The last row's padding may be missing.
    if (rowBytes * (h - 1) + (w * bpp + 7) / 8 > available)
      throw BadBitmap(QStringLiteral("too little data for %1 x %2 pixels").arg(w).arg(h));
  }
  QImage image(int(w), int(h), QImage::Format_BGR888);
  if (image.isNull()) throw EOutOfResources(QStringLiteral("Not enough memory for a picture of %1 x %2 pixels").arg(w).arg(h));
  if (rle) {
    image.fill(Qt::black);
    DecodeRle(in, pos, size, bpp, palette, image);
    return image;
  }

  if (compression == 0 && bpp == 16) {
    masks[0] = 0x7C00;
    masks[1] = 0x03E0;
    masks[2] = 0x001F;
  } else if (compression == 0 && bpp == 32) {
    masks[0] = 0xFF0000;
    masks[1] = 0xFF00;
    masks[2] = 0xFF;
  }
  const BitField red(masks[0]), green(masks[1]), blue(masks[2]);
  const int64_t rowBytes = ((w * bpp + 31) / 32) * 4;
  for (int64_t r = 0; r < h; ++r) {
    const uchar* s = data + pos + r * rowBytes;
    auto* d = reinterpret_cast<TRGBTriple*>(image.scanLine(int(topDown ? r : h - 1 - r)));
    switch (bpp) {
      case 24: std::memcpy(d, s, size_t(w) * 3); break;
      case 32:
      case 16:
        for (int64_t x = 0; x < w; ++x) {
          const std::uint32_t px = bpp == 32 ? in.U32(s - data + 4 * x) : in.U16(s - data + 2 * x);
          d[x] = TRGBTriple{blue.Get(px), green.Get(px), red.Get(px)};
        }
        break;
      default:
        for (int64_t x = 0; x < w; ++x) {
          const int64_t bit = x * bpp;
          const int idx = (s[bit / 8] >> (8 - bpp - bit % 8)) & ((1 << bpp) - 1);
          d[x] = size_t(idx) < palette.size() ? palette[size_t(idx)] : TRGBTriple{0, 0, 0};
        }
    }
  }
  return image;
}

// ---------------------------------------------------------------------------------------------
// Writing

namespace {

void WriteRowsBottomUp(int fd, const QImage& image, int64_t rowBytes) {
  std::vector<iovec> rows(size_t(image.height()));
  for (size_t i = 0; i < rows.size(); ++i)
    rows[i] = iovec{const_cast<uchar*>(image.constScanLine(int(rows.size() - 1 - i))), size_t(rowBytes)};
  size_t next = 0;
  while (next < rows.size()) {
    const ssize_t n = ::writev(fd, rows.data() + next, int(std::min<size_t>(rows.size() - next, IOV_MAX)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
      throw EStreamError(QStringLiteral("Cannot write the bitmap: %1")
                             .arg(QString::fromLocal8Bit(std::strerror(n < 0 ? errno : EIO))));
    // A write cut short goes on from the first byte it left.
    for (size_t done = size_t(n); done > 0;) {
      iovec& row = rows[next];
      const size_t part = std::min(done, row.iov_len);
      row.iov_base = static_cast<char*>(row.iov_base) + part;
      row.iov_len -= part;
      done -= part;
      if (row.iov_len == 0) ++next;
    }
  }
}

}  // namespace

void WriteBitmap24(QIODevice& device, const QImage& image) {
  if (image.isNull()) return;
  const int64_t w = image.width(), h = image.height();
  const int64_t rowBytes = (w * 3 + 3) & ~int64_t(3);
  const int64_t imageSize = rowBytes * h;
  if (54 + imageSize > int64_t(UINT32_MAX)) throw EInvalidGraphic(QStringLiteral("The picture is too large for a bitmap file"));
  uchar header[54] = {};
  auto put32 = [&header](int at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) header[at + i] = uchar(v >> (8 * i));
  };
  header[0] = 'B';
  header[1] = 'M';
  put32(2, std::uint32_t(54 + imageSize));
  put32(10, 54);
  put32(14, 40);
  put32(18, std::uint32_t(w));
  put32(22, std::uint32_t(h));
  header[26] = 1;
  header[28] = 24;
  put32(34, std::uint32_t(imageSize));
  auto write = [&device](const char* p, int64_t n) {
    if (device.write(p, n) != n)
      throw EStreamError(QStringLiteral("Cannot write the bitmap: %1").arg(device.errorString()));
  };
  write(reinterpret_cast<const char*>(header), 54);

  // Rows that are the file's rows already (24 bits without padding) go to a file straight from
  // the picture, many a call, bottom row first, with no copy.
  if (image.format() == QImage::Format_BGR888 && w * 3 == rowBytes && image.bytesPerLine() == rowBytes) {
    auto* file = qobject_cast<QFileDevice*>(&device);
    if (file && file->handle() >= 0) {
      if (!file->flush()) throw EStreamError(QStringLiteral("Cannot write the bitmap: %1").arg(device.errorString()));
      WriteRowsBottomUp(file->handle(), image, rowBytes);
      return;
    }
  }
  QImage src = image;
  const QImage::Format f = src.format();
  const bool direct = f == QImage::Format_BGR888 || f == QImage::Format_RGB32 || f == QImage::Format_ARGB32 ||
                      f == QImage::Format_ARGB32_Premultiplied;
  if (!direct) src = src.convertToFormat(QImage::Format_BGR888);
  const bool triples = src.format() == QImage::Format_BGR888;
  const int64_t rowsPerChunk = std::max<int64_t>(1, (1 << 20) / rowBytes);
  std::vector<char> buffer(size_t(rowsPerChunk * rowBytes), 0);
  for (int64_t done = 0; done < h;) {
    const int64_t n = std::min(rowsPerChunk, h - done);
    for (int64_t i = 0; i < n; ++i) {
      const int y = int(h - 1 - (done + i));
      char* d = buffer.data() + i * rowBytes;
      if (triples) {
        std::memcpy(d, src.constScanLine(y), size_t(w) * 3);
      } else {
        const auto* s = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        for (int64_t x = 0; x < w; ++x) {
          d[3 * x] = char(qBlue(s[x]));
          d[3 * x + 1] = char(qGreen(s[x]));
          d[3 * x + 2] = char(qRed(s[x]));
        }
      }
    }
    write(buffer.data(), n * rowBytes);
    done += n;
  }
}

void SaveBitmap24(const QString& fileName, const QImage& image) {
  SafeSaveFile(QDir::toNativeSeparators(fileName), [&image](QIODevice& d) { WriteBitmap24(d, image); });
}
