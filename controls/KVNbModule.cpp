#include "controls/KVNbModule.h"

#include <QDir>
#include <QLineEdit>
#include <QPainter>
#include <QPen>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTextList>
#include <QThread>
#include <QThreadPool>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <string_view>
#include <sys/mman.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "controls/KVListBox.h"
#include "controls/KVPrint.h"
#include "controls/KVRichEdOLE.h"
#include "controls/KVRichText.h"
#include "controls/KVRtfReader.h"
#include "foundation/KVRes.h"
#include "foundation/KVString.h"
#include "foundation/KVSysUtils.h"
#include "foundation/KVXSkin.h"

const EnumInfo kNbSearchKeywordsEnum{QStringLiteral("TNbSearchKeywords"),
                                     {QStringLiteral("nbsExact"), QStringLiteral("nbsAll"), QStringLiteral("nbsAny")}};

// ---------------------------------------------------------------------------------------------
// Search

QStringList NbSearchKeywords(const QString& text, TNbSearchKeywords mode) {
  if (text.isEmpty()) return {};
  if (mode == nbsExact) return {text};
  // Words as users type them, parted by blanks or commas; stray separators give no empty word,
  // which would find everything or nothing.
  static const QRegularExpression separators(QStringLiteral("[,\\s]+"),
                                              QRegularExpression::UseUnicodePropertiesOption);
  return text.split(separators, Qt::SkipEmptyParts);
}

QString NbSearchFold(const QString& text) {
  return text.toCaseFolded().normalized(QString::NormalizationForm_C);
}

namespace {

bool IsRtfText(const QString& text) {
  qsizetype i = 0;
  while (i < text.size() && text[i].unicode() <= ' ') ++i;
  return QStringView(text).mid(i, 5) == QLatin1String("{\\rtf");
}

// NbPlainText of an entry's text into Plain; RTF kept in bytes is read as it stands.
void PlainTextOf(const TKVText& text, QString& plain) {
  if (!text.Narrow()) {
    plain = NbPlainText(text.ToString());
    return;
  }
  const QByteArray& bytes = text.Latin1();
  qsizetype i = 0;
  while (i < bytes.size() && uchar(bytes[i]) <= ' ') ++i;
  if (QByteArrayView(bytes).sliced(i).startsWith("{\\rtf") && KVRtfToText(bytes, plain)) return;
  plain = QString::fromLatin1(bytes);
}

// Room for the search texts of many entries, given back whole with the last of them. Kept each
// in bytes of its own, the texts of a large diary fault their memory in page by page, which took
// longer than reading them; a room is one huge page where the system gives them.
class TSearchRoom {
 public:
  static constexpr size_t kSize = size_t(2) << 20;
  // Nullptr when the system has no memory to map.
  static std::shared_ptr<TSearchRoom> Make() {
    // Twice the size, for a start on a boundary of its own size.
    void* p = mmap(nullptr, 2 * kSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    char* base = static_cast<char*>(p);
    char* start = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(base) + kSize - 1) & ~uintptr_t(kSize - 1));
    if (start > base) munmap(base, size_t(start - base));
    if (const size_t tail = size_t(base + 2 * kSize - (start + kSize)); tail > 0) munmap(start + kSize, tail);
#ifdef MADV_HUGEPAGE
    madvise(start, kSize, MADV_HUGEPAGE);
#endif
    return std::make_shared<TSearchRoom>(start);
  }
  explicit TSearchRoom(char* data) : data_(data) {}
  ~TSearchRoom() { munmap(data_, kSize); }
  TSearchRoom(const TSearchRoom&) = delete;
  TSearchRoom& operator=(const TSearchRoom&) = delete;
  // N bytes of it; nullptr when they do not fit.
  char* Take(size_t n) {
    if (kSize - used_ < n) return nullptr;
    char* p = data_ + used_;
    used_ += n;
    return p;
  }

 private:
  char* data_;
  size_t used_ = 0;
};

void FoldAscii(const QString& plain, char* to) {
  const char16_t* from = reinterpret_cast<const char16_t*>(plain.constData());
  for (qsizetype k = 0; k < plain.size(); ++k) {
    const char16_t c = from[k];
    to[k] = char(unsigned(c) - u'A' < 26u ? c + ('a' - 'A') : c);
  }
}

// The plain text a search compares, folded, in UTF-8: half the memory of the text, and a word
// is found in it exactly where it is found in the text. With Room, an ASCII text goes into the
// room (a new one when it is full), and In holds what it went into.
QByteArray SearchTextOf(const TKVText& text, std::shared_ptr<TSearchRoom>* room = nullptr,
                        std::shared_ptr<const void>* in = nullptr) {
  // Every entry's plain text passes through one string of the thread's, which a long one does not keep.
  thread_local QString plain;
  PlainTextOf(text, plain);
  QByteArray folded;
  if (QtPrivate::isAscii(QStringView(plain))) {
    // Folding ASCII lowers A to Z and nothing else, and the text is composed already: the
    // general folding looks up every character's properties.
    const size_t n = size_t(plain.size());
    char* to = nullptr;
    if (room && n > 0 && n <= TSearchRoom::kSize / 8 && !(*room && (to = (*room)->Take(n)))) {
      *room = TSearchRoom::Make();
      if (*room) to = (*room)->Take(n);
    }
    if (to) {
      FoldAscii(plain, to);
      folded = QByteArray::fromRawData(to, qsizetype(n));
      *in = *room;
    } else {
      folded = QByteArray(plain.size(), Qt::Uninitialized);
      FoldAscii(plain, folded.data());
    }
  } else {
    folded = NbSearchFold(plain).toUtf8();
    // The conversion leaves room for three bytes a character; kept for every entry, it goes.
    folded.squeeze();
  }
  if (plain.capacity() > (1 << 16)) plain = QString();
  return folded;
}

