#pragma once
// The class library's textual component form, as a tree: parsed from text and formatted back
// in the class library's own layout (two-space indent, #39 quotes, 64-character string pieces
// joined by " +", 32 bytes per hex line).
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "foundation/KVException.h"

struct TextItem;

struct TextValue {
  enum class Type { Integer, Float, String, Ident, Set, List, Collection, Binary };
  Type type = Type::Integer;
  qint64 integer = 0;
  double number = 0;
  char floatSuffix = 0;          // 's' single, 'c' currency, 'd' date, 0 extended
  QString text;                  // String, Ident
  QStringList set;               // Set elements
  std::vector<TextValue> list;   // List
  std::vector<TextItem> items;   // Collection
  QByteArray bytes;              // Binary
  int line = 0;

  static TextValue Int(qint64 v);
  static TextValue Float(double v, char suffix = 0);
  static TextValue Str(const QString& s);
  static TextValue Ident(const QString& s);
  static TextValue Set(const QStringList& elements);
  static TextValue Binary(const QByteArray& data);
  static TextValue StringList(const QStringList& lines);

  bool IsIdent(const char* name) const;  // compared without regard to case
};

struct TextProperty {
  QString name;  // may be dotted ("Font.Name")
  TextValue value;
  int line = 0;
};

struct TextItem {
  std::optional<qint64> index;
  std::vector<TextProperty> props;
};

struct TextObject {
  enum class Kind { Object, Inherited, Inline };
  Kind kind = Kind::Object;
  QString name;
  QString className;
  std::optional<qint64> position;
  std::vector<TextProperty> props;
  std::vector<TextObject> children;
  int line = 0;
};

// What parsing a text builds, in bytes of memory at the peak of a document's load (measured,
// rounded up), so that a reader can refuse a text before it costs more than it may. Each byte of
// text counts for itself as read and decoded and for the strings parsed out of it; each element
// of the tree counts what it and what a document builds from it take (a collection item becomes
// an item object, a list element a line of a string list).
struct TextCost {
  static constexpr qint64 kPerTextByte = 4;
  static constexpr qint64 kPerObject = 256;
  static constexpr qint64 kPerProperty = 384;
  static constexpr qint64 kPerItem = 256;
  static constexpr qint64 kPerElement = 320;

  // What a text of TextBytes bytes costs as text.
  static qint64 OfText(qint64 TextBytes) { return TextBytes * kPerTextByte; }
  // What the elements of a tree cost, as its parsing counted them (with ItemCost per collection
  // item and ElementCost per list or set element).
  static qint64 OfTree(const TextObject& object, qint64 ItemCost = kPerItem, qint64 ElementCost = kPerElement);
};

// More would be built than the budget allows: refused whole, not damage.
KV_DECLARE_ERROR(ETextBudgetError, EKVError)

// The most a parse may build (TextCost), and what it has built so far.
struct TextBudget {
  qint64 limit = 0;
  qint64 used = 0;
  // Raises ETextBudgetError when Cost more would pass the limit.
  void Charge(qint64 Cost);
};

struct TextParseOptions {
  // Counts what the parse builds; nullptr: no limit.
  TextBudget* budget = nullptr;
  // What each collection item and each list or set element costs: what the reader builds of one.
  qint64 itemCost = TextCost::kPerItem;
  qint64 elementCost = TextCost::kPerElement;
  // The block's first line is taken to read "object <rootName>: <rootClass>", whatever it says.
  bool wrap = false;
  QString rootName, rootClass;
};

// Parses one object block (leading blank lines allowed; text after its "end" is ignored).
// Throws EParserError on malformed text; nothing partial is returned.
TextObject ParseObjectText(const QString& text, const TextParseOptions& options = {});

struct TextDamage {
  bool damaged = false;
  int line = 0;
  QString message;
};

// For a block that is damaged or cut short: parsing stops at the first error and keeps what
// stands complete before it: the properties and objects before the error, the whole items of a
// collection and the whole elements of a list that the error cut (the property holding them
// stays); open objects count as closed. Damage says where it stopped. Throws EParserError only
// when not even the first line of the block can be read.
TextObject ParseObjectTextPartial(const QString& text, TextDamage& damage, const TextParseOptions& options = {});

// Formats an object block in the class library's layout, CR LF line ends.
QString FormatObjectText(const TextObject& object);

// Object text files are single-byte Windows-1252; non-ASCII characters we write use #n escapes.
QString DecodeObjectTextBytes(const QByteArray& bytes);
QByteArray EncodeObjectTextBytes(const QString& text);
