#include "controls/KVNbData.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QStringDecoder>

#include "foundation/KVObjectText.h"
#include "foundation/KVRes.h"
#include "foundation/KVString.h"
#include "foundation/KVSysUtils.h"
#include "platform/KVSafeSave.h"

namespace {

const QString kEntryMarker = QStringLiteral("<!--*NB*");
const QString kTitleMarker = QStringLiteral("<!--*NBT*");
const QString kColorMarker = QStringLiteral("<!--*NBC*");
const QString kImageMarker = QStringLiteral("<!--*NBIMG*");
const QString kLinkMarker = QStringLiteral("<!--*NBL*");
const QString kPathMarker = QStringLiteral("<!--*NBP*");
const QString kOpenMarker = QStringLiteral("<!--*NBO*");
const QString kFieldEnd = QStringLiteral("*-->");
const QString kAnyMarker = QStringLiteral("<!--*NB");
const QString kCrLf = QStringLiteral("\r\n");

// The fixed half of the scrambling key.
constexpr char kKeyTable[] =
    "uFsGvCmzhFGejTJsLlavqmkZVXGvSLuswuA14m7UtGHLs3Tb1ABkIJ79VrgpdWkQYRtMnF4Nwd9"
    "fEMDz6rbihSoTpfzjx2pmEG018iIcoF3YrDjCTNsi7zX7vMj6DuQNwHdLmw4NeppnykRfG6kJRI"
    "d5qC0pL3tkCzFxk2vZ3jl7rSMyvSxetAdOuqkJk3mrn6NhFnJqayS0NdmzyHd6dacxqBqiGwe";
constexpr int kKeyTableLength = sizeof(kKeyTable) - 1;
static_assert(kKeyTableLength == 223);

// Leading and trailing blanks and control characters removed.
QString Trimmed(const QString& s) {
  qsizetype b = 0, e = s.size();
  while (b < e && s[b].unicode() <= ' ') ++b;
  while (e > b && s[e - 1].unicode() <= ' ') --e;
  return s.mid(b, e - b);
}

// A header field must stay on its line and must not close itself or open another field early.
QString SafeField(QString s) {
  s.replace(QLatin1Char('\r'), QLatin1Char(' '));
  s.replace(QLatin1Char('\n'), QLatin1Char(' '));
  s.replace(QLatin1String("<!--"), QLatin1String("<!- -"));
  s.replace(kFieldEnd, QLatin1String("*- ->"));
  return s;
}

bool LooksLikeRtf(const QString& text) {
  for (QChar c : text) {
    if (c.unicode() <= ' ') continue;
    return text.mid(text.indexOf(c), 5) == QLatin1String("{\\rtf");
  }
  return false;
}

// The list's own NextID as OnNextID, told apart from handlers set by others.
struct OwnNextID {
  const TNbDataList* list;
  void operator()(QString& id) const { list->NextID(id); }
};

bool SameFile(const QString& a, const QString& b) {
  return QFileInfo(a).absoluteFilePath() == QFileInfo(b).absoluteFilePath();
}

QDate KeyDate(const QString& id) {
  int y, m, d;
  NbKeyDateParts(id, y, m, d);
  return QDate(y, m, d);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The file format

QString NbColorToString(TColor color) { return ColorToString(color); }

TColor NbStringToColor(const QString& text) {
  if (auto c = StringToColor(text)) return *c;
  throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
}

QString NbField(const QString& line, const QString& marker) { return ExtractBetween(marker, kFieldEnd, line); }

QByteArray DescrambleNotebookText(const QByteArray& text, const QString& password) {
  const QByteArray pwd = EncodeObjectTextBytes(password.left(kKeyTableLength));
  if (pwd.isEmpty()) return text;
  QByteArray key;
  key.reserve(2 * pwd.size());
  for (qsizetype i = 0; i < pwd.size(); ++i) {
    key.append(kKeyTable[i]);
    key.append(pwd[i]);
  }
  QByteArray out(text.size(), Qt::Uninitialized);
  const qsizetype k = key.size();
  for (qsizetype j = 0; j < text.size(); ++j) out[j] = char(text[j] ^ key[j % k]);
  return out;
}

QString DecodeNotebookBytes(const QByteArray& bytes) {
  bool ascii = true;
  for (char c : bytes)
    if (uchar(c) >= 0x80) {
      ascii = false;
      break;
    }
  if (ascii) return QString::fromLatin1(bytes);
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8.decode(bytes);
  if (!utf8.hasError()) return text;
  return DecodeObjectTextBytes(bytes);
}

QByteArray EncodeNotebookText(const QString& text) { return text.toUtf8(); }

QStringList SplitNotebookLines(const QString& text) {
  QStringList lines;
  const qsizetype n = text.size();
  qsizetype start = 0;
  for (qsizetype i = 0; i < n; ++i) {
    const QChar c = text[i];
    if (c != QLatin1Char('\r') && c != QLatin1Char('\n')) continue;
    lines.append(text.mid(start, i - start));
    if (c == QLatin1Char('\r') && i + 1 < n && text[i + 1] == QLatin1Char('\n')) ++i;
    start = i + 1;
  }
  if (start < n) lines.append(text.mid(start));
  return lines;
}

QStringList ReadNotebookFile(const QString& fileName, const QString& password) {
  QFile f(fileName);
  if (!f.exists()) return {};
  if (!f.open(QIODevice::ReadOnly))
    throw EFOpenError(QStringLiteral("Cannot open file \"%1\". %2").arg(fileName, f.errorString()));
  if (f.size() > NbMaxFileSize)
    throw EFOpenError(QStringLiteral("Cannot open file \"%1\". The file is too large").arg(fileName));
  QByteArray bytes = f.read(NbMaxFileSize + 1);
  if (bytes.size() > NbMaxFileSize)
    throw EFOpenError(QStringLiteral("Cannot open file \"%1\". The file is too large").arg(fileName));
  if (!password.isEmpty() && !bytes.left(10).contains("<!--*NB")) bytes = DescrambleNotebookText(bytes, password);
  QStringList lines = SplitNotebookLines(DecodeNotebookBytes(bytes));
  if (!lines.isEmpty() && !lines.first().contains(kAnyMarker)) throw ENbDataCrypt(LanguageResource().RSInvalidPWdCrypted);
  return lines;
}

void NbKeyDateParts(const QString& id, int& year, int& month, int& day) {
  year = StrToIntDef(id.mid(0, 4), 2000);
  month = StrToIntDef(id.mid(5, 2), 1);
  day = StrToIntDef(id.mid(8, 2), 1);
}

// ---------------------------------------------------------------------------------------------
// Entries

void TNbObject::SetData(const QString& id, const QString& title, const TKVText& text, TColor color, bool isFolder) {
  const QString oldID = ID;
  ID = id;
  Title = title;
  Text = text;
  Color = color;
  DisplayColor = color;
  IsFolder = isFolder;
  if (ID != oldID) IDChanged(oldID);
}

void TNbObject::IDChanged(const QString& oldID) {
  if (section_ && section_->list_) section_->list_->Renamed(this, oldID);
}

void TNbObject::LoadFromStrings(const QString& headerLine, const QStringList& bodyLines) {
  const TColor color = NbStringToColor(NbField(headerLine, kColorMarker));
  const QString oldID = ID;
  ID = NbField(headerLine, kEntryMarker);
  if (ID != oldID) IDChanged(oldID);
  Title = NbField(headerLine, kTitleMarker);
  Color = color;
  DisplayColor = color;
  qsizetype size = 0;
  for (const QString& l : bodyLines) size += l.size() + 2;
  QString text;
  text.reserve(size);
  for (const QString& l : bodyLines) {
    text += l;
    text += kCrLf;
  }
  Text = std::move(text);
  IsFolder = false;
}

QString TNbObject::HeaderFields() const {
  return kEntryMarker + SafeField(ID) + kFieldEnd + kTitleMarker + SafeField(Title) + kFieldEnd + kColorMarker +
         NbColorToString(Color);
}

QString TNbObject::BodyText() const {
  QString body = Trimmed(Text.ToString());
  // A text line that begins like a marker line would start an entry of its own when read back.
  // In RTF the "<" is written as a hex escape; plain text gets a blank in front.
  if (!body.contains(kEntryMarker)) return body;
  const bool rtf = LooksLikeRtf(body);
  QStringList lines = SplitNotebookLines(body);
  for (QString& l : lines)
    if (l.startsWith(kEntryMarker)) l = rtf ? QStringLiteral("\\'3c") + l.mid(1) : QLatin1Char(' ') + l;
  return lines.join(kCrLf);
}

QString TNbObject::SaveToString() const { return HeaderFields() + kFieldEnd + kCrLf + BodyText() + kCrLf; }

QString TNbObject::GetCaption(const QString& format) const {
  if (IsFolder) return Title;
  if (format == QLatin1String("i")) return ID;
  if (format == QLatin1String("t")) return Title;
  if (format == QLatin1String("dt") || format == QLatin1String("ddt")) {
    // A list holds one for each entry of a diary: no room beyond its characters.
    const QString date = GetDateCaption(format);
    QString caption;
    caption.reserve(date.size() + 3 + Title.size());
    return caption.append(date).append(QLatin1String(" - ")).append(Title);
  }
  return ID + QStringLiteral(" - ") + Title;
}

QString TNbObject::GetDateCaption(const QString& format) const {
  const QDate d = KeyDate(ID);
  // An ID that makes no date is shown as it stands.
  if (!d.isValid()) return ID;
  return QLocale().toString(d, format == QLatin1String("dt") ? QLocale::ShortFormat : QLocale::LongFormat);
}

void TNbThnObject::LoadFromStrings(const QString& headerLine, const QStringList& bodyLines) {
  TNbObject::LoadFromStrings(headerLine, bodyLines);
  Image = NbField(headerLine, kImageMarker);
  Link = StrToBool(NbField(headerLine, kLinkMarker));
}

QString TNbThnObject::SaveToString() const {
  return HeaderFields() + kFieldEnd + kImageMarker + SafeField(Image) + kFieldEnd + kLinkMarker + BoolToStr(Link) +
         kFieldEnd + kCrLf + BodyText() + kCrLf;
}

QString TNbThnObject::GetCaption(const QString& format) const {
  if (IsFolder || format == QLatin1String("t")) return Title;
  if (format == QLatin1String("i")) return Image;
  return Image + QStringLiteral(" - ") + Title;
}

// ---------------------------------------------------------------------------------------------
// Sections

TNbData::TNbData(bool useThumbnails) {
  if (useThumbnails) header_ = std::make_unique<TNbThnObject>();
  else header_ = std::make_unique<TNbObject>();
  header_->IsFolder = true;
}

TNbData::~TNbData() { Clear(); }

namespace {

std::vector<TNbObject*> Pointers(const std::vector<std::unique_ptr<TNbObject>>& items) {
  std::vector<TNbObject*> p;
  p.reserve(items.size());
  for (const auto& i : items) p.push_back(i.get());
  return p;
}

}  // namespace

TNbObject* TNbData::Add(std::unique_ptr<TNbObject> entry) {
  entry->section_ = this;
  items_.push_back(std::move(entry));
  if (list_) list_->Indexed(items_.back().get());
  return items_.back().get();
}

int TNbData::IndexOf(const TNbObject* entry) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].get() == entry) return int(i);
  return -1;
}

