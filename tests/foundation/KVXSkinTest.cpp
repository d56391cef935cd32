#include <QBuffer>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include "foundation/KVString.h"
#include "foundation/KVXSkinBase.h"
#include "foundation/KVZlib.h"
#include "platform/KVClock.h"
#include "tests/common/TestUtil.h"

namespace {

class TTestDoc : public TKVXSkinDiaryBase {
  KV_CLASS(TTestDoc)
 public:
  explicit TTestDoc(TComponent* owner = nullptr, const QString& name = "DiaryBase") : TKVXSkinDiaryBase(owner) {
    SetName(name);
  }
  TKVStreamProp Extra;
  int CheckDocument(const QString& type, int) override { return type == "Test Diary" ? 0 : 2; }
  void SaveToStream(QIODevice& s, bool c) override {
    DocType = "Test Diary";
    DocVer = 1;
    TKVXSkinDiaryBase::SaveToStream(s, c);
  }
};

const ClassInfo& TTestDoc::StaticClass() {
  static const ClassInfo ci =
      ClassBuilder<TTestDoc>("TTestDoc", &TKVXSkinDiaryBase::StaticClass()).Obj("Extra", &TTestDoc::Extra).Build();
  return ci;
}

class TMainForm : public TComponent {
  KV_CLASS(TMainForm)
 public:
  using TComponent::TComponent;
  bool accept = true;
  QString seen;
  void DiaryVerify(TPersistent*, const QString& safe, bool& ok) {
    seen = safe;
    ok = accept;
  }
};
const ClassInfo& TMainForm::StaticClass() {
  static const ClassInfo ci =
      ClassBuilder<TMainForm>("TMainForm", &TComponent::StaticClass()).Method("DiaryVerify", &TMainForm::DiaryVerify).Build();
  return ci;
}

void AcceptAll(TKVXSkinSafeIni& d) {
  d.OnVerify.Set([](TPersistent*, const QString&, bool& ok) { ok = true; });
}

QByteArray Save(TKVXSkinIni& d, bool compress) {
  QBuffer b;
  b.open(QIODevice::WriteOnly);
  d.SaveToStream(b, compress);
  return b.data();
}

void Load(TKVXSkinIni& d, const QByteArray& bytes) {
  QBuffer b;
  b.setData(bytes);
  b.open(QIODevice::ReadOnly);
  d.LoadFromStream(b);
}

void Fill(TTestDoc& d) {
  d.Safe = QString::fromLatin1("pa'ss\xE9");
  auto* a = d.Data().Add();
  a->idx = "2007/12/24";
  a->Lines = "{\\rtf1 Christmas}\r\nline";
  a->Title = "Eve";
  a->Color = clRed;
  d.Data().Add()->idx = "2008/01/01";
  d.Extra.Compressed = true;
  d.Extra.SetBytes(QByteArray(3000, 'x'));
}

}  // namespace

TEST(KVXSkin, PlainAndCompressedRoundTrip) {
  TTestDoc doc;
  Fill(doc);
  AcceptAll(doc);
  const QByteArray plain = Save(doc, false);
  const QByteArray packed = Save(doc, true);
  EXPECT_TRUE(plain.startsWith("object DiaryBase: TTestDoc\r\n"));
  EXPECT_FALSE(plain.contains("OnVerify"));  // the handler never travels with the document
  EXPECT_FALSE(plain.contains("Skin."));
  EXPECT_TRUE(plain.contains("Extra.CData = {"));
  EXPECT_EQ(uchar(packed[0]), 0x78);
  EXPECT_EQ(ZDecompress(packed, kMaxTextSize), plain);

  for (const QByteArray& bytes : {plain, packed}) {
    TTestDoc back;
    AcceptAll(back);
    Load(back, bytes);
    EXPECT_FALSE(back.LoadFailed) << back.LoadError.toStdString();
    EXPECT_EQ(back.Safe, doc.Safe);
    ASSERT_EQ(back.Data().Count(), 2);
    EXPECT_EQ(back.Data()[0]->Lines, doc.Data()[0]->Lines);
    EXPECT_EQ(back.Data()[0]->Color, clRed);
    EXPECT_EQ(back.Extra.Bytes(), QByteArray(3000, 'x'));
    EXPECT_EQ(Save(back, false), plain);
  }
}

