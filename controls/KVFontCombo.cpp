#include "controls/KVFontCombo.h"

#include <QCollator>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QRawFont>
#include <QScreen>
#include <QSignalBlocker>

#include "foundation/KVRes.h"

namespace {

struct CharsetOfSystem {
  QFontDatabase::WritingSystem system;
  int charset;
  const char* name;
};

// Writing systems that a Windows character set stands for, with the set's script name.
constexpr CharsetOfSystem kCharsets[] = {
    {QFontDatabase::Latin, 0, "Western"},
    {QFontDatabase::Greek, 161, "Greek"},
    {QFontDatabase::Cyrillic, 204, "Cyrillic"},
    {QFontDatabase::Hebrew, 177, "Hebrew"},
    {QFontDatabase::Arabic, 178, "Arabic"},
    {QFontDatabase::Thai, 222, "Thai"},
    {QFontDatabase::Vietnamese, 163, "Vietnamese"},
    {QFontDatabase::Japanese, 128, "Japanese"},
    {QFontDatabase::Korean, 129, "Hangul"},
    {QFontDatabase::SimplifiedChinese, 134, "CHINESE_GB2312"},
    {QFontDatabase::TraditionalChinese, 136, "CHINESE_BIG5"},
    {QFontDatabase::Symbol, 2, "Symbol"},
};

// Latin sets beyond Western, offered when the font has a letter only they need.
struct LatinSet {
  char16_t letter;
  int charset;
  const char* name;
};
constexpr LatinSet kLatinSets[] = {
    {0x0151, 238, "Central European"},  // o with double acute
    {0x011F, 162, "Turkish"},           // g with breve
    {0x0173, 186, "Baltic"},            // u with ogonek
};

const QStringList kTrueTypeSizes = {QStringLiteral("8"),  QStringLiteral("9"),  QStringLiteral("10"), QStringLiteral("11"),
                                    QStringLiteral("12"), QStringLiteral("14"), QStringLiteral("16"), QStringLiteral("18"),
                                    QStringLiteral("20"), QStringLiteral("22"), QStringLiteral("24"), QStringLiteral("26"),
                                    QStringLiteral("28"), QStringLiteral("36"), QStringLiteral("48"), QStringLiteral("72")};

QString ScreenFamily(const QString& family) {
  if (family.isEmpty()) return {};
  for (const QString& f : QFontDatabase::families())
    if (f.compare(family, Qt::CaseInsensitive) == 0) return f;
  return {};
}

}  // namespace

bool IsScreenFont(const QString& family) { return !ScreenFamily(family).isEmpty(); }

QList<std::pair<int, QString>> FontCharsets(const QString& family) {
  QList<std::pair<int, QString>> sets;
  const QString f = ScreenFamily(family);
  if (f.isEmpty()) return sets;
  const QList<QFontDatabase::WritingSystem> systems = QFontDatabase::writingSystems(f);
  for (const CharsetOfSystem& c : kCharsets) {
    if (!systems.contains(c.system)) continue;
    sets.append({c.charset, QString::fromLatin1(c.name)});
    if (c.system != QFontDatabase::Latin) continue;
    QFont font(f);
    font.setStyleStrategy(QFont::NoFontMerging);
    const QRawFont raw = QRawFont::fromFont(font, QFontDatabase::Latin);
    if (!raw.isValid()) continue;
    for (const LatinSet& l : kLatinSets)
      if (raw.supportsCharacter(QChar(l.letter))) sets.append({l.charset, QString::fromLatin1(l.name)});
  }
  return sets;
}

// ---------------------------------------------------------------------------------------------
// Font names

TKVFontComboBox::TKVFontComboBox(QWidget* parent) : QComboBox(parent) {
  Loaded();
  connect(this, &QComboBox::activated, this, [this] { Change(); });
}

void TKVFontComboBox::Loaded() {
  setEditable(false);
  const QSignalBlocker hold(this);
  clear();
  addItems(QFontDatabase::families());
  setCurrentIndex(findText(fontName_, Qt::MatchFixedString));
}

void TKVFontComboBox::PassOn(const QString& name) {
  if (fontSize_) fontSize_->SetFontName(name);
  if (fontCharset_) fontCharset_->SetFontName(name);
}

QString DrawnFontFamily(const QString& name) {
  if (name.isEmpty() || IsScreenFont(name)) return name;
  const QString used = QFontInfo(QFont(name)).family();
  return IsScreenFont(used) ? used : name;
}