// The entry's search text. Converting RTF is most of a search: it is done again only when the
// entry's text has changed since (the kept source shares the text's characters, so a changed
// text has other ones).
const QByteArray& FoldedSearchTextOf(const TNbObject& entry) {
  TNbObject::TSearchCache& c = entry.SearchCache;
  if (c.Source.Identity() != entry.Text.Identity() || c.Source.size() != entry.Text.size()) {
    c.Folded = SearchTextOf(entry.Text);
    c.Room.reset();
    c.Source = entry.Text;
  }
  return c.Folded;
}

// Whether Text holds Word. Where its first and last bytes stand as far apart as in Word is
// looked for sixteen places at a time; only there are the bytes between compared.
bool Holds(const QByteArray& text, const QByteArray& word) {
  const qsizetype n = word.size(), m = text.size();
  if (n == 0) return true;
  if (n > m) return false;
  const char* h = text.constData();
  if (n == 1) return std::memchr(h, word[0], size_t(m)) != nullptr;
  qsizetype i = 0;
#if defined(__SSE2__)
  const __m128i first = _mm_set1_epi8(word[0]), last = _mm_set1_epi8(word[n - 1]);
  for (; i + n - 1 + 16 <= m; i += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i + n - 1));
    unsigned at = unsigned(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
    for (; at != 0; at &= at - 1)
      if (std::memcmp(h + i + __builtin_ctz(at) + 1, word.constData() + 1, size_t(n - 2)) == 0) return true;
  }
#endif
  return std::string_view(h + i, size_t(m - i)).find(std::string_view(word.constData(), size_t(n))) !=
         std::string_view::npos;
}

// NbTextMatches on a text and keywords folded beforehand.
bool FoldedTextMatches(const QByteArray& folded, const QList<QByteArray>& foldedKeywords, TNbSearchKeywords mode) {
  if (foldedKeywords.isEmpty()) return false;
  for (const QByteArray& k : foldedKeywords) {
    const bool found = Holds(folded, k);
    if (mode == nbsAny && found) return true;
    if (mode != nbsAny && !found) return false;
  }
  return mode != nbsAny;
}

QList<QByteArray> Folded(const QStringList& keywords) {
  QList<QByteArray> folded;
  for (const QString& k : keywords) folded << NbSearchFold(k).toUtf8();
  return folded;
}

}  // namespace

QString NbPlainText(const QString& text) {
  if (IsRtfText(text))
    if (std::optional<QString> plain = KVRtfToText(KVRtfBytes(text))) return *plain;
  return text;
}

bool NbTextMatches(const QString& plainText, const QStringList& keywords, TNbSearchKeywords mode) {
  return FoldedTextMatches(NbSearchFold(plainText).toUtf8(), Folded(keywords), mode);
}

// ---------------------------------------------------------------------------------------------
// Printing