TEST(KVXSkin, TextUnderAnotherNameLoadsIntoTheDocument) {
  TTestDoc doc;
  AcceptAll(doc);
  Load(doc, "object Whatever: TSomethingElse\r\n  DocType = 'Test Diary'\r\n  Data = <\r\n    item\r\n"
            "      idx = '2000/02/02'\r\n    end>\r\n  Unknown = 5\r\nend\r\n");
  EXPECT_FALSE(doc.LoadFailed);
  EXPECT_EQ(doc.Name(), "DiaryBase");
  ASSERT_EQ(doc.Data().Count(), 1);
  EXPECT_EQ(doc.Data()[0]->idx, "2000/02/02");
}

TEST(KVXSkin, DocumentOfAnotherTypeIsRefusedAndEmptied) {
  TTestDoc doc;
  Fill(doc);
  AcceptAll(doc);
  Load(doc, "object a: TB\r\n  DocType = 'test diary'\r\n  Safe = 'x'\r\nend\r\n");
  EXPECT_TRUE(doc.LoadFailed);
  EXPECT_EQ(doc.Data().Count(), 0);
  EXPECT_EQ(doc.Safe, "");
}

TEST(KVXSkin, CorruptOrMalformedDataChangesNothing) {
  const QByteArray bad[] = {
      QByteArray("neither text nor zlib"),
      QByteArray("object a: TB\r\n  !\r\n  DocType = 'Test Diary'\r\nend\r\n"),  // nothing before the damage
      ZCompress("object a: TB\r\n  DocType = 'Test Diary'").left(10),
      QByteArray(),
  };
  for (const QByteArray& b : bad) {
    TTestDoc doc;
    Fill(doc);
    AcceptAll(doc);
    Load(doc, b);
    EXPECT_TRUE(doc.LoadFailed);
    EXPECT_FALSE(doc.LoadDamaged);
    EXPECT_FALSE(doc.LoadError.isEmpty());
    EXPECT_EQ(doc.Data().Count(), 2);
  }
}

TEST(KVXSkin, DamagedTextLoadsTheItemsBeforeTheDamage) {
  TTestDoc full;
  Fill(full);
  full.Extra.SetBytes({});
  // The third item's text makes up most of the compressed stream, so a cut lands inside it.
  auto* third = full.Data().Add();
  third->idx = "2008/02/02";
  quint32 state = 7;
  for (int i = 0; i < 20000; ++i) third->Lines += QChar('a' + int((state = state * 1103515245u + 12345u) >> 16) % 26);
  const QByteArray plain = Save(full, false), packed = Save(full, true);
  // Cut inside the third item: plain, compressed, and with a bad value in the third item.
  QByteArray spoiled = plain;
  spoiled.replace("'2008/02/02'", "'2008/02/02");
  for (const QByteArray& bytes : {plain.left(plain.indexOf("2008/02/02")), packed.left(packed.size() * 9 / 10), spoiled}) {
    TTestDoc doc;
    AcceptAll(doc);
    doc.Data().Add()->idx = "1999/09/09";
    Load(doc, bytes);
    EXPECT_FALSE(doc.LoadFailed);
    EXPECT_TRUE(doc.LoadDamaged);
    EXPECT_FALSE(doc.LoadError.isEmpty());
    ASSERT_EQ(doc.Data().Count(), 2) << doc.LoadError.toStdString();
    EXPECT_EQ(doc.Data()[0]->Title, "Eve");
    EXPECT_EQ(doc.Data()[1]->idx, "2008/01/01");
    EXPECT_EQ(doc.ItemCount(), 2);
    EXPECT_EQ(doc.Safe, full.Safe);
    // The next load of a whole text is not damaged.
    Load(doc, plain);
    EXPECT_FALSE(doc.LoadDamaged);
    EXPECT_EQ(doc.Data().Count(), 3);
  }
}

