// Calendar data: any bytes given as a layout text, a layout preview, a thumbnail cache or a
// holiday or icon document load or are refused without a crash, and what loads stays usable.
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <unistd.h>
#include <cstdint>

#include "calendar/KVXSkinBaseM1.h"
#include "calendar/MirData.h"
#include "calendar/iniData.h"
#include "fuzz/FuzzReach.h"

namespace {
void Load(TKVXSkinSafeIni& d, const QByteArray& bytes) {
  d.OnVerify.Set([](TPersistent*, const QString&, bool& ok) { ok = true; });
  QBuffer b;
  b.setData(bytes);
  b.open(QIODevice::ReadOnly);
  d.LoadFromStream(b);
}
enum : unsigned { kLayout = 1, kThumbs = 2, kHolidays = 4, kIcons = 8 };

unsigned Run(const uint8_t* data, size_t size) {
  const QByteArray input(reinterpret_cast<const char*>(data), int(size));
  unsigned reached = 0;

  TLayoutIni layout;
  if (layout.LoadLayout(QString::fromLatin1(input)) && layout.MonthLine().Visible) reached |= kLayout;
  for (const TLayoutItem* item : layout.LayoutItems) {
    for (int i : item->SXPosIndices)
      FUZZ_CHECK(i >= 0 && i < kLayoutItemCount, "a layout item's position indices name layout items");
    for (int i : item->Width->CtrlIndices)
      FUZZ_CHECK(i >= 0 && i < kLayoutItemCount, "a layout item's width controls name layout items");
  }
  FUZZ_CHECK(layout.XOrder.size() <= size_t(kLayoutItemCount), "the layout order holds at most every layout item");
  std::uint16_t y = 0, m = 0;
  TLayoutIni::MonthIdToYearMonth(layout.MonthBox(1).MonthID, 2024, 6, y, m);
  FUZZ_CHECK(m >= 1 && m <= 12, "a month box's month is a month of the year");

  try {
    TLayoutPicture::DecodeData(input);
  } catch (const EKVError&) {
  }

  static const QString thn = QDir::tempPath() + QStringLiteral("/fuzz_calendar_%1.thn").arg(getpid());
  QFile f(thn);
  if (f.open(QIODevice::WriteOnly)) {
    f.write(input);
    f.close();
    TMThnList cache;
    cache.ReadThumbHeader(thn);
    cache.LoadThumbs(thn);
    for (int i = 0; i < cache.Count(); ++i)
      if (!cache.Thumb(i).isNull()) reached |= kThumbs;
    QFile::remove(thn);
  }

  TMHolidayBase holidays;
  Load(holidays, input);
  holidays.RebuildIndex();
  for (int r = 0; r < TMHolidayBase::kRows; ++r)
    for (int d = 1; d <= TMHolidayBase::kDays; ++d) holidays.HolidayCell(r, d);
  QStringList titles;
  holidays.ListHolidaysOfDate(titles, QDate(2024, 1, 1));
  if (!holidays.LoadFailed && holidays.Data().Count() > 0) reached |= kHolidays;

  TMIconBase icons;
  Load(icons, input);
  for (const QImage& i : icons.Icons)
    FUZZ_CHECK(i.width() == TMIconBase::kIconSize && i.height() == TMIconBase::kIconSize,
               "every loaded icon has the icon size");
  if (!icons.LoadFailed && !icons.LoadDamaged && !icons.Icons.empty()) reached |= kIcons;
  return reached;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  RequireStartingInputsReach(kLayout | kThumbs | kHolidays | kIcons, Run);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Run(data, size);
  return 0;
}
