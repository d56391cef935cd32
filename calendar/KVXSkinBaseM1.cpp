#include "calendar/KVXSkinBaseM1.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QPainter>

#include "foundation/KVBitmapList.h"
#include "foundation/KVRes.h"
#include "foundation/KVString.h"
#include "foundation/KVSysUtils.h"
#include "foundation/KVZlib.h"
#include "platform/KVSafeSave.h"
#include "platform/KVClock.h"

const QString kDiaryDocType = QStringLiteral("Kel Voro Diary");
const QString kNotesDocType = QStringLiteral("Kel Voro Quick Notes");
const QString kHolidaysDocType = QStringLiteral("Kel Voro Holidays");
const QString kIconsDocType = QStringLiteral("Kel Voro Icon List");
const QString kEventsDocType = QStringLiteral("Kel Voro Events");
const QString kDiaryFileName = QStringLiteral("mdiary.dat");
const QString kNotesFileName = QStringLiteral("mnotes.dat");
const QString kIconsFileName = QStringLiteral("mficons.dat");

namespace {

int CheckType(const QString& docType, const QString& own) { return docType == own ? 0 : 2; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// TMDiaryBase

const ClassInfo& TMDiaryBase::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TMDiaryBase>("TMDiaryBase", &TKVXSkinDiaryBase::StaticClass()).Build();
  return ci;
}

TMDiaryBase::TMDiaryBase(TComponent* owner) : TKVXSkinDiaryBase(owner) { SetName(QStringLiteral("DiaryBase")); }

qint64 TMDiaryBase::MaxTextSize() const { return kMaxUserDocumentSize; }

int TMDiaryBase::CheckDocument(const QString& docType, int) { return CheckType(docType, kDiaryDocType); }

void TMDiaryBase::SaveToStream(QIODevice& Stream, bool Compress) {
  DocType = kDiaryDocType;
  DocVer = 1;
  TKVXSkinDiaryBase::SaveToStream(Stream, Compress);
}

// ---------------------------------------------------------------------------------------------
// TMNotesBase

const ClassInfo& TMNotesBase::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TMNotesBase>("TMNotesBase", &TKVXSkinSafeIni::StaticClass())
                                  .Obj("QuickNote", [](TMNotesBase& n) -> TPersistent* { return &n.QuickNote; })
                                  .Build();
  return ci;
}

TMNotesBase::TMNotesBase(TComponent* owner) : TKVXSkinSafeIni(owner) { SetName(QStringLiteral("NotesBase")); }

void TMNotesBase::ResetDefaults() {
  TKVXSkinSafeIni::ResetDefaults();
  QuickNote.clear();
}

qint64 TMNotesBase::MaxTextSize() const { return kMaxUserDocumentSize; }

int TMNotesBase::CheckDocument(const QString& docType, int) { return CheckType(docType, kNotesDocType); }

void TMNotesBase::SaveToStream(QIODevice& Stream, bool Compress) {
  DocType = kNotesDocType;
  DocVer = 1;
  TKVXSkinSafeIni::SaveToStream(Stream, Compress);
}

// ---------------------------------------------------------------------------------------------
// TMHolidayBase

const ClassInfo& TMHolidayBase::StaticClass() {
  static const ClassInfo ci =
      ClassBuilder<TMHolidayBase>("TMHolidayBase", &TKVXSkinHolidayBase::StaticClass()).Build();
  return ci;
}

TMHolidayBase::TMHolidayBase(TComponent* owner) : TKVXSkinHolidayBase(owner) {
  SetName(QStringLiteral("HolidayBase"));
  ClearIndex();
}

void TMHolidayBase::ClearIndex() {
  index_.fill(-1);
  indexYear_ = 0;
}

void TMHolidayBase::ResetDefaults() {
  TKVXSkinHolidayBase::ResetDefaults();
  ClearIndex();
}

int TMHolidayBase::CheckDocument(const QString& docType, int) { return CheckType(docType, kHolidaysDocType); }

void TMHolidayBase::SaveToStream(QIODevice& Stream, bool Compress) {
  DocType = kHolidaysDocType;
  DocVer = 1;
  TKVXSkinHolidayBase::SaveToStream(Stream, Compress);
}