TEST(KVXSkin, TextsBeyondTheDocumentBudgetAreRefusedBeforeTheyAreRead) {
  // A holiday title of 17 MB: the plain text and its compressed form (a few kilobytes).
  QByteArray text = "object HolidayBase: TKVXSkinHolidayBase\r\n  DocType = 'H'\r\n  Data = <\r\n    item\r\n      Title = '";
  text += QByteArray(17 * 1024 * 1024, 'x') + "'\r\n    end>\r\nend\r\n";
  const QByteArray packed = ZCompress(text);
  EXPECT_LT(packed.size(), 64 * 1024);
  for (const QByteArray& bytes : {text, packed}) {
    TKVXSkinHolidayBase doc(nullptr);
    doc.SetName("HolidayBase");
    AcceptAll(doc);
    doc.Data().Add()->Title = "kept";
    Load(doc, bytes);
    EXPECT_TRUE(doc.LoadFailed);
    EXPECT_FALSE(doc.LoadDamaged);
    ASSERT_EQ(doc.Data().Count(), 1);
    EXPECT_EQ(doc.Data()[0]->Title, "kept");
  }
  EXPECT_EQ(TKVXSkinHolidayBase(nullptr).MaxTextSize(), kMaxTextSize);
}

TEST(KVXSkin, SafeDocumentsLoadOnlyWhenAccepted) {
  TMainForm form;
  auto* doc = new TTestDoc(&form);
  Fill(*doc);
  const QByteArray saved = Save(*doc, false);

  auto* plain = new TTestDoc(&form, "Other");
  Load(*plain, saved);  // no handler: never loads
  EXPECT_TRUE(plain->LoadFailed);
  EXPECT_EQ(plain->Data().Count(), 0);

  plain->OnVerify.fn = *FindPublishedMethod<void(TPersistent*, const QString&, bool&)>(&form, "DiaryVerify");
  form.accept = false;
  Load(*plain, saved);
  EXPECT_TRUE(plain->LoadFailed);
  EXPECT_EQ(form.seen, QString::fromLatin1("pa'ss\xE9"));
  form.accept = true;
  Load(*plain, saved);
  EXPECT_FALSE(plain->LoadFailed);
  EXPECT_EQ(plain->Data().Count(), 2);
}

TEST(KVXSkin, HeaderValues) {
  const QString text = "object a: T\r\n  doctype = 'It''s'\r\n  Safe = 'a'#233'b'\r\nend\r\n";
  EXPECT_EQ(TKVXSkinIni::HeaderValue(text, "DocType"), "'It''s'");
  EXPECT_EQ(TKVXSkinIni::HeaderValue(text, "DocVer"), "");
  TTestDoc doc;
  QString seen;
  doc.OnVerify.Set([&seen](TPersistent*, const QString& s, bool& ok) {
    seen = s;
    ok = false;
  });
  Load(doc, text.toLatin1());
  EXPECT_EQ(seen, QString::fromLatin1("a\xE9" "b"));
}

