#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include "calendar/KVXSkinBaseM1.h"
#include "calendar/MDataDM.h"
#include "foundation/KVZlib.h"
#include "platform/KVClock.h"
#include "tests/common/TestUtil.h"

namespace {

void AcceptAll(TKVXSkinSafeIni& d) { d.OnVerify.Set([](TPersistent*, const QString&, bool& a) { a = true; }); }

class ClockAt {
 public:
  explicit ClockAt(const QDate& d) { Set(d); }
  ~ClockAt() { SetClock({}); }
  void Set(const QDate& d) {
    SetClock([d] { return QDateTime(d, QTime(12, 0)); });
  }
};

TKVXBHolidayItem* AddHoliday(TMHolidayBase& h, const QString& key, TKVXSchType s, const QString& title = "h") {
  TKVXBHolidayItem* i = h.Data().Add();
  i->idx = key;
  i->Schedule = s;
  i->Title = title;
  return i;
}

QByteArray Saved(TKVXSkinIni& doc, bool compress = false) {
  QBuffer b;
  b.open(QIODevice::WriteOnly);
  doc.SaveToStream(b, compress);
  return b.data();
}

void Load(TKVXSkinIni& doc, const QByteArray& bytes) {
  QBuffer b;
  b.setData(bytes);
  b.open(QIODevice::ReadOnly);
  doc.LoadFromStream(b);
}

}  // namespace

TEST(HolidayIndex, RowsCoverDecemberBeforeThisYearAndNextYear) {
  ClockAt clock(QDate(2008, 5, 1));
  TMHolidayBase h;
  TKVXBHolidayItem* xmas = AddHoliday(h, "2004/12/25", schYearly);
  TKVXBHolidayItem* eve = AddHoliday(h, "2007/12/31", schOnce);
  AddHoliday(h, "2007/11/30", schOnce);
  TKVXBHolidayItem* feb = AddHoliday(h, "2009/02/01", schOnce);
  AddHoliday(h, "2008/13/01", schYearly);
  AddHoliday(h, "2008/01/32", schYearly);
  h.RebuildIndex();
  EXPECT_EQ(h.IndexYear(), 2008);
  EXPECT_EQ(h.HolidayCell(12, 25), xmas);
  EXPECT_EQ(h.HolidayCell(24, 25), xmas);
  EXPECT_EQ(h.HolidayCell(0, 25), xmas);
  EXPECT_EQ(h.HolidayCell(0, 31), eve);
  EXPECT_EQ(h.HolidayCell(12, 31), nullptr);
  EXPECT_EQ(h.HolidayCell(11, 30), nullptr);
  EXPECT_EQ(h.HolidayCell(14, 1), feb);
  EXPECT_EQ(h.HolidayCell(2, 1), nullptr);
  EXPECT_EQ(h.HolidayCell(1, 1), nullptr);
  int filled = 0;
  for (int r = 0; r < 25; ++r)
    for (int d = 1; d <= 31; ++d) filled += h.HolidayCell(r, d) != nullptr;
  EXPECT_EQ(filled, 5);
  EXPECT_EQ(h.HolidayRow(2008, 3), 3);
  EXPECT_EQ(h.HolidayRow(2007, 12), 0);
  EXPECT_EQ(h.HolidayRow(2007, 11), -1);
  EXPECT_EQ(h.HolidayRow(2009, 12), 24);
  EXPECT_EQ(h.HolidayRow(2010, 1), -1);
  EXPECT_EQ(h.HolidayOf(QDate(2009, 2, 1)), feb);
  EXPECT_EQ(h.HolidayCell(25, 1), nullptr);
  EXPECT_EQ(h.HolidayCell(3, 0), nullptr);
}

TEST(HolidayIndex, SameDayHolidaysAndSchedulesThatAreNotListed) {
  ClockAt clock(QDate(2008, 5, 1));
  TMHolidayBase h;
  AddHoliday(h, "2001/07/04", schYearly, "First");
  TKVXBHolidayItem* second = AddHoliday(h, "2008/07/04", schOnce, "Second");
  AddHoliday(h, "2008/07/04", schMonthly, "Monthly");
  AddHoliday(h, "2009/07/04", schOnce, "Next year");
  h.RebuildIndex();
  // The monthly one is indexed like a yearly one and, coming later, wins the cell.
  EXPECT_EQ(h.HolidayCell(7, 4)->Title, "Monthly");
  QStringList titles;
  h.ListHolidaysOfDate(titles, QDate(2008, 7, 4));
  EXPECT_EQ(titles, QStringList({"First", "Second"}));
  titles << "stale";
  h.ListHolidaysOfDate(titles, QDate(2009, 7, 4));
  EXPECT_EQ(titles, QStringList({"First", "Next year"}));
  (void)second;
}