namespace {

// Where the next text goes on the current page.
struct TPageState {
  TRect full;       // the formatting rectangle of a whole page (twips)
  int top = 0;      // top of the free part
  bool used = false;  // something is printed on this page
  void Fresh() {
    top = full.Top;
    used = false;
  }
};

// Prints the editor's whole text from the page state on, starting pages as needed. With Merge a
// text that follows another on the page is parted from it by a rule.
void PrintText(TKVCustomRichEdit& editor, TKVPrintJob& job, const TKVFormatRange& range, TPageState& page,
               bool merge) {
  const int len = editor.GetTextLen();
  int last = 0;
  bool first = true;
  do {
    const bool separate = merge && page.used && first;
    TKVFormatRange fr = range;
    fr.cpMin = last;
    fr.cpMax = -1;
    fr.rc = Rect(page.full.Left, page.top + (separate ? 576 : 0), page.full.Right, page.full.Bottom);
    int next = last;
    if (fr.rc.Top < fr.rc.Bottom) {
      TKVFormatRange measure = fr;
      next = editor.FormatRange(&measure, false);
    }
    if (next <= last && last < len) {
      // Not one line fits. On a fresh page it never will: stop instead of feeding blank pages.
      if (!page.used) throw EKVError(QStringLiteral("The page is too small to print a line of text"));
      job.NewPage();
      page.Fresh();
      continue;
    }
    if (separate) {
      QPainter& p = job.Painter();
      const double y = (page.top + 288) * double(range.LogY) / 1440;
      p.save();
      p.setPen(QPen(Qt::black, std::max(1, range.LogY / 96)));
      p.drawLine(QPointF(page.full.Left * double(range.LogX) / 1440, y),
                 QPointF(page.full.Right * double(range.LogX) / 1440, y));
      p.restore();
    }
    last = editor.FormatRange(&fr, true);
    page.used = true;
    page.top = fr.rc.Bottom;
    first = false;
    if (last < len) {
      job.NewPage();
      page.Fresh();
    }
  } while (last < len);
}

QString SafeFileTitle(const TNbObject& entry) {
  QString name = MakeValidFileName(entry.Title);
  // A name of an extension alone would be a hidden file.
  if (name.isEmpty()) name = MakeValidFileName(entry.ID);
  if (name.isEmpty()) name = QStringLiteral("Entry");
  return name;
}

QByteArray RtfFileBytes(const QString& text) { return IsRtfText(text) ? KVRtfBytes(text) : text.toUtf8(); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// The component

TNbModule::TNbModule(TComponent* owner)
    : TComponent(owner), data_(std::make_unique<TNbDataList>(false)), parentEntry_(std::make_unique<TNbObject>()) {
  // The list must never show an entry that is gone, whoever frees it.
  data_->OnEntriesFreeing.Set([this](const std::vector<TNbObject*>& entries) {
    if (searchBox_) searchBox_->DeleteObjects(entries);
  });
  data_->AddSection();
  parentEntry_->SetData(QStringLiteral("0"), QStringLiteral(".."), QString(), clBlack, true);
  SetWordWrap(true);
}

namespace {
// Threads that prepare the search after a load, before anyone searches.
constexpr int kBackgroundPreparers = 2;
}  // namespace

struct TNbModule::TSearchPrep {
  std::vector<TKVText> sources;  // the entries' texts, sharing their characters
  std::vector<QByteArray> folded;  // one for each source, written by whoever claimed its chunk
  std::vector<std::shared_ptr<const void>> rooms;  // what each folded text lies in, if not its own
  bool roomy = false;  // enough texts to keep them in rooms
  std::atomic<size_t> next{0};     // the first source no thread has claimed
  std::mutex mutex;
  std::condition_variable ready;
  size_t finished = 0;  // sources folded; guarded by mutex
  // Nobody waits for the texts any more (another load, the end of the program).
  std::atomic<bool> dropped{false};

  // Folds chunks of the sources until none is left to claim. Any number of threads may take
  // part: the background ones, and a search that cannot wait for them.
  void Work() {
    constexpr size_t kChunk = 64;
    const size_t count = sources.size();
    std::shared_ptr<TSearchRoom> room;  // the one this thread fills
    while (!dropped) {
      const size_t from = next.fetch_add(kChunk);
      if (from >= count) return;
      const size_t to = std::min(count, from + kChunk);
      for (size_t i = from; i < to; ++i) folded[i] = SearchTextOf(sources[i], roomy ? &room : nullptr, &rooms[i]);
      std::lock_guard lock(mutex);
      finished += to - from;
      if (finished == count) ready.notify_all();
    }
  }
  // Threads of the pool that join the work.
  static void StartHelpers(const std::shared_ptr<TSearchPrep>& prep, int helpers) {
    for (int i = 0; i < helpers; ++i) QThreadPool::globalInstance()->start([prep] { prep->Work(); });
  }
};

TNbModule::~TNbModule() {
  if (searchPrep_) searchPrep_->dropped = true;
  Destroying();
  data_->OnEntriesFreeing.Clear();
  ClearSearchBox();
  UnhookSearchBox();
  OnActiveChanging.Clear();
  OnActiveChanged.Clear();
}

const ClassInfo& TNbModule::StaticClass() {
  static const ClassInfo ci =
      ClassBuilder<TNbModule>("TNbModule", &TComponent::StaticClass())
          .Bool("EditVisible", [](const TNbModule& m) { return m.editVisible_; },
                [](TNbModule& m, bool v) { m.SetEditVisible(v); })
          .Bool("DeleteConfirmation", &TNbModule::DeleteConfirmation, true)
          .Bool("ReadOnly", &TNbModule::ReadOnly, false)
          .Obj("DefaultData", [](TNbModule& m) -> TPersistent* { return &m.defaultData_; })
          .Bool("LoadDefault", &TNbModule::LoadDefault, false)
          .Enum<TNbSearchKeywords>("SearchKeywords", kNbSearchKeywordsEnum, &TNbModule::SearchKeywords)
          .Bool("SearchAll", &TNbModule::SearchAll, true)
          .Str("TitleFormat", &TNbModule::TitleFormat)
          .Bool("ShowAll", [](const TNbModule& m) { return m.showAll_; }, [](TNbModule& m, bool v) { m.SetShowAll(v); },
                true)
          .Bool("SearchBoxColor", &TNbModule::SearchBoxColor, false)
          .Color("DefaultColor", &TNbModule::DefaultColor, clBlack)
          .Obj("DefaultFont", [](TNbModule& m) -> TPersistent* { return &m.defaultFont_; })
          .Bool("AutoNewEntry", &TNbModule::AutoNewEntry, true)
          .Bool("WordWrap", [](const TNbModule& m) { return m.wordWrap_; },
                [](TNbModule& m, bool v) { m.SetWordWrap(v); }, true)
          .Event("OnActiveChanging", &TNbModule::OnActiveChanging)
          .Event("OnActiveChanged", &TNbModule::OnActiveChanged)
          .Build();
  return ci;
}

void TNbModule::SetWordWrap(bool on) {
  wordWrap_ = on;
  if (nbEdit_) nbEdit_->SetWordWrap(on);
}

void TNbModule::SetEditVisible(bool on) {
  editVisible_ = on;
  if (nbEdit_) nbEdit_->setVisible(on);
}

void TNbModule::SetDefaultData(const QStringList& lines) {
  defaultData_.List() = lines;
  defaultIDs_.clear();
}

void TNbModule::SetNbEdit(TKVRichEditOLE* editor) {
  nbEdit_ = editor;
  if (editor) editor->SetWordWrap(wordWrap_);
}

void TNbModule::UnhookSearchBox() {
  if (!searchBox_) return;
  searchBox_->OnClick.Clear();
  searchBox_->OnDblClick.Clear();
  searchBox_->OnKeyUp.Clear();
}

void TNbModule::SetSearchBox(TKVCustomListBox* box) {
  if (box != searchBox_) UnhookSearchBox();
  searchBox_ = box;
  if (!box) return;
  box->OnClick.Set([this](TKVCustomListBox*) { SearchBoxClick(); });
  box->OnDblClick.Set([this](TKVCustomListBox*) { SearchBoxDblClick(); });
  box->OnKeyUp.Set([this](TKVCustomListBox*, int key, Qt::KeyboardModifiers shift) { SearchBoxKeyUp(key, shift); });
}

void TNbModule::SetShowAll(bool on) {
  showAll_ = on;
  if (IsLoading()) return;
  BusyCursor();
  try {
    Post(activeID_);
    if (on) FillSearchBox();
    else Search();
  } catch (...) {
    NormalCursor();
    throw;
  }
  NormalCursor();
  if (searchBox_ && searchBox_->Count() > 0) {
    searchBox_->SetItemIndex(0);
    SearchBoxClick();
  } else if (AutoNewEntry) {
    NewEntry();
  } else {
    ClearEditor();
  }
}

void TNbModule::Reload() {
  RefreshColors();
  SetShowAll(showAll_);
}

void TNbModule::SetActiveID(const QString& id) {
  if (id != activeID_) SetActive(data_->FindEntry(id), id, true);
}

void TNbModule::DoActiveChanging() { OnActiveChanging(this); }
void TNbModule::DoActiveChanged() { OnActiveChanged(this); }

void TNbModule::SwitchSection(int index) {
  if (index < 0 || index == activeSection_) return;
  SectionChanging();
  activeSection_ = index;
  SectionChanged();
}

void TNbModule::SwitchToSectionOf(const TNbObject* entry) {
  if (entry->IsFolder) {
    SwitchSection(data_->IndexOfSectionHeader(entry));
    return;
  }
  int s, i;
  if (data_->LocateEntry(entry, s, i)) SwitchSection(s);
}

void TNbModule::SetActive(TNbObject* entry, const QString& id, bool select) {
  DoActiveChanging();
  Post(activeID_);
  activeID_ = id;
  if (entry) SwitchToSectionOf(entry);
  ShowEntry(entry);
  if (select) SelectInSearchBox(entry);
  DoActiveChanged();
}

void TNbModule::ShowEntry(TNbObject* entry) {
  if (!entry) {
    if (AutoNewEntry) NewEntry();
    else ClearEditor();
    return;
  }
  if (!entry->IsFolder && nbEdit_) {
    nbEdit_->SetReadOnly(false);
    nbEdit_->SetRTFText(entry->Text);
    nbEdit_->ClearUndo();
    nbEdit_->SetModified(false);
    nbEdit_->viewport()->update();
    nbEdit_->SetReadOnly(IsDefaultID(entry->ID) || ReadOnly);
    return;
  }
  ClearEditor();
  if (nbEdit_ && AutoNewEntry) nbEdit_->SetReadOnly(ReadOnly);
}

void TNbModule::ClearEditor() {
  if (!nbEdit_) return;
  nbEdit_->SetReadOnly(false);
  nbEdit_->Lines().Clear();
  nbEdit_->DefAttributes().Assign(defaultFont_);
  nbEdit_->SelAttributes().Assign(nbEdit_->DefAttributes());
  TKVParaAttributes& para = nbEdit_->Paragraph();
  para.SetAlignment(0);
  para.SetNumbering(nbNone);
  para.SetFirstIndent(0);
  para.SetLeftIndent(0);
  para.SetRightIndent(0);
  nbEdit_->ClearUndo();
  nbEdit_->SetReadOnly(ReadOnly || !AutoNewEntry);
  nbEdit_->SetModified(false);
}

void TNbModule::NewEntry() {
  activeID_ = data_->FreshID();
  // The fresh ID may name a stored entry (the diary's is the day selected): the editor shows it,
  // so that what is typed next edits it rather than replacing it with a blank page's text.
  if (TNbObject* stored = activeID_.isEmpty() ? nullptr : data_->FindEntry(activeID_); stored && !stored->IsFolder) {
    SwitchToSectionOf(stored);
    ShowEntry(stored);
    SelectInSearchBox(stored);
    return;
  }
  ClearEditor();
  if (nbEdit_) nbEdit_->SetReadOnly((activeID_.isEmpty() && !AutoNewEntry) || ReadOnly);
  if (searchBox_) searchBox_->ClearSelection();
}

void TNbModule::Post(const QString& id) {
  if (!nbEdit_ || !nbEdit_->Modified() || ReadOnly) return;
  BeforePost();
  QString key = id;
  if (key.isEmpty() && AutoNewEntry) {
    key = data_->FreshID();
    activeID_ = key;
  }
  if (key.isEmpty()) return;
  const QString text = nbEdit_->GetRTFText();
  QString title;
  TColor color = 0;
  if (nbEdit_->Lines().Count() > 0) {
    title = nbEdit_->Lines().Get(0);
    // The colour of the first character, read through the selection, which is put back quietly.
    const QSignalBlocker quiet(nbEdit_.data());
    const int start = nbEdit_->SelStart(), length = nbEdit_->SelLength();
    nbEdit_->SetSelection(0, 1, false);
    color = nbEdit_->SelAttributes().Color();
    nbEdit_->SetSelection(start, start + length, false);
  }
  TNbObject* entry = data_->StoreEntry(key, title, text, color, activeSection_, nbsmOverwrite);
  UpdateDisplayColor(entry);
  ListEntry(entry, true);
}

void TNbModule::UpdateDisplayColor(TNbObject* entry) {
  if (!entry) return;
  if (SearchBoxColor) entry->DisplayColor = entry->Color;
  else if (!IsDefaultID(entry->ID)) entry->DisplayColor = clWindowText;
  else entry->DisplayColor = DefaultColor == clNone ? entry->Color : DefaultColor;
}

void TNbModule::RefreshSectionColors(int index) {
  if (index < 0 || index >= data_->Count()) return;
  const TNbData& s = *data_->Items(index);
  for (int i = 0; i < s.Count(); ++i) UpdateDisplayColor(s.Items(i));
  if (searchBox_) searchBox_->viewport()->update();
}

void TNbModule::RefreshColors() {
  for (int s = 0; s < data_->Count(); ++s) {
    const TNbData& sec = *data_->Items(s);
    for (int i = 0; i < sec.Count(); ++i) UpdateDisplayColor(sec.Items(i));
  }
  if (searchBox_) searchBox_->viewport()->update();
}

void TNbModule::ListEntry(TNbObject* entry, bool update) {
  if (!searchBox_ || !entry) return;
  if (update) {
    const int i = searchBox_->IndexOfObject(entry);
    if (i >= 0) {
      searchBox_->SetStrings(i, entry->GetCaption(TitleFormat));
      return;
    }
  }
  searchBox_->AddItem(entry->GetCaption(TitleFormat), entry);
}

void TNbModule::SelectInSearchBox(TNbObject* entry) {
  if (FolderMode || !searchBox_) return;
  searchBox_->SetItemIndex(entry ? searchBox_->IndexOfObject(entry) : -1);
}

void TNbModule::ClearSearchBox() {
  if (searchBox_) searchBox_->Clear();
}

void TNbModule::FillSearchBox() {
  if (!searchBox_) return;
  searchBox_->Clear();
  const TKVSortStyle style = searchBox_->SortStyle();
  searchBox_->SetSortStyle(soNone);
  if (activeSection_ >= 0 && activeSection_ < data_->Count()) {
    const TNbData& s = *data_->Items(activeSection_);
    for (int i = 0; i < s.Count(); ++i) searchBox_->AddItem(s.Items(i)->GetCaption(TitleFormat), s.Items(i));
  }
  searchBox_->SetSortStyle(style);
}

void TNbModule::PrepareSearch() {
  auto prep = std::make_shared<TSearchPrep>();
  for (int s = 0; s < data_->Count(); ++s) {
    const TNbData& sec = *data_->Items(s);
    for (int i = 0; i < sec.Count(); ++i) {
      const TNbObject& entry = *sec.Items(i);
      const bool cached = entry.SearchCache.Source.Identity() == entry.Text.Identity() &&
                          entry.SearchCache.Source.size() == entry.Text.size();
      if (!cached) prep->sources.push_back(entry.Text);
    }
  }
  if (searchPrep_) searchPrep_->dropped = true;
  searchPrep_ = prep;
  if (prep->sources.empty()) return;
  prep->folded.resize(prep->sources.size());
  prep->rooms.resize(prep->sources.size());
  // A few rooms' worth of texts at the least: every thread leaves the rest of its last room.
  prep->roomy = prep->sources.size() >= 4096;
  // Two threads read them while the program goes on; a search that comes first brings more.
  TSearchPrep::StartHelpers(prep, kBackgroundPreparers);
}

void TNbModule::ReleaseSearch() {
  if (searchPrep_) searchPrep_->dropped = true;
  searchPrep_.reset();
  for (int s = 0; s < data_->Count(); ++s) {
    const TNbData& sec = *data_->Items(s);
    for (int i = 0; i < sec.Count(); ++i) sec.Items(i)->SearchCache = {};
  }
  KVGiveBackFreedMemory();
}

void TNbModule::TakePreparedSearch() {
  if (!searchPrep_) return;
  const std::shared_ptr<TSearchPrep> prep = std::move(searchPrep_);
  if (prep->next < prep->sources.size()) {
    // The user waits: what nobody has read yet is shared out among every core, this thread too,
    // instead of waiting for the background threads to get through it.
    TSearchPrep::StartHelpers(prep, std::max(0, QThread::idealThreadCount() - 1 - kBackgroundPreparers));
    prep->Work();
  }
  {
    std::unique_lock lock(prep->mutex);
    prep->ready.wait(lock, [&] { return prep->finished == prep->sources.size(); });
  }
  // The kept sources hold their characters alive: an entry whose text still starts at the same
  // place holds the very text that was read. The entries come in the order they were listed in
  // unless some changed, went or came meanwhile; from the first that differs on they are looked up.
  QHash<const void*, size_t> at;
  size_t next = 0;
  for (int s = 0; s < data_->Count(); ++s) {
    const TNbData& sec = *data_->Items(s);
    for (int i = 0; i < sec.Count(); ++i) {
      const TNbObject& entry = *sec.Items(i);
      size_t k = next;
      if (at.isEmpty() && k < prep->sources.size() && prep->sources[k].Identity() == entry.Text.Identity()) {
        ++next;
      } else {
        if (at.isEmpty()) {
          at.reserve(qsizetype(prep->sources.size()));
          for (size_t j = 0; j < prep->sources.size(); ++j) at.insert(prep->sources[j].Identity(), j);
        }
        const auto found = at.constFind(entry.Text.Identity());
        if (found == at.constEnd()) continue;
        k = *found;
      }
      if (prep->sources[k].size() != entry.Text.size()) continue;
      entry.SearchCache.Source = prep->sources[k];
      entry.SearchCache.Folded = std::move(prep->folded[k]);
      entry.SearchCache.Room = std::move(prep->rooms[k]);
    }
  }
}

void TNbModule::Search() {
  if (!searchEdit_ || searchEdit_->text().isEmpty()) return;
  TakePreparedSearch();
  const TKVSortStyle style = searchBox_ ? searchBox_->SortStyle() : soNone;
  if (searchBox_) searchBox_->SetSortStyle(soNone);
  const int from = SearchAll ? 0 : activeSection_;
  const int to = SearchAll ? data_->Count() - 1 : activeSection_;
  // The text-only reader gives each entry's text as the editor would hold it, without building
  // a document for it.
  const QList<QByteArray> keywords = Folded(NbSearchKeywords(searchEdit_->text(), SearchKeywords));
  ClearSearchBox();
  TKVListItems found;
  for (int s = std::max(0, from); s <= to && s < data_->Count(); ++s) {
    const TNbData& sec = *data_->Items(s);
    for (int i = 0; i < sec.Count(); ++i) {
      TNbObject* entry = sec.Items(i);
      if (FoldedTextMatches(FoldedSearchTextOf(*entry), keywords, SearchKeywords) && searchBox_)
        found.push_back({entry->GetCaption(TitleFormat), entry});
    }
  }
  // Listed at once: one by one, the list announced every row.
  if (searchBox_) searchBox_->AddItems(std::move(found));
  if (searchBox_) searchBox_->SetSortStyle(style);
}

void TNbModule::SearchBoxClick() {
  if (!searchBox_) return;
  const int i = searchBox_->ItemIndex();
  if (i < 0) return;
  TNbObject* entry = searchBox_->Objects(i);
  const QString id = entry ? entry->ID : QString();
  if (id.isEmpty() || id != activeID_) SetActive(entry, id, false);
}

void TNbModule::SearchBoxDblClick() {
  if (!searchBox_) return;
  const int i = searchBox_->ItemIndex();
  if (i < 0) return;
  if (!FolderMode) {
    SearchBoxClick();
    return;
  }
  TNbObject* entry = searchBox_->Objects(i);
  if (!entry || !entry->IsFolder) return;
  if (entry == parentEntry_.get()) {
    SwitchSection(StrToIntDef(parentEntry_->ID, 0));
    const TNbData* parent = activeSection_ < data_->Count() ? data_->Items(activeSection_)->Parent : nullptr;
    int index = 0;
    for (int s = 0; parent && s < data_->Count(); ++s)
      if (data_->Items(s) == parent) index = s;
    parentEntry_->ID = QString::number(index);
    SetShowAll(showAll_);
    return;
  }
  const int s = data_->IndexOfSectionHeader(entry);
  if (s < 0) return;
  SwitchSection(s);
  parentEntry_->ID = QString::number(s);
  SetShowAll(showAll_);
}

void TNbModule::RemoveEntry(TNbObject* entry) {
  int s, i;
  if (entry && data_->LocateEntry(entry, s, i)) data_->Items(s)->Remove(entry);
}

void TNbModule::SearchBoxKeyUp(int key, Qt::KeyboardModifiers shift) {
  if (key != Qt::Key_Delete || (shift & ~Qt::KeypadModifier) || ReadOnly || FolderMode) return;
  if (DeleteConfirmation &&
      KVMessageBox(LanguageResource().RSSureDeleteSelectedEntry, QString(), IDI_QUESTION_ICON, 1, ButtonsYesNo) != ResultYes)
    return;
  TKVCustomListBox* box = searchBox_;
  if (box && box->MultiSelect() && box->SelCount() > 0) {
    for (int i = box->Count() - 1; i >= 0; --i) {
      if (!box->Selected(i)) continue;
      TNbObject* entry = box->Objects(i);
      if (entry && IsDefaultID(entry->ID)) continue;
      box->DeleteString(i);
      RemoveEntry(entry);
    }
  } else {
    if (IsDefaultID(activeID_) || !box || box->ItemIndex() < 0) return;
    const int i = box->ItemIndex();
    TNbObject* entry = box->Objects(i);
    box->DeleteString(i);
    RemoveEntry(entry);
  }
  if (AutoNewEntry) NewEntry();
  else ClearEditor();
}

void TNbModule::CollectEntries(int scope, std::vector<TNbObject*>& list) {
  list.clear();
  if (!searchBox_) return;
  if ((scope == 0 || scope == 1) && !showAll_) SetShowAll(true);
  for (int i = 0; i < searchBox_->Count(); ++i) {
    TNbObject* entry = searchBox_->Objects(i);
    if (entry && !entry->IsFolder) list.push_back(entry);
  }
}

// ---------------------------------------------------------------------------------------------
// Opening

void TNbModule::LoadDefaultData() {
  if (defaultData_.isEmpty()) return;
  int target = 0;
  if (FolderMode) {
    data_->AddSection();
    target = data_->Count() - 1;
    if (defaultData_.first().contains(QLatin1String("<!--*NBP*")))
      data_->ParseSectionHeader(defaultData_.first(), target);
  }
  data_->LoadSectionFromStrings(defaultData_, target);
  const TNbData& s = *data_->Items(target);
  for (int i = 0; i < s.Count(); ++i) defaultIDs_.append(s.Items(i)->ID);
  RefreshColors();
}

void TNbModule::OpenFolder(const QString& folder) {
  const QString path = PathWithSlash(folder);
  TNbData* first = data_->Items(0);
  first->Header().Title = QStringLiteral("Default");
  first->FileName = path + QStringLiteral("Default.dat");
  if (LoadDefault) {
    data_->LoadSectionFromStrings(defaultData_, 0);
    for (int i = 0; i < first->Count(); ++i) defaultIDs_.append(first->Items(i)->ID);
  }
  if (DirExists(path)) {
    const QStringList files =
        QDir(path).entryList({QStringLiteral("*.dat")}, QDir::Files | QDir::Hidden, QDir::Name | QDir::IgnoreCase);
    for (int f = 0; f < files.size(); ++f) {
      const int index = f == 0 ? 0 : data_->Count();
      if (f > 0) data_->AddSection();
      TNbData* s = data_->Items(index);
      s->FileName = path + files[f];
      const QString base = s->FileName.left(s->FileName.size() - 4);
      s->Header().Title.clear();
      data_->LoadSectionHeader(base + QStringLiteral(".HDR"), index);
      if (s->Header().Title.isEmpty()) s->Header().Title = files[f].left(files[f].size() - 4);
    }
  } else {
    ForceDirs(path);
  }
  for (int a = 0; a < data_->Count(); ++a) {
    TNbData* A = data_->Items(a);
    const QString childPath =
        A->Header().Text.isEmpty() ? A->Header().Title : A->Header().Text + QLatin1Char('\t') + A->Header().Title;
    for (int b = 0; b < data_->Count(); ++b) {
      TNbData* B = data_->Items(b);
      if (a != b && B->Header().Text == childPath) {
        A->Children.push_back(B);
        B->Parent = A;
      }
    }
  }
  for (int s = 0; s < data_->Count(); ++s) data_->Items(s)->Loaded = false;
}

void TNbModule::OpenNotebook(const QString& fileName) {
  // The list and the editor belong to the notebook that is going away.
  ClearSearchBox();
  if (nbEdit_) nbEdit_->SetModified(false);
  activeID_.clear();
  defaultIDs_.clear();
  data_->Clear();
  data_->AddSection();
  activeSection_ = 0;
  auto settle = [this] {
    for (int s = 0; s < data_->Count(); ++s) data_->Items(s)->Modified = false;
  };
  try {
    if (FolderMode) {
      OpenFolder(fileName);
    } else if (LoadDefault) {
      LoadDefaultData();
      data_->MergeFile(fileName, 0, nbsmAddNew);
    } else {
      data_->LoadSection(fileName, 0);
    }
  } catch (...) {
    settle();
    Reload();
    throw;
  }
  settle();
  Reload();
}

// ---------------------------------------------------------------------------------------------
// Export

void TNbModule::Export(const QString& path, int kind, int scope) {
  Post(activeID_);
  std::vector<TNbObject*> entries;
  CollectEntries(scope, entries);
  const QString sep = QStringLiteral("===>>> ") + LanguageResource().RSUPNext + QStringLiteral(" <<<===");
  TKVRichEdit converter;
  auto plainOf = [&](const TNbObject& e) {
    converter.SetStreamFormat(sfDefault);
    converter.SetRTFText(e.Text);
    converter.SetStreamFormat(sfPlainText);
    return converter.GetRTFText();
  };

  if (kind == 0 || kind == 1) {
    const QString folder = PathWithSlash(path);
    for (const TNbObject* e : entries) {
      const QString name = MakeUniqueFileName(folder + SafeFileTitle(*e) + (kind == 0 ? ".rtf" : ".txt"));
      SaveStrToFile(name, kind == 0 ? RtfFileBytes(e->Text) : plainOf(*e).toUtf8());
    }
  } else if (kind == 2) {
    // The documents are joined directly instead of through the clipboard, which stays untouched.
    TKVRichEditOLE target, source;
    QTextCursor c(target.document());
    c.movePosition(QTextCursor::End);
    for (size_t k = 0; k < entries.size(); ++k) {
      if (k > 0) c.insertBlock(QTextBlockFormat(), QTextCharFormat());
      source.SetRTFText(entries[k]->Text);
      c.insertFragment(QTextDocumentFragment(source.document()));
      for (int i = 0; i < 3; ++i) c.insertBlock(QTextBlockFormat(), QTextCharFormat());
      c.insertBlock(QTextBlockFormat(), QTextCharFormat());
      c.insertText(sep, QTextCharFormat());
      for (int i = 0; i < 3; ++i) c.insertBlock(QTextBlockFormat(), QTextCharFormat());
    }
    SaveStrToFile(path, KVRtfBytes(target.GetRTFText()));
  } else if (kind == 3) {
    QString text;
    for (const TNbObject* e : entries) {
      text += plainOf(*e) + QStringLiteral("\r\n");
      for (int i = 0; i < 3; ++i) text += QStringLiteral("\r\n");
      text += sep + QStringLiteral("\r\n");
      for (int i = 0; i < 3; ++i) text += QStringLiteral("\r\n");
    }
    SaveStrToFile(path, text.toUtf8());
  }
}

// ---------------------------------------------------------------------------------------------
// Printing

namespace {

// A bold line in the editor's own font above the text; the first paragraph keeps its format.
void InsertHeading(TKVRichEditOLE& editor, const QString& heading) {
  QTextCursor c(editor.document());
  c.beginEditBlock();
  c.insertBlock();
  c.movePosition(QTextCursor::Start);
  if (QTextList* list = c.currentList()) list->remove(c.block());
  c.setBlockFormat(QTextBlockFormat());
  QTextCharFormat bold;
  bold.setFontWeight(QFont::Bold);
  c.insertText(heading, bold);
  c.endEditBlock();
}

}  // namespace

void TNbModule::LoadForPrinting(TKVRichEditOLE& editor, const TNbObject& entry) const {
  editor.SetRTFText(entry.Text);
  if (TitleFormat.contains(QLatin1Char('i'))) editor.Lines().Insert(0, entry.ID);
  // Entries listed by date are printed under their date: a printout without dates is no diary.
  else if (TitleFormat == QLatin1String("dt") || TitleFormat == QLatin1String("ddt"))
    InsertHeading(editor, entry.GetDateCaption(TitleFormat));
  editor.FormatRange(nullptr, false);
}

void TNbModule::PrintEntry(TNbObject* entry, const QString& title, double leftMargin, double topMargin,
                           double rightMargin, double bottomMargin, bool inInches, int copies) {
  if (!entry || entry->IsFolder) return;
  TKVRichEditOLE editor;
  LoadForPrinting(editor, *entry);
  TKVFormatRange range;
  auto job = PrepareFormatRange(title, range, inInches, leftMargin, topMargin, rightMargin, bottomMargin, copies);
  TPageState page;
  page.full = range.rc;
  page.Fresh();
  PrintText(editor, *job, range, page, false);
  job->EndDoc();
  editor.FormatRange(nullptr, false);
}

void TNbModule::PrintEntries(const QString& title, bool inInches, double leftMargin, double topMargin,
                             double rightMargin, double bottomMargin, int scope, bool merge, int copies) {
  std::vector<TNbObject*> entries;
  if (scope == 1 || scope == 2) CollectEntries(scope - 1, entries);
  else if (scope == 3) CollectEntries(2, entries);
  // Nothing to print starts no job, so no blank sheet comes out.
  if (entries.empty()) return;
  TKVRichEditOLE editor;
  TKVFormatRange range;
  auto job = PrepareFormatRange(title, range, inInches, leftMargin, topMargin, rightMargin, bottomMargin, copies);
  TPageState page;
  page.full = range.rc;
  page.Fresh();
  for (size_t k = 0; k < entries.size(); ++k) {
    if (!merge && k > 0) {
      job->NewPage();
      page.Fresh();
    }
    LoadForPrinting(editor, *entries[k]);
    PrintText(editor, *job, range, page, merge);
  }
  job->EndDoc();
  editor.FormatRange(nullptr, false);
}

void TNbModule::Print(const QString& title, bool inInches, double leftMargin, double topMargin, double rightMargin,
                      double bottomMargin, int scope, bool merge, int copies) {
  try {
    if (scope == 0)
      PrintEntry(data_->FindEntry(activeID_), title, leftMargin, topMargin, rightMargin, bottomMargin, inInches,
                 copies);
    else
      PrintEntries(title, inInches, leftMargin, topMargin, rightMargin, bottomMargin, scope, merge, copies);
  } catch (const std::exception&) {
    KVMessageBox(LanguageResource().RSPrintingError, QString(), IDI_WARNING_ICON, 0, ButtonsOK);
  }
}