void TNbData::Clear() {
  if (items_.empty()) return;
  Modified = true;
  if (OnFreeing) OnFreeing(Pointers(items_));
  items_.clear();
  if (list_) list_->RebuildIndex();
}

void TNbData::Remove(TNbObject* entry) {
  Modified = true;
  const int i = IndexOf(entry);
  if (i < 0) return;
  if (OnFreeing) OnFreeing({entry});
  if (list_) list_->Unindexed(entry, entry->ID);
  items_.erase(items_.begin() + i);
}

// ---------------------------------------------------------------------------------------------
// The notebook

TNbDataList::TNbDataList(bool useThumbnails) : useThumbnails_(useThumbnails) {
  OnNextID.Set(OwnNextID{this});
}

TNbData& TNbDataList::Section(int index) const {
  if (index < 0 || index >= Count()) throw EKVError(QStringLiteral("List index out of bounds (%1)").arg(index));
  return *sections_[size_t(index)];
}

TNbDataList::~TNbDataList() {
  OnEntriesFreeing.Clear();
  Clear();
}

TNbData* TNbDataList::AddSection() {
  sections_.push_back(std::make_unique<TNbData>(useThumbnails_));
  sections_.back()->OnFreeing = [this](const std::vector<TNbObject*>& entries) { OnEntriesFreeing(entries); };
  sections_.back()->list_ = this;
  return sections_.back().get();
}