void TMHolidayBase::RebuildIndex() {
  ClearIndex();
  const int Y = KVNow().date().year();
  indexYear_ = Y;
  const auto put = [this](int row, int day, int item) { index_[size_t(row * kDays + day - 1)] = item; };
  for (int i = 0; i < Data().Count(); ++i) {
    const TKVXBHolidayItem* h = Data()[i];
    const TKeyDate k = h->Key();
    if (k.Month < 1 || k.Month > 12 || k.Day < 1 || k.Day > kDays) continue;
    if (h->Schedule != schOnce) {
      put(k.Month, k.Day, i);
      put(k.Month + 12, k.Day, i);
      if (k.Month == 12) put(0, k.Day, i);
    } else if (k.Year == Y) {
      put(k.Month, k.Day, i);
    } else if (k.Year == Y - 1 && k.Month == 12) {
      put(0, k.Day, i);
    } else if (k.Year == Y + 1) {
      put(k.Month + 12, k.Day, i);
    }
  }
}

void TMHolidayBase::CheckIndexYear() {
  // An index built last year would put this year's days into the wrong rows.
  if (indexYear_ != 0 && indexYear_ != KVNow().date().year()) RebuildIndex();
}

int TMHolidayBase::HolidayRow(int Year, int Month) {
  CheckIndexYear();
  if (indexYear_ == 0 || Month < 1 || Month > 12) return -1;
  if (Year == indexYear_) return Month;
  if (Year == indexYear_ - 1 && Month == 12) return 0;
  if (Year == indexYear_ + 1) return Month + 12;
  return -1;
}

TKVXBHolidayItem* TMHolidayBase::HolidayCell(int Row, int Day) const {
  if (Row < 0 || Row >= kRows || Day < 1 || Day > kDays) return nullptr;
  const int i = index_[size_t(Row * kDays + Day - 1)];
  // Items deleted since the last rebuild leave no dangling cell behind.
  return i >= 0 && i < Data().Count() ? Data()[i] : nullptr;
}

TKVXBHolidayItem* TMHolidayBase::HolidayOf(const QDate& Date) {
  if (!Date.isValid()) return nullptr;
  return HolidayCell(HolidayRow(Date.year(), Date.month()), Date.day());
}

void TMHolidayBase::ListHolidaysOfDate(QStringList& List, const QDate& Date) const {
  List.clear();
  for (int i = 0; i < Data().Count(); ++i) {
    const TKVXBHolidayItem* h = Data()[i];
    const TKeyDate k = h->Key();
    if (k.Month != Date.month() || k.Day != Date.day()) continue;
    if (h->Schedule == schYearly || (h->Schedule == schOnce && k.Year == Date.year())) List << h->Title;
  }
}

// ---------------------------------------------------------------------------------------------
// TMIconBase

const ClassInfo& TMIconBase::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TMIconBase>("TMIconBase", &TKVXSkinSafeIni::StaticClass()).Build();
  return ci;
}

TMIconBase::TMIconBase(TComponent* owner) : TKVXSkinSafeIni(owner) { SetName(QStringLiteral("IconBase")); }

void TMIconBase::AddIcon(const QImage& picture) {
  QImage icon(kIconSize, kIconSize, QImage::Format_BGR888);
  icon.fill(Qt::white);
  if (!picture.isNull()) {
    QPainter p(&icon);
    p.drawImage(0, 0, picture);
  }
  Icons.push_back(icon);
}

void TMIconBase::ResetDefaults() {
  TKVXSkinSafeIni::ResetDefaults();
  Icons.clear();
}

int TMIconBase::CheckDocument(const QString& docType, int) { return CheckType(docType, kIconsDocType); }

void TMIconBase::SaveToStream(QIODevice& Stream, bool Compress) {
  DocType = kIconsDocType;
  DocVer = 1;
  TKVXSkinSafeIni::SaveToStream(Stream, Compress);
}

