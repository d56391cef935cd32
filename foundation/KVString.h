#pragma once
// String and token helpers. Positions are 1-based; 0 means "not found".
#include <QBuffer>
#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringList>
#include <memory>
#include <utility>
#include <variant>
#include <vector>

#include "foundation/KVClasses.h"
#include "foundation/KVTypes.h"

// A text kept in one byte a character while every character is Latin-1, as RTF (7-bit) always
// is, else in UTF-16: a diary holds thousands of entries' texts. It reads and is assigned as a
// QString; copies share the characters.
class TKVText {
 public:
  TKVText() = default;
  TKVText(const QString& text) { Assign(text); }
  TKVText(const char* text) { Assign(QString::fromUtf8(text)); }
  TKVText& operator=(const QString& text) {
    Assign(text);
    return *this;
  }
  TKVText& operator=(const char* text) { return *this = QString::fromUtf8(text); }

  QString ToString() const { return Narrow() ? QString::fromLatin1(Bytes()) : Wide(); }
  operator QString() const { return ToString(); }
  // The Latin-1 bytes; only while Narrow().
  const QByteArray& Latin1() const;
  bool Narrow() const { return text_.index() == 0; }
  // The same for copies that share their characters; told apart from any other text of its size.
  const void* Identity() const { return Narrow() ? static_cast<const void*>(Bytes().constData()) : Wide().constData(); }

  qsizetype size() const { return Narrow() ? Bytes().size() : Wide().size(); }
  bool isEmpty() const { return size() == 0; }
  void clear() { *this = TKVText(); }
  QString trimmed() const { return ToString().trimmed(); }
  template <class T>
  bool contains(const T& what) const {
    return ToString().contains(what);
  }
  template <class A, class B>
  TKVText& replace(const A& before, const B& after) {
    return *this = ToString().replace(before, after);
  }
  TKVText& operator+=(const QString& more) { return *this = ToString() + more; }
  QChar At(qsizetype i) const { return Narrow() ? QChar(uchar(Bytes().at(i))) : Wide().at(i); }
  void SetAt(qsizetype i, QChar c);
  // A character to read or to set.
  struct CharRef {
    TKVText& text;
    qsizetype i;
    CharRef& operator=(QChar c) {
      text.SetAt(i, c);
      return *this;
    }
    operator QChar() const { return text.At(i); }
  };
  CharRef operator[](qsizetype i) { return {*this, i}; }
  QChar operator[](qsizetype i) const { return At(i); }

  // A text is wide only when it has a character beyond Latin-1.
  friend bool operator==(const TKVText& a, const TKVText& b) { return a.text_ == b.text_; }
  friend bool operator==(const TKVText& a, const QString& b) { return a == TKVText(b); }
  friend bool operator==(const QString& a, const TKVText& b) { return TKVText(a) == b; }
  friend bool operator==(const TKVText& a, const char* b) { return a == TKVText(b); }
  friend bool operator!=(const TKVText& a, const TKVText& b) { return !(a == b); }

 private:
  void Assign(const QString& text);
  const QByteArray& Bytes() const { return *std::get_if<QByteArray>(&text_); }
  const QString& Wide() const { return *std::get_if<QString>(&text_); }
  // One of the two, so that an entry pays for one.
  std::variant<QByteArray, QString> text_;
};

int CountChar(const QString& S, QChar Ch);
int PosEx(const QString& SubStr, const QString& S, int StartPos = 1, bool CaseSensitive = true);
QString ReplaceAll(const QString& FindText, const QString& ReplaceText, const QString& S,
                   bool CaseSensitive = true);
QString ExtractBetween(const QString& StartTag, const QString& EndTag, const QString& S,
                       int StartPos = 1, bool CaseSensitive = true);
QString TextBefore(const QString& S, const QString& Delim);
QString TextAfter(const QString& S, const QString& Delim);