void TNbDataList::Clear() {
  index_.clear();
  while (!sections_.empty()) {
    // Gone with the index: the section's entries need not be taken out one by one.
    sections_.back()->list_ = nullptr;
    sections_.back()->Clear();
    sections_.pop_back();
  }
}

int TNbDataList::SectionIndexOf(const TNbData* section) const {
  for (size_t s = 0; s < sections_.size(); ++s)
    if (sections_[s].get() == section) return int(s);
  return -1;
}

TNbObject* TNbDataList::ScanFirst(const QString& id, const TNbObject* skip) const {
  for (const auto& sec : sections_)
    for (const auto& e : sec->items_)
      if (e.get() != skip && e->ID == id) return e.get();
  return nullptr;
}

void TNbDataList::RebuildIndex() const {
  index_.clear();
  for (const auto& sec : sections_)
    for (const auto& e : sec->items_) {
      TIndexSlot& slot = index_[e->ID];
      if (slot.count++ == 0) slot.first = e.get();
    }
}

void TNbDataList::Indexed(TNbObject* entry) {
  TIndexSlot& slot = index_[entry->ID];
  // Appended to its section, it comes first only when the first so far lies in a later section.
  if (slot.count++ == 0 || SectionIndexOf(entry->section_) < SectionIndexOf(slot.first->section_)) slot.first = entry;
}