TEST(KVXSkin, FailedSaveKeepsTheOldFile) {
  const QString dir = kvtest::TestRoot() + "/docs";
  QDir(dir).removeRecursively();
  QDir().mkpath(dir);
  TTestDoc doc;
  Fill(doc);
  doc.SaveToFile(dir + "/mdiary.dat", true);
  EXPECT_EQ(QFile::permissions(dir + "/mdiary.dat") & (QFile::ReadGroup | QFile::ReadOther), 0);
  const QByteArray before = kvtest::ReadFile(dir + "/mdiary.dat");
  QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner);
  doc.Data().Clear();
  bool failed = false;
  try {
    doc.SaveToFile(dir + "/mdiary.dat", true);
  } catch (const EFCreateError&) {
    failed = true;
  }
  QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  if (!failed) GTEST_SKIP() << "running as root: folder permissions are not enforced";
  EXPECT_EQ(kvtest::ReadFile(dir + "/mdiary.dat"), before);
  EXPECT_THROW(doc.SaveToFile(dir + "/missing/mdiary.dat", false), EFCreateError);

  TTestDoc back;
  AcceptAll(back);
  back.LoadFromFile(dir + "/nothing-here.dat");
  EXPECT_FALSE(back.LoadFailed);
  back.LoadFromFile(dir + "/mdiary.dat");
  EXPECT_EQ(back.Data().Count(), 2);
}

TEST(KVXSkin, StreamPropsChooseTheirStoredName) {
  TKVStreamProp p;
  TKVStoredStream s;
  for (bool compressed : {false, true}) {
    p.Compressed = compressed;
    EXPECT_TRUE(WriteProperties(p).size() == (compressed ? 1u : 0u));  // only the flag when empty
  }
  p.SetBytes("payload");
  p.Compressed = false;
  auto props = WriteProperties(p);
  ASSERT_EQ(props.size(), 1u);
  EXPECT_EQ(props[0].name, "Data");
  // Written raw, read into a compressed one, and the other way round.
  TKVStreamProp q;
  q.Compressed = true;
  ReadProperties(q, props, TReadHandlers{});
  EXPECT_EQ(q.Bytes(), "payload");
  EXPECT_EQ(q.BinStream().pos(), 7);
  auto cprops = WriteProperties(q);
  ASSERT_EQ(cprops.size(), 2u);
  EXPECT_EQ(cprops[1].name, "CData");
  EXPECT_EQ(uchar(cprops[1].value.bytes[0]), 0x78);
  TKVStreamProp r;
  ReadProperties(r, cprops, TReadHandlers{});
  EXPECT_EQ(r.Bytes(), "payload");
  EXPECT_TRUE(r.Compressed);
  std::vector<TextProperty> corrupt = {{"CData", TextValue::Binary("\x78\x9c garbage"), 1}};
  EXPECT_THROW(ReadProperties(r, corrupt, TReadHandlers{}), EZlibError);
}

TEST(KVXSkinBase, DateKeysReadByPosition) {
  auto k = ReadDateKey("2007/12/24");
  EXPECT_EQ(k.Year, 2007);
  EXPECT_EQ(k.Month, 12);
  EXPECT_EQ(k.Day, 24);
  k = ReadDateKey("abcdefghij");
  EXPECT_EQ(k.Year, 2000);
  EXPECT_EQ(k.Month, 1);
  EXPECT_EQ(k.Day, 1);
  k = ReadDateKey("1999");
  EXPECT_EQ(k.Year, 1999);
  EXPECT_EQ(k.Month, 1);
  EXPECT_EQ(k.Day, 1);
  k = ReadDateKey("2001-03-04");  // separators are not checked
  EXPECT_EQ(k.Month, 3);
  EXPECT_EQ(DateKey(QDate(2007, 12, 24)), "2007/12/24");
}

