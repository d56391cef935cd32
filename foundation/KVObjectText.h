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

// Parses one object block (leading blank lines allowed; text after its "end" is ignored).
// Throws EParserError on malformed text; nothing partial is returned.
TextObject ParseObjectText(const QString& text);

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
TextObject ParseObjectTextPartial(const QString& text, TextDamage& damage);

// Formats an object block in the class library's layout, CR LF line ends.
QString FormatObjectText(const TextObject& object);

// Object text files are single-byte Windows-1252; non-ASCII characters we write use #n escapes.
QString DecodeObjectTextBytes(const QByteArray& bytes);
QByteArray EncodeObjectTextBytes(const QString& text);