void TNbDataList::Unindexed(const TNbObject* entry, const QString& id) {
  const auto it = index_.find(id);
  if (it == index_.end()) return;
  if (--it->count <= 0) index_.erase(it);
  else if (it->first == entry) it->first = ScanFirst(id, entry);
}

void TNbDataList::Renamed(TNbObject* entry, const QString& oldID) {
  Unindexed(entry, oldID);
  TIndexSlot& slot = index_[entry->ID];
  // Where it stands among others of its new ID is known only by looking.
  slot.first = slot.count++ == 0 ? entry : ScanFirst(entry->ID, nullptr);
}

std::unique_ptr<TNbObject> TNbDataList::NewObject() const {
  if (useThumbnails_) return std::make_unique<TNbThnObject>();
  return std::make_unique<TNbObject>();
}

QString TNbDataList::FreshID() const {
  QString id;
  OnNextID(id);
  return id;
}

void TNbDataList::NextID(QString& id) const {
  qint64 largest = 0;
  for (const auto& s : sections_)
    for (int i = 0; i < s->Count(); ++i) largest = std::max<qint64>(largest, StrToIntDef(s->Items(i)->ID, 0));
  id = QString::number(largest + 1);
}

TNbObject* TNbDataList::FindEntry(const QString& id) const {
  auto it = index_.constFind(id);
  if (it != index_.constEnd() && it->first->ID != id) {
    // An ID was changed behind the index's back: it is made anew.
    RebuildIndex();
    it = index_.constFind(id);
  }
  return it == index_.constEnd() ? nullptr : it->first;
}

TNbObject* TNbDataList::FindEntryPos(const QString& id, int& sectionIndex, int& itemIndex) const {
  TNbObject* entry = FindEntry(id);
  if (!entry || !LocateEntry(entry, sectionIndex, itemIndex)) {
    sectionIndex = itemIndex = -1;
    return nullptr;
  }
  return entry;
}

bool TNbDataList::LocateEntry(const TNbObject* entry, int& sectionIndex, int& itemIndex) const {
  const int s = entry && entry->section_ && entry->section_->list_ == this ? SectionIndexOf(entry->section_) : -1;
  const int i = s >= 0 ? sections_[size_t(s)]->IndexOf(entry) : -1;
  if (i < 0) {
    sectionIndex = itemIndex = -1;
    return false;
  }
  sectionIndex = s;
  itemIndex = i;
  return true;
}

int TNbDataList::IndexOfSectionHeader(const TNbObject* entry) const {
  for (int s = 0; s < Count(); ++s)
    if (&sections_[size_t(s)]->Header() == entry) return s;
  return -1;
}