TEST(KVXSkinBase, EventItemsAndRecurrenceTexts) {
  SetClock([] { return QDateTime(QDate(2024, 3, 4), QTime(10, 5)); });
  TKVXSkinEventBase events(nullptr);
  EXPECT_EQ(CurrentYear, 2024);
  EXPECT_EQ(CurrentDayOfWeek, 2);  // a Monday
  auto* e = events.Data().Add();
  EXPECT_TRUE(e->Enabled);
  EXPECT_TRUE(e->Sound);
  EXPECT_FALSE(e->Timed);
  EXPECT_EQ(DateTimeToDate(e->StartDate), QDate(2024, 3, 4));
  e->Caption = "Call";
  e->Schedule = schHourly;
  EXPECT_EQ(ScheduleText(*e), "");
  EXPECT_EQ(EventItemCaption(*e), " - Call");
  e->Timed = true;
  EXPECT_EQ(ScheduleText(*e), "Hourly at 5");
  e->Schedule = schWeekly;
  EXPECT_EQ(ScheduleText(*e), "Weekly every Monday at 10:05 AM");
  e->Timed = false;
  EXPECT_EQ(ScheduleText(*e), "Weekly every Monday at startup");
  e->Schedule = schYearly;
  EXPECT_EQ(ScheduleText(*e), "Yearly 04 March at startup");
  e->Schedule = schMonthly;
  e->Timed = true;
  EXPECT_EQ(ScheduleText(*e), "Monthly 04 at 10:05 AM");
  e->Schedule = schOnce;
  EXPECT_EQ(ScheduleText(*e), "Once 3/4/24 at 10:05 AM");
  e->Schedule = schBiMonthly;
  EXPECT_EQ(ScheduleText(*e), "");
  SetClock({});
}

TEST(KVXSkinBase, AssignCopiesCommonPropertiesOnly) {
  TKVXSkinHolidayBase hol(nullptr);
  TKVXSkinDiaryBase diary(nullptr);
  auto* h = hol.Data().Add();
  h->idx = "2004/01/01";
  h->Title = "New Year";
  h->Schedule = schYearly;
  auto* d = diary.Data().Add();
  d->Assign(*h);
  EXPECT_EQ(d->Title, "New Year");
  auto* h2 = hol.Data().Add();
  h2->Schedule = schDaily;
  h2->Assign(*d);
  EXPECT_EQ(h2->idx, "2004/01/01");
  EXPECT_EQ(h2->Schedule, schDaily);
  h2->Assign(*h);
  EXPECT_EQ(h2->Schedule, schYearly);
  hol.Safe = "s";
  hol.ResetDefaults();
  EXPECT_EQ(hol.Data().Count(), 0);
  EXPECT_EQ(hol.Safe, "");
}

namespace {

// A diary that may hold 256 KB of text.
class TSmallDoc : public TTestDoc {
 public:
  using TTestDoc::TTestDoc;
  qint64 MaxTextSize() const override { return 256 * 1024; }
};

// One entry whose text has Length characters of a pattern that does not compress to nothing.
void FillEntry(TTestDoc& d, qsizetype Length) {
  d.Data().Clear();
  QString lines(Length, 'a');
  for (qsizetype i = 0; i < Length; ++i) lines[i] = QChar(char16_t('a' + (i * 7 + i / 13) % 26));
  d.Data().Add()->Lines = lines;
}

bool Saves(TTestDoc& d) {
  try {
    Save(d, false);
    return true;
  } catch (const ETextBudgetError&) {
    return false;
  }
}

}  // namespace

TEST(KVXSkin, WhatASaveWritesTheNextLoadTakesUpToTheLimit) {
  TSmallDoc doc;
  // The longest entry whose text the document may hold.
  qsizetype lo = 0, hi = doc.MaxTextSize();
  while (lo < hi) {
    const qsizetype mid = (lo + hi + 1) / 2;
    FillEntry(doc, mid);
    if (Saves(doc))
      lo = mid;
    else
      hi = mid - 1;
  }
  FillEntry(doc, lo);
  const QByteArray plain = Save(doc, false);
  EXPECT_LE(plain.size(), doc.MaxTextSize());
  EXPECT_GT(plain.size(), doc.MaxTextSize() - 64);
  for (const bool compress : {false, true}) {
    TSmallDoc back;
    AcceptAll(back);
    Load(back, Save(doc, compress));
    EXPECT_FALSE(back.LoadFailed) << back.LoadError.toStdString();
    ASSERT_EQ(back.Data().Count(), 1);
    EXPECT_EQ(back.Data()[0]->Lines, doc.Data()[0]->Lines);
  }
  // One character more is refused by the save itself, which writes nothing.
  FillEntry(doc, lo + 1);
  QBuffer b;
  b.open(QIODevice::WriteOnly);
  try {
    doc.SaveToStream(b, true);
    FAIL() << "a text the next load refuses was written";
  } catch (const ETextBudgetError& e) {
    EXPECT_TRUE(e.Reason().contains("read back")) << e.Reason().toStdString();
  }
  EXPECT_TRUE(b.data().isEmpty());
}