TEST(HolidayIndex, IsRebuiltWhenTheYearTurns) {
  ClockAt clock(QDate(2008, 12, 31));
  TMHolidayBase h;
  TKVXBHolidayItem* jan = AddHoliday(h, "2009/01/01", schOnce);
  h.RebuildIndex();
  EXPECT_EQ(h.HolidayRow(2009, 1), 13);
  EXPECT_EQ(h.HolidayOf(QDate(2009, 1, 1)), jan);
  clock.Set(QDate(2009, 1, 1));
  EXPECT_EQ(h.HolidayRow(2009, 1), 1);
  EXPECT_EQ(h.IndexYear(), 2009);
  EXPECT_EQ(h.HolidayOf(QDate(2009, 1, 1)), jan);
  EXPECT_EQ(h.HolidayCell(1, 1), jan);
}

TEST(HolidayIndex, CellsNeverOutliveTheirItems) {
  ClockAt clock(QDate(2008, 5, 1));
  TMHolidayBase h;
  AddHoliday(h, "2008/05/01", schOnce);
  AddHoliday(h, "2008/05/02", schOnce);
  h.RebuildIndex();
  h.Data().Delete(1);
  EXPECT_EQ(h.HolidayCell(5, 2), nullptr);
  h.ResetDefaults();
  EXPECT_EQ(h.HolidayCell(5, 1), nullptr);
  EXPECT_EQ(h.IndexYear(), 0);
  EXPECT_EQ(h.HolidayRow(2008, 5), -1);
}

TEST(CalendarDocuments, EachSavesItsOwnTypeAndRefusesOthers) {
  TMDiaryBase diary;
  TMNotesBase notes;
  TMHolidayBase holidays;
  TMIconBase icons;
  TMEventBase events;
  const std::vector<std::pair<TKVXSkinSafeIni*, QString>> docs = {{&diary, "Kel Voro Diary"},
                                                                  {&notes, "Kel Voro Quick Notes"},
                                                                  {&holidays, "Kel Voro Holidays"},
                                                                  {&icons, "Kel Voro Icon List"},
                                                                  {&events, "Kel Voro Events"}};
  for (const auto& [doc, type] : docs) {
    AcceptAll(*doc);
    const QString text = QString::fromLatin1(Saved(*doc));
    EXPECT_TRUE(text.contains("DocType = '" + type + "'")) << text.toStdString();
    EXPECT_TRUE(text.contains("DocVer = 1"));
    EXPECT_EQ(doc->CheckDocument(type, 0), 0);
    EXPECT_EQ(doc->CheckDocument(type.toLower(), 1), 2);
  }
  diary.Data().Add()->idx = "2024/03/07";
  diary.Safe = "secret";
  const QByteArray diaryBytes = Saved(diary, true);
  // A diary text is refused by the quick notes, which are left empty.
  notes.QuickNote << "kept?";
  Load(notes, diaryBytes);
  EXPECT_TRUE(notes.LoadFailed);
  EXPECT_TRUE(notes.QuickNote.isEmpty());
  TMDiaryBase back;
  AcceptAll(back);
  Load(back, diaryBytes);
  EXPECT_FALSE(back.LoadFailed);
  ASSERT_EQ(back.Data().Count(), 1);
  EXPECT_EQ(back.Data()[0]->idx, "2024/03/07");
  EXPECT_EQ(back.Safe, "secret");
  // A type that differs only in letter case is refused.
  QString text = QString::fromLatin1(Saved(diary));
  text.replace("Kel Voro Diary", "kel voro diary");
  Load(back, text.toLatin1());
  EXPECT_TRUE(back.LoadFailed);
  EXPECT_EQ(back.Data().Count(), 0);
}

TEST(CalendarDocuments, QuickNotesAndEventsRoundTrip) {
  TMNotesBase notes;
  AcceptAll(notes);
  notes.QuickNote << "{\\rtf1 first}" << "second 'quoted' line";
  TMNotesBase n2;
  AcceptAll(n2);
  Load(n2, Saved(notes, true));
  EXPECT_EQ(n2.QuickNote.List(), notes.QuickNote.List());

  TMEventBase events;
  AcceptAll(events);
  TKVXBEventItem* e = events.Data().Add();
  e->Caption = "Dentist";
  e->Schedule = schWeekly;
  e->Timed = true;
  TMEventBase e2;
  AcceptAll(e2);
  Load(e2, Saved(events));
  ASSERT_EQ(e2.Data().Count(), 1);
  EXPECT_EQ(e2.Data()[0]->Caption, "Dentist");
  EXPECT_EQ(e2.Data()[0]->Schedule, schWeekly);
  EXPECT_TRUE(e2.Data()[0]->Timed);
}