TNbObject* TNbDataList::StoreEntry(const QString& id, const QString& title, const QString& text, TColor color,
                                   int sectionIndex, TNbStoreMode mode) {
  TNbData& target = Section(sectionIndex);
  TNbObject* found = FindEntry(id);
  TNbObject* result = found;
  if (!found) {
    auto e = NewObject();
    e->SetData(id, title, text, color, false);
    result = target.Add(std::move(e));
  } else if (mode == nbsmOverwrite) {
    found->SetData(id, title, text, color, false);
  } else if (mode == nbsmAddNew) {
    auto e = NewObject();
    e->SetData(FreshID(), title, text, color, false);
    result = target.Add(std::move(e));
  }
  target.Modified = true;
  return result;
}

TNbObject* TNbDataList::AddEntryFromLines(const QString& headerLine, const QStringList& bodyLines, TNbStoreMode mode,
                                          int sectionIndex) {
  TNbData& target = Section(sectionIndex);
  TNbObject* found = FindEntry(NbField(headerLine, kEntryMarker));
  TNbObject* result = found;
  if (!found || mode == nbsmAddNew) {
    auto e = NewObject();
    e->LoadFromStrings(headerLine, bodyLines);
    if (found) e->ID = FreshID();
    result = target.Add(std::move(e));
  } else if (mode == nbsmOverwrite) {
    found->LoadFromStrings(headerLine, bodyLines);
  }
  target.Modified = true;
  return result;
}

void TNbDataList::ParseLines(const QStringList& lines, int sectionIndex, TNbStoreMode mode) {
  TNbData& target = Section(sectionIndex);

  // Fresh IDs from the list's own NextID come from a running largest number: asking NextID for
  // each of many entries with one ID would scan the whole notebook every time.
  const bool ownIDs = OnNextID.fn.target<OwnNextID>() != nullptr;
  bool largestKnown = false;
  qint64 largest = 0;
  auto freshID = [&]() -> QString {
    if (!ownIDs) return FreshID();
    if (!largestKnown) {
      for (const auto& s : sections_)
        for (int i = 0; i < s->Count(); ++i) largest = std::max<qint64>(largest, StrToIntDef(s->Items(i)->ID, 0));
      largestKnown = true;
    }
    return QString::number(++largest);
  };

  auto store = [&](const QString& header, const QStringList& body) {
    TNbObject* found = FindEntry(NbField(header, kEntryMarker));
    if (!found || mode == nbsmAddNew) {
      auto e = NewObject();
      e->LoadFromStrings(header, body);
      if (found) e->ID = freshID();
      TNbObject* added = target.Add(std::move(e));
      if (largestKnown) largest = std::max<qint64>(largest, StrToIntDef(added->ID, 0));
    } else if (mode == nbsmOverwrite) {
      found->LoadFromStrings(header, body);
    }
  };

  QString header;
  QStringList body;
  bool pending = false;
  try {
    for (const QString& line : lines) {
      if (line.startsWith(kEntryMarker)) {
        if (pending) store(header, body);
        header = line;
        body.clear();
        pending = true;
      } else if (pending) {
        body.append(line);
      }
    }
    if (pending) store(header, body);
  } catch (...) {
    target.Modified = true;
    throw;
  }
  target.Modified = true;
}

void TNbDataList::LoadSection(const QString& fileName, int sectionIndex) {
  TNbData& target = Section(sectionIndex);
  target.Clear();
  target.DamagedFile.clear();
  try {
    const QStringList lines = ReadNotebookFile(fileName, FilePassword);
    ParseLines(lines, sectionIndex, nbsmKeep);
  } catch (...) {
    target.DamagedFile = fileName;
    throw;
  }
  target.Modified = false;
  target.Loaded = true;
}

void TNbDataList::MergeFile(const QString& fileName, int sectionIndex, TNbStoreMode mode) {
  TNbData& target = Section(sectionIndex);
  try {
    const QStringList lines = ReadNotebookFile(fileName, FilePassword);
    ParseLines(lines, sectionIndex, mode);
  } catch (...) {
    target.DamagedFile = fileName;
    throw;
  }
  target.Loaded = true;
}

void TNbDataList::LoadSectionFromStrings(const QStringList& lines, int sectionIndex) {
  TNbData& target = Section(sectionIndex);
  target.Clear();
  ParseLines(lines, sectionIndex, nbsmKeep);
  target.Modified = false;
}