// Delimiter-closed token lists: every token, the last included, is followed by Delim ("a,b,").
QString GetToken(const QString& S, int Index, const QString& Delim = QStringLiteral(","));
QString SetToken(const QString& S, int Index, const QString& Value,
                 const QString& Delim = QStringLiteral(","));
// Every delimiter-closed token in order, as GetToken gives them for 0, 1, 2, ... (empty tokens
// keep their place; text after the last delimiter is no token), in one pass over S.
QStringList GetTokens(const QString& S, const QString& Delim = QStringLiteral(","));

// Fills the "%s" and "%d" places of a language text in order; "%%" is a percent sign.
QString Format(const QString& Pattern, const QStringList& Args);

bool StrToBool(const QString& S);
QString BoolToStr(bool B);
TRect StrToRect(const QString& S);
QString RectToStr(const TRect& R);

// The folder with a trailing "/"; empty stays empty.
QString PathWithSlash(const QString& Folder);
QString QuoteIfSpaced(const QString& S);
QString MakeValidFileName(const QString& S);

// Raw byte blocks to and from streams and files.
void WriteStrToStream(QIODevice& Stream, const QByteArray& S);
// Count bytes from the stream's position (-1: to the end); never more than the stream holds.
QByteArray ReadStrFromStream(QIODevice& Stream, qint64 Count);
// Replaces the file atomically; raises EFCreateError when it cannot be written.
void SaveStrToFile(const QString& FileName, const QByteArray& S);
// Raises EFOpenError when the file cannot be read.
QByteArray LoadStrFromFile(const QString& FileName);

// A string list whose attached objects belong to it.
template <class T>
class TObjStringList {
 public:
  int Count() const { return int(items_.size()); }
  const QString& Strings(int i) const { return items_.at(size_t(i)).first; }
  T* Objects(int i) const { return items_.at(size_t(i)).second.get(); }
  int Add(const QString& s, std::unique_ptr<T> obj = nullptr) {
    items_.emplace_back(s, std::move(obj));
    return Count() - 1;
  }
  void Delete(int i) { items_.erase(items_.begin() + i); }
  void Clear() { items_.clear(); }
  int IndexOf(const QString& s) const {
    for (int i = 0; i < Count(); ++i)
      if (items_[size_t(i)].first.compare(s, Qt::CaseInsensitive) == 0) return i;
    return -1;
  }

 private:
  std::vector<std::pair<QString, std::unique_ptr<T>>> items_;
};

// A component with one published string list.
class TKVStrings : public TComponent {
  KV_CLASS(TKVStrings)
 public:
  explicit TKVStrings(TComponent* owner = nullptr) : TComponent(owner) {}
  TStringList& Lines() { return lines_; }
  const TStringList& Lines() const { return lines_; }
  void SetLines(const QStringList& l) { lines_.List() = l; }

 private:
  TStringList lines_;
};

// A block of bytes carried through object text as "Data" (raw) or "CData" (zlib-compressed),
// neither when the block is empty.
class TKVStreamProp : public TPersistent {
  KV_CLASS(TKVStreamProp)
 public:
  TKVStreamProp();
  QBuffer& BinStream() { return stream_; }
  QByteArray Bytes() const { return stream_.data(); }
  void SetBytes(const QByteArray& b);
  bool Compressed = false;
  void DefineProperties(TFiler& filer) override;
  void Assign(const TPersistent& source) override;

 private:
  QBuffer stream_;
};

// A component holding one such block.
class TKVStoredStream : public TComponent {
  KV_CLASS(TKVStoredStream)
 public:
  explicit TKVStoredStream(TComponent* owner = nullptr);
  QBuffer& BinStream() { return stream_; }
  QByteArray Bytes() const { return stream_.data(); }
  void SetBytes(const QByteArray& b);
  bool Compressed = false;
  void DefineProperties(TFiler& filer) override;

 private:
  QBuffer stream_;
};
