#pragma once
// Three linked combo boxes: a font name among the screen fonts, a size valid for that font, and
// a Windows character set the font offers.
#include <QComboBox>
#include <QList>
#include <QPointer>
#include <QString>
#include <utility>

#include "foundation/KVClasses.h"

class TKVFontSizeComboBox;
class TKVFontCharsetComboBox;

constexpr int DEFAULT_CHARSET = 1;
constexpr int MAC_CHARSET = 77;

// The Windows character sets a font offers with their script names ("Western", "Cyrillic" ...),
// derived from its writing systems; no sets for a font that is not installed.
QList<std::pair<int, QString>> FontCharsets(const QString& family);
// True when the family is one of the screen fonts (compared without regard to case).
bool IsScreenFont(const QString& family);
// The family a font name is drawn with: itself when installed, else the screen font the system
// puts in its place ("MS Sans Serif" drawn as "DejaVu Sans"); the name itself when there is none.
QString DrawnFontFamily(const QString& name);

class TKVFontComboBox : public QComboBox {
  Q_OBJECT
 public:
  // Lists the screen fonts at once.
  explicit TKVFontComboBox(QWidget* parent = nullptr);

  TKVFontSizeComboBox* FontSize() const { return fontSize_; }
  void SetFontSize(TKVFontSizeComboBox* box) { fontSize_ = box; }
  TKVFontCharsetComboBox* FontCharset() const { return fontCharset_; }
  void SetFontCharset(TKVFontCharsetComboBox* box) { fontCharset_ = box; }

  QString FontName() const { return fontName_; }
  // Selects the font; a name that is no screen font selects nothing and empties the linked boxes.
  // Windows that show what text is drawn in pass DrawnFontFamily of a stored name.
  void SetFontName(const QString& name);
  // Fills the list with the screen fonts again.
  void Loaded();

  // A font chosen by the user.
  TEvent<void(TKVFontComboBox* sender)> OnChange;

 protected:
  virtual void Change();

 private:
  QPointer<TKVFontSizeComboBox> fontSize_;
  QPointer<TKVFontCharsetComboBox> fontCharset_;
  QString fontName_;
  void PassOn(const QString& name);
};

class TKVFontSizeComboBox : public QComboBox {
  Q_OBJECT
 public:
  explicit TKVFontSizeComboBox(QWidget* parent = nullptr);

  int PixelsPerInch() const { return pixelsPerInch_; }
  QString FontName() const { return fontName_; }
  // Stores the name and lists its sizes: the sixteen usual sizes for a scalable font, the font's
  // own sizes for a bitmap font, none for an unknown font.
  void SetFontName(const QString& name);
  void Loaded() { clear(); }

  // A size chosen or typed by the user, and once after every refill.
  TEvent<void(TKVFontSizeComboBox* sender)> OnChange;

 private:
  int pixelsPerInch_ = 96;
  QString fontName_;
  void FillSizes();
};

class TKVFontCharsetComboBox : public QComboBox {
  Q_OBJECT
 public:
  explicit TKVFontCharsetComboBox(QWidget* parent = nullptr);

  bool AddDefaultCharset() const { return addDefaultCharset_; }
  void SetAddDefaultCharset(bool on);
  QString DefaultCharsetCaption;
  QString FontName() const { return fontName_; }
  void SetFontName(const QString& name);
  void Loaded() { clear(); }

  // The character set of an item; DEFAULT_CHARSET for a negative index.
  int GetItemCharset(int index) const;
  // The item that carries Charset, -1 when none.
  int IndexOfCharset(int charset) const;

  // A set chosen by the user, and once after every refill.
  TEvent<void(TKVFontCharsetComboBox* sender)> OnChange;

 private:
  bool addDefaultCharset_ = false;
  QString fontName_;
  void FillCharsets();
};
