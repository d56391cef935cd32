#pragma once
// A per-user store with the registry's semantics (typed values, keys and subkeys, names compared
// without regard to case), kept as one JSON file under the XDG config folder and written
// atomically, only when something changed. The log-on Run key is kept as XDG autostart files.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

enum class TRegDataType { rdUnknown, rdString, rdExpandString, rdInteger, rdBinary };

struct TRegValue {
  TRegDataType type = TRegDataType::rdUnknown;
  QString text;      // rdString, rdExpandString
  qint32 integer = 0;
  QByteArray binary;
  bool operator==(const TRegValue& o) const;
};

enum class TRootKey { HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT };

// The key path whose values are the programs started at log-on.
QString RunKeyPath();

class RegistryStore {
 public:
  // The store of a root. Only the current user's store is backed by a file; the others are
  // empty and read-only on this platform.
  static RegistryStore& Of(TRootKey root);
  // Drops the cached stores so that the next access reads the files again (tests).
  static void ResetAll();

  bool ReadOnly() const;
  bool KeyExists(const QString& path);
  bool CreateKey(const QString& path);
  bool DeleteKey(const QString& path);
  QStringList KeyNames(const QString& path);
  QStringList ValueNames(const QString& path);
  std::optional<TRegValue> Value(const QString& path, const QString& name);
  // False when the key does not exist or the store is read-only.
  bool SetValue(const QString& path, const QString& name, const TRegValue& value);
  bool DeleteValue(const QString& path, const QString& name);
  // Writes pending changes; false (and the changes kept) when the file cannot be written.
  bool Flush();
  QString FileName() const;
  // What the last failed write was, the file it went to, and the system's reason for it.
  QString LastError() const;
  QString LastFile() const;
  QString LastReason() const;

  struct Impl;
  ~RegistryStore();

 private:
  explicit RegistryStore(TRootKey root);
  std::unique_ptr<Impl> d;
};

// The class library's registry key object: a root, one open key, typed reads that raise
// ERegistryError on a missing value or a value of another type, and writes.
class TRegistry {
 public:
  TRegistry();
  virtual ~TRegistry();
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  TRootKey RootKey() const { return root_; }
  void SetRootKey(TRootKey root);
  // Key paths use backslashes; a leading one makes the path absolute, otherwise it is relative
  // to the open key.
  bool OpenKey(const QString& key, bool canCreate);
  bool OpenKeyReadOnly(const QString& key);
  // Closes the key and writes pending changes; raises ERegistryError when they cannot be written.
  void CloseKey();
  QString CurrentPath() const { return path_; }
  bool HasOpenKey() const { return open_; }

  bool KeyExists(const QString& key);
  bool CreateKey(const QString& key);
  bool DeleteKey(const QString& key);
  bool ValueExists(const QString& name);
  bool DeleteValue(const QString& name);
  QStringList GetValueNames();
  QStringList GetKeyNames();
  TRegDataType GetDataType(const QString& name);

  QString ReadString(const QString& name);
  int ReadInteger(const QString& name);
  bool ReadBool(const QString& name);
  double ReadFloat(const QString& name);
  QByteArray ReadBinaryData(const QString& name);

  void WriteString(const QString& name, const QString& value);
  void WriteExpandString(const QString& name, const QString& value);
  void WriteInteger(const QString& name, int value);
  void WriteBool(const QString& name, bool value);
  void WriteFloat(const QString& name, double value);
  void WriteBinaryData(const QString& name, const QByteArray& value);

 private:
  QString Resolve(const QString& key) const;
  TRegValue Get(const QString& name, TRegDataType a, TRegDataType b = TRegDataType::rdUnknown);
  void Put(const QString& name, const TRegValue& v);

  TRootKey root_ = TRootKey::HKEY_CURRENT_USER;
  QString path_;
  bool open_ = false;
  bool readOnly_ = false;
};