TEST(KVXSkin, ATextThatCostsMoreThanItsFileMayIsRefusedWholeAndChangesNothing) {
  // 300,000 empty entries: 2.7 MB of text in 3 KB compressed, 77 MB as a tree.
  QByteArray text = "object DiaryBase: TTestDoc\r\n  DocType = 'Test Diary'\r\n  Data = <";
  for (int i = 0; i < 300000; ++i) text += " item end";
  text += ">\r\nend\r\n";
  const QByteArray packed = ZCompress(text);
  EXPECT_LT(packed.size(), 64 * 1024);
  // Whole, and cut short (which would otherwise recover the entries before the cut).
  for (const QByteArray& bytes : {packed, packed.left(packed.size() * 9 / 10)}) {
    TTestDoc doc;
    AcceptAll(doc);
    doc.Data().Add()->idx = "kept";
    Load(doc, bytes);
    EXPECT_TRUE(doc.LoadFailed);
    EXPECT_TRUE(doc.LoadTooLarge);
    EXPECT_FALSE(doc.LoadDamaged);
    EXPECT_FALSE(doc.LoadError.isEmpty());
    ASSERT_EQ(doc.Data().Count(), 1);
    EXPECT_EQ(doc.Data()[0]->idx, "kept");
  }
  // The same entries in plain text bear their own cost.
  TTestDoc doc;
  AcceptAll(doc);
  Load(doc, text);
  EXPECT_FALSE(doc.LoadFailed) << doc.LoadError.toStdString();
  EXPECT_EQ(doc.Data().Count(), 300000);
}

TEST(KVXSkin, ATextTooDenseForItsCompressedSizeIsWrittenPlainAndReadsBack) {
  // A document whose budget is what a file of its size pays for, with a small floor.
  class TDenseDoc : public TTestDoc {
   public:
    using TTestDoc::TTestDoc;
    qint64 LoadBudget(qint64 Stored) const override { return std::max<qint64>(1024 * 1024, Stored * kDocumentBudgetPerStoredByte); }
  };
  TDenseDoc doc;
  for (int i = 0; i < 3000; ++i) {
    TKVXBDiaryItem* item = doc.Data().Add();
    item->idx = QString("%1/01/01").arg(1000 + i);
    item->Lines = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 The same note as every day\\par}";
  }
  const QByteArray packed = ZCompress(Save(doc, false));
  const QByteArray saved = Save(doc, true);
  EXPECT_TRUE(saved.startsWith("object"));
  // Compressed, it would cost more than so few bytes may: the next load would refuse it.
  TDenseDoc refused;
  AcceptAll(refused);
  Load(refused, packed);
  EXPECT_TRUE(refused.LoadTooLarge);
  TDenseDoc back;
  AcceptAll(back);
  Load(back, saved);
  EXPECT_FALSE(back.LoadFailed) << back.LoadError.toStdString();
  ASSERT_EQ(back.Data().Count(), 3000);
  EXPECT_EQ(back.Data()[2999]->idx, doc.Data()[2999]->idx);
  EXPECT_EQ(back.Data()[2999]->Lines, doc.Data()[2999]->Lines);
  // A few entries stay compressed.
  TDenseDoc few;
  few.Data().Add()->Lines = doc.Data()[0]->Lines;
  EXPECT_FALSE(Save(few, true).startsWith("object"));
}
