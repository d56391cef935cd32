#pragma once
// The program's view of the system: registry access with defaults, the message box and button
// sets, folders and path macros, links and mail, and file helpers.
#include <QString>
#include <QStringList>

#include "foundation/KVClasses.h"
#include "foundation/KVTypes.h"
#include "platform/KVRegistry.h"

// Registry access with defaulted reads (which never raise) and the program's font and colour forms.
class TKVRegistry : public TRegistry {
 public:
  bool ReadBoolDef(const QString& Name, bool Default);
  double ReadFloatDef(const QString& Name, double Default);
  int ReadIntegerDef(const QString& Name, int Default);
  QString ReadStringDef(const QString& Name, const QString& Default);
  // Five values: Prefix + Name, CharSet, Color, Size, Style ("B", "I", "U", "S").
  void WriteFont(const QString& Prefix, const TFont& Font);
  void ReadFont(const QString& Prefix, TFont& Font, const TFont& DefaultFont);
  void WriteColor(const QString& Name, TColor Color);
  TColor ReadColorDef(const QString& Name, TColor Default);
};