TEST(CalendarDocuments, CorruptFilesChangeNothingAndAreKeptAsideBeforeASave) {
  const QString dir = kvtest::TestRoot() + "/docs";
  QDir().mkpath(dir);
  const QString file = dir + "/mdiary.dat";
  const QByteArray corrupt("\x78\x9c garbage that is no zlib stream", 33);
  kvtest::WriteFile(file, corrupt);
  TMDiaryBase diary;
  AcceptAll(diary);
  diary.Data().Add()->idx = "2020/01/01";
  diary.LoadFromFile(file);
  EXPECT_TRUE(diary.LoadFailed);
  EXPECT_EQ(diary.Data().Count(), 1);
  SaveDocumentFile(diary, file, true);
  EXPECT_EQ(kvtest::ReadFile(file + ".bak"), corrupt);
  EXPECT_EQ(QFile::permissions(file) & 0x0077, 0);  // nothing for group or others
  EXPECT_EQ(QFile::permissions(file + ".bak") & 0x0077, 0);
  EXPECT_FALSE(diary.LoadFailed);
  TMDiaryBase again;
  AcceptAll(again);
  again.LoadFromFile(file);
  EXPECT_FALSE(again.LoadFailed);
  EXPECT_EQ(again.Data().Count(), 1);
  // A second failure keeps the first copy and adds another.
  kvtest::WriteFile(file, "object broken");
  again.LoadFromFile(file);
  EXPECT_TRUE(again.LoadFailed);
  SaveDocumentFile(again, file, false);
  EXPECT_EQ(kvtest::ReadFile(file + ".bak"), corrupt);
  EXPECT_EQ(kvtest::ReadFile(file + "1.bak"), QByteArray("object broken"));
  // A good load followed by a save keeps nothing aside.
  QFile::remove(file + "1.bak");
  again.LoadFromFile(file);
  SaveDocumentFile(again, file, false);
  EXPECT_FALSE(QFile::exists(file + "1.bak"));
}

TEST(CalendarDocuments, TheDefaultHolidayDocumentLoadsAlthoughCompressed) {
  TMData data;
  const QByteArray bytes = data.HolidayStream->Bytes();
  ASSERT_FALSE(bytes.isEmpty());
  EXPECT_NE(bytes.left(6), QByteArray("object"));
  EXPECT_TRUE(ZDecompress(bytes, kMaxTextSize).startsWith("object"));
  TMHolidayBase h;
  AcceptAll(h);
  Load(h, bytes);
  EXPECT_FALSE(h.LoadFailed);
  ASSERT_EQ(h.Data().Count(), 1);
  EXPECT_EQ(h.Data()[0]->idx, "2004/01/01");
  EXPECT_EQ(h.Data()[0]->Title, "New Year");
  EXPECT_EQ(h.Data()[0]->Color, clBlack);
  EXPECT_EQ(h.Data()[0]->Schedule, schYearly);
}

TEST(IconDocument, IconsTravelAsOneStripOf32By32Pictures) {
  TMIconBase icons;
  AcceptAll(icons);
  QImage red(32, 32, QImage::Format_RGB888);
  red.fill(Qt::red);
  QImage big(48, 40, QImage::Format_RGB888);
  big.fill(Qt::blue);
  QImage small(10, 10, QImage::Format_RGB888);
  small.fill(Qt::green);
  icons.AddIcon(red);
  icons.AddIcon(big);
  icons.AddIcon(small);
  const QByteArray strip = icons.WriteIconData();
  EXPECT_EQ(strip.mid(16, 9), QByteArray("32,32,32,"));
  TMIconBase back;
  AcceptAll(back);
  Load(back, Saved(icons, true));
  EXPECT_FALSE(back.LoadFailed);
  ASSERT_EQ(back.Icons.size(), 3u);
  for (const QImage& i : back.Icons) EXPECT_EQ(i.size(), QSize(32, 32));
  EXPECT_EQ(back.Icons[0].pixel(16, 16), qRgb(255, 0, 0));
  EXPECT_EQ(back.Icons[1].pixel(31, 31), qRgb(0, 0, 255));  // cut at the edge
  EXPECT_EQ(back.Icons[2].pixel(5, 5), qRgb(0, 255, 0));
  EXPECT_EQ(back.Icons[2].pixel(20, 20), qRgb(255, 255, 255));  // on white
  // No icons and a broken strip: nothing is lost but the broken property.
  TMIconBase none;
  AcceptAll(none);
  Load(back, Saved(none));
  EXPECT_FALSE(back.LoadFailed);
  EXPECT_TRUE(back.Icons.empty());
  EXPECT_THROW(back.ReadIconData(QByteArray("\x05\x00\x00\x00", 4)), EKVError);
  QString text = QString::fromLatin1(Saved(icons));
  text.replace(QRegularExpression("IconData = \\{[0-9A-F\\s]{10}"), "IconData = {00");
  Load(back, text.toLatin1());
  EXPECT_FALSE(back.LoadFailed);
  EXPECT_TRUE(back.Icons.empty());
  EXPECT_EQ(back.DocType, "Kel Voro Icon List");
}