void TKVFontComboBox::SetFontName(const QString& name) {
  if (name == fontName_ && !name.isEmpty()) return;
  const QSignalBlocker hold(this);
  const int i = name.isEmpty() ? -1 : findText(name, Qt::MatchFixedString);
  // A font this system lacks (the text is drawn in a stand-in) still shows its name. Set first,
  // and never empty while nothing is chosen: an empty placeholder makes the box choose item 0.
  if (i < 0) setPlaceholderText(name.isEmpty() ? QStringLiteral(" ") : name);
  setCurrentIndex(i);
  fontName_ = i >= 0 ? itemText(i) : QString();
  PassOn(fontName_);
}

void TKVFontComboBox::Change() {
  fontName_ = currentText();
  PassOn(fontName_);
  OnChange(this);
}

// ---------------------------------------------------------------------------------------------
// Sizes

TKVFontSizeComboBox::TKVFontSizeComboBox(QWidget* parent) : QComboBox(parent) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
  connect(this, &QComboBox::activated, this, [this] { OnChange(this); });
  connect(lineEdit(), &QLineEdit::textEdited, this, [this] { OnChange(this); });
}

void TKVFontSizeComboBox::SetFontName(const QString& name) {
  fontName_ = name;
  FillSizes();
}

void TKVFontSizeComboBox::FillSizes() {
  const QString text = currentText();
  {
    const QSignalBlocker hold(this);
    clear();
    const QString family = ScreenFamily(fontName_);
    if (!family.isEmpty()) {
      if (QScreen* s = QGuiApplication::primaryScreen()) pixelsPerInch_ = int(std::nearbyint(s->logicalDotsPerInchY()));
      if (QFontDatabase::isSmoothlyScalable(family)) {
        addItems(kTrueTypeSizes);
      } else {
        // A bitmap font: its own sizes, in order, each once.
        for (int size : QFontDatabase::pointSizes(family)) {
          int at = count();
          bool present = false;
          for (int i = 0; i < count(); ++i) {
            const int v = itemText(i).toInt();
            if (v == size) present = true;
            if (v > size) {
              at = i;
              break;
            }
          }
          if (!present) insertItem(at, QString::number(size));
        }
      }
    }
    setCurrentIndex(findText(text));
    setEditText(text);
  }
  OnChange(this);
}

// ---------------------------------------------------------------------------------------------
// Character sets

TKVFontCharsetComboBox::TKVFontCharsetComboBox(QWidget* parent) : QComboBox(parent) {
  DefaultCharsetCaption = QLatin1Char('(') + LanguageResource().RSDefault + QLatin1Char(')');
  connect(this, &QComboBox::activated, this, [this] { OnChange(this); });
}

void TKVFontCharsetComboBox::SetAddDefaultCharset(bool on) {
  if (on == addDefaultCharset_) return;
  addDefaultCharset_ = on;
  FillCharsets();
}

void TKVFontCharsetComboBox::SetFontName(const QString& name) {
  fontName_ = name;
  FillCharsets();
}

int TKVFontCharsetComboBox::GetItemCharset(int index) const {
  if (index < 0 || index >= count()) return DEFAULT_CHARSET;
  return itemData(index).toInt();
}

int TKVFontCharsetComboBox::IndexOfCharset(int charset) const {
  for (int i = 0; i < count(); ++i)
    if (itemData(i).toInt() == charset) return i;
  return -1;
}

void TKVFontCharsetComboBox::FillCharsets() {
  const int remembered = currentIndex() >= 0 ? GetItemCharset(currentIndex()) : -1;
  {
    const QSignalBlocker hold(this);
    clear();
    QCollator collator{QLocale()};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    for (const auto& [charset, name] : FontCharsets(fontName_)) {
      if (charset == MAC_CHARSET || IndexOfCharset(charset) >= 0) continue;
      int at = count();
      for (int i = 0; i < count(); ++i)
        if (collator.compare(itemText(i), name) > 0) {
          at = i;
          break;
        }
      insertItem(at, name, charset);
    }
    if (addDefaultCharset_) addItem(DefaultCharsetCaption, DEFAULT_CHARSET);
    const int i = remembered >= 0 ? IndexOfCharset(remembered) : -1;
    setCurrentIndex(i >= 0 ? i : (count() > 0 ? 0 : -1));
  }
  OnChange(this);
}