void TMIconBase::DefineProperties(TFiler& filer) {
  TKVXSkinSafeIni::DefineProperties(filer);
  filer.DefineBinaryProperty(
      QStringLiteral("IconData"),
      [this](const QByteArray& d) {
        try {
          ReadIconData(d);
        } catch (const EKVError& e) {
          iconDataError_ = e.Message();
          throw;
        }
      },
      [this] { return WriteIconData(); }, true);
}

void TMIconBase::LoadFromStream(QIODevice& Stream) {
  iconDataError_.clear();
  TKVXSkinSafeIni::LoadFromStream(Stream);
  if (!iconDataError_.isEmpty() && !LoadFailed) {
    LoadDamaged = true;
    LoadError = iconDataError_;
  }
}

QByteArray TMIconBase::WriteIconData() const {
  TKVBitmapList strip;
  for (const QImage& icon : Icons) strip.AddBitmap(icon);
  QBuffer b;
  b.open(QIODevice::WriteOnly);
  strip.SaveToStream(b);
  return b.data();
}

void TMIconBase::ReadIconData(const QByteArray& data) {
  TKVBitmapList strip;
  QBuffer b;
  b.setData(data);
  b.open(QIODevice::ReadOnly);
  strip.LoadFromStream(b);  // raises on data that is no strip; the icons stay as they were
  // Every icon is stored as a 32 x 32 image: a strip with less room than that holds no icons,
  // only a count (each icon costs 3 KB here however small it was stored).
  if (qint64(strip.Count()) * kIconSize * kIconSize > qint64(strip.Picture().Width()) * strip.Picture().Height())
    throw EReadError(QStringLiteral("The icon strip holds %1 icons in %2 x %3 pixels")
                         .arg(strip.Count())
                         .arg(strip.Picture().Width())
                         .arg(strip.Picture().Height()));
  Icons.clear();
  for (int i = 0; i < strip.Count(); ++i) {
    TKVBitmap icon;
    strip.GetBitmap(icon, i);
    AddIcon(icon.Image());
  }
}

// ---------------------------------------------------------------------------------------------
// TMEventBase

const ClassInfo& TMEventBase::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TMEventBase>("TMEventBase", &TKVXSkinEventBase::StaticClass()).Build();
  return ci;
}

TMEventBase::TMEventBase(TComponent* owner) : TKVXSkinEventBase(owner) { SetName(QStringLiteral("EventBase")); }

int TMEventBase::CheckDocument(const QString& docType, int) { return CheckType(docType, kEventsDocType); }

void TMEventBase::SaveToStream(QIODevice& Stream, bool Compress) {
  DocType = kEventsDocType;
  DocVer = 1;
  TKVXSkinEventBase::SaveToStream(Stream, Compress);
}

// ---------------------------------------------------------------------------------------------

void SaveDocumentFile(TKVXSkinIni& Doc, const QString& FileName, bool Compress) {
  QByteArray bytes;
  {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    Doc.SaveToStream(buffer, Compress);
  }
  if (Doc.LoadFailed || Doc.LoadDamaged) KeepFileAside(FileName);
  SafeSaveChangedBytes(FileName, bytes, true);
  Doc.LoadFailed = false;
  Doc.LoadDamaged = false;
}

void TellDocumentRefused(const TKVXSkinIni& Doc, const QString& FileName) {
  if (!Doc.LoadTooLarge) return;
  KVMessageBox(Format(LanguageResource().RSDocumentTooLargeToRead, {QDir::toNativeSeparators(FileName)}), QString(),
               IDI_WARNING_ICON, 0, ButtonsOK);
}

void LoadDocumentFile(TKVXSkinIni& Doc, const QString& FileName) {
  Doc.LoadFromFile(FileName);
  TellDocumentRefused(Doc, FileName);
  if (!Doc.LoadDamaged) return;
  const TKVLanguageResource& rs = LanguageResource();
  const QString name = QDir::toNativeSeparators(FileName);
  const int items = Doc.ItemCount();
  const QString text = items >= 0 ? Format(rs.RSDocumentDamagedItems, {name, QString::number(items)})
                                  : Format(rs.RSDocumentDamaged, {name});
  KVMessageBox(text, QString(), IDI_WARNING_ICON, 0, ButtonsOK);
}