QString TNbDataList::SectionText(int sectionIndex) const {
  const TNbData& sec = Section(sectionIndex);
  QString text;
  for (int i = 0; i < sec.Count(); ++i) text += sec.Items(i)->SaveToString();
  return text;
}

void TNbDataList::SaveSection(const QString& fileName, int sectionIndex) {
  TNbData& sec = Section(sectionIndex);
  const QByteArray bytes = EncodeNotebookText(SectionText(sectionIndex));
  const bool damaged = !sec.DamagedFile.isEmpty() && SameFile(sec.DamagedFile, fileName);
  if (damaged) KeepFileAside(fileName);
  SafeSaveBytes(fileName, bytes, true);
  if (damaged) sec.DamagedFile.clear();
  sec.Modified = false;
}

// ---------------------------------------------------------------------------------------------
// Folder mode

bool TNbDataList::SectionTitleExists(const QString& title) const {
  if (title.isEmpty()) return false;
  for (const auto& s : sections_)
    if (s->Header().Title == title) return true;
  return false;
}

QString TNbDataList::UniqueSectionTitle(const QString& base) const {
  QString title = base;
  for (qint64 n = 1; SectionTitleExists(title); ++n) title = base + QString::number(n);
  return title;
}

void TNbDataList::UpdateSectionPaths(TNbData* section) {
  if (!section) return;
  const TNbData* parent = section->Parent;
  if (!parent) section->Header().Text.clear();
  else if (parent->Header().Text.isEmpty()) section->Header().Text = parent->Header().Title;
  else section->Header().Text = parent->Header().Text + QLatin1Char('\t') + parent->Header().Title;
  for (TNbData* child : section->Children)
    if (child != section) UpdateSectionPaths(child);
}

void TNbDataList::RenameSection(TNbData* section, const QString& newTitle) {
  if (!section || section->Header().Title == newTitle) return;
  section->Header().Title = UniqueSectionTitle(newTitle);
  UpdateSectionPaths(section);
  RenameSectionFiles(section);
}

void TNbDataList::RenameSectionFiles(TNbData* section) {
  if (!section || section->FileName.isEmpty()) return;
  const QFileInfo old(section->FileName);
  const QString folder = section->FileName.left(section->FileName.size() - old.fileName().size());
  QString newName = folder + MakeValidFileName(section->Header().Title) + QStringLiteral(".DAT");
  if (newName == section->FileName) return;
  newName = MakeUniqueFileName(newName);
  if (!QFile::rename(section->FileName, newName)) return;
  auto base = [](const QString& path) {
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return dot > slash ? path.left(dot) : path;
  };
  const QString oldBase = base(section->FileName), newBase = base(newName);
  for (const char* ext : {".HDR", ".FLD"}) {
    const QString target = newBase + QLatin1String(ext), source = oldBase + QLatin1String(ext);
    if (QFile::exists(target)) QFile::remove(target);
    if (QFile::exists(source)) QFile::rename(source, target);
  }
  section->FileName = newName;
}

void TNbDataList::ParseSectionHeader(const QString& text, int sectionIndex) {
  TNbData& sec = Section(sectionIndex);
  const TColor color = NbStringToColor(NbField(text, kColorMarker));
  sec.Header().Text = NbField(text, kPathMarker);
  sec.Header().Color = color;
  sec.Header().DisplayColor = color;
  sec.Open = StrToBool(NbField(text, kOpenMarker));
  const QString title = NbField(text, kTitleMarker);
  bool taken = false;
  for (const auto& s : sections_)
    if (s.get() != &sec && !title.isEmpty() && s->Header().Title == title) taken = true;
  if (taken) RenameSection(&sec, title);
  else sec.Header().Title = title;
}

void TNbDataList::LoadSectionHeader(const QString& fileName, int sectionIndex) {
  QFile f(fileName);
  if (!f.exists()) return;
  if (!f.open(QIODevice::ReadOnly))
    throw EFOpenError(QStringLiteral("Cannot open file \"%1\". %2").arg(fileName, f.errorString()));
  if (f.size() > NbMaxFileSize)
    throw EFOpenError(QStringLiteral("Cannot open file \"%1\". The file is too large").arg(fileName));
  ParseSectionHeader(DecodeNotebookBytes(f.read(NbMaxFileSize)), sectionIndex);
}
