#include "platform/KVRegistry.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <sys/stat.h>
#include <map>
#include <vector>

#include "platform/KVDesktopEntry.h"
#include "platform/KVError.h"
#include "platform/KVSafeSave.h"

bool TRegValue::operator==(const TRegValue& o) const {
  if (type != o.type) return false;
  switch (type) {
    case TRegDataType::rdString:
    case TRegDataType::rdExpandString: return text == o.text;
    case TRegDataType::rdInteger: return integer == o.integer;
    case TRegDataType::rdBinary: return binary == o.binary;
    case TRegDataType::rdUnknown: return true;
  }
  return false;
}

QString RunKeyPath() { return QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Run"); }

namespace {

QStringList SplitPath(const QString& path) {
  QStringList parts;
  for (const QString& p : path.split(QLatin1Char('\\'), Qt::SkipEmptyParts)) parts << p;
  return parts;
}

bool SamePath(const QStringList& a, const QStringList& b) {
  if (a.size() != b.size()) return false;
  for (int i = 0; i < a.size(); ++i)
    if (a[i].compare(b[i], Qt::CaseInsensitive) != 0) return false;
  return true;
}

struct Node {
  QString name;
  std::vector<std::pair<QString, TRegValue>> values;
  std::vector<std::unique_ptr<Node>> keys;
  // What the file held here that this program does not understand (values of unknown types or
  // out of range, keys nested too deeply or malformed, other members): written back as it was,
  // so that a file of a newer program or a hand edit loses nothing through our saves.
  QJsonObject keptValues, keptKeys, keptOther;

  Node* Child(const QString& n) const {
    for (const auto& k : keys)
      if (k->name.compare(n, Qt::CaseInsensitive) == 0) return k.get();
    return nullptr;
  }
  std::pair<QString, TRegValue>* Val(const QString& n) {
    for (auto& v : values)
      if (v.first.compare(n, Qt::CaseInsensitive) == 0) return &v;
    return nullptr;
  }
  static bool Drop(QJsonObject& kept, const QString& n) {
    bool any = false;
    for (const QString& k : kept.keys())
      if (k.compare(n, Qt::CaseInsensitive) == 0) {
        kept.remove(k);
        any = true;
      }
    return any;
  }
  bool HasKeptValue(const QString& n) const {
    for (auto it = keptValues.begin(); it != keptValues.end(); ++it)
      if (it.key().compare(n, Qt::CaseInsensitive) == 0) return true;
    return false;
  }
};

QString TypeName(TRegDataType t) {
  switch (t) {
    case TRegDataType::rdString: return QStringLiteral("string");
    case TRegDataType::rdExpandString: return QStringLiteral("expand");
    case TRegDataType::rdInteger: return QStringLiteral("dword");
    case TRegDataType::rdBinary: return QStringLiteral("binary");
    case TRegDataType::rdUnknown: break;
  }
  return QStringLiteral("unknown");
}

QJsonObject NodeToJson(const Node& n) {
  QJsonObject values = n.keptValues;
  for (const auto& [name, v] : n.values) {
    QJsonObject jv;
    jv[QStringLiteral("type")] = TypeName(v.type);
    switch (v.type) {
      case TRegDataType::rdString:
      case TRegDataType::rdExpandString: jv[QStringLiteral("data")] = v.text; break;
      case TRegDataType::rdInteger: jv[QStringLiteral("data")] = v.integer; break;
      case TRegDataType::rdBinary: jv[QStringLiteral("data")] = QString::fromLatin1(v.binary.toBase64()); break;
      case TRegDataType::rdUnknown: break;
    }
    values[name] = jv;
  }
  QJsonObject keys = n.keptKeys;
  for (const auto& k : n.keys) keys[k->name] = NodeToJson(*k);
  QJsonObject o = n.keptOther;
  o[QStringLiteral("values")] = values;
  o[QStringLiteral("keys")] = keys;
  return o;
}

constexpr int kMaxKeyDepth = 64;

// A typed value from its JSON form; nullopt for anything this program would have to guess at.
std::optional<TRegValue> JsonToValue(const QJsonValue& j) {
  if (!j.isObject()) return std::nullopt;
  const QJsonObject jv = j.toObject();
  const QString type = jv.value(QStringLiteral("type")).toString();
  const QJsonValue data = jv.value(QStringLiteral("data"));
  TRegValue v;
  if (type == QLatin1String("string") || type == QLatin1String("expand")) {
    if (!data.isString()) return std::nullopt;
    v.type = type == QLatin1String("string") ? TRegDataType::rdString : TRegDataType::rdExpandString;
    v.text = data.toString();
  } else if (type == QLatin1String("dword")) {
    const double d = data.toDouble();
    if (!data.isDouble() || d < INT32_MIN || d > UINT32_MAX || d != std::floor(d)) return std::nullopt;
    v.type = TRegDataType::rdInteger;
    v.integer = qint32(std::uint32_t(qint64(d)));
  } else if (type == QLatin1String("binary")) {
    if (!data.isString()) return std::nullopt;
    auto decoded = QByteArray::fromBase64Encoding(data.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) return std::nullopt;
    v.type = TRegDataType::rdBinary;
    v.binary = *decoded;
  } else {
    return std::nullopt;
  }
  return v;
}

// Fills n from o; what cannot be read is kept as it stands, and only that part is left out.
void JsonToNode(const QJsonObject& o, Node& n, int depth) {
  for (auto it = o.begin(); it != o.end(); ++it)
    if (it.key() != QLatin1String("values") && it.key() != QLatin1String("keys")) n.keptOther.insert(it.key(), it.value());
  const QJsonValue jvalues = o.value(QStringLiteral("values")), jkeys = o.value(QStringLiteral("keys"));
  if (!jvalues.isUndefined() && !jvalues.isObject()) n.keptOther.insert(QStringLiteral("values"), jvalues);
  if (!jkeys.isUndefined() && !jkeys.isObject()) n.keptOther.insert(QStringLiteral("keys"), jkeys);
  const QJsonObject values = jvalues.toObject();
  for (auto it = values.begin(); it != values.end(); ++it) {
    if (auto v = JsonToValue(it.value())) n.values.emplace_back(it.key(), *v);
    else n.keptValues.insert(it.key(), it.value());
  }
  const QJsonObject keys = jkeys.toObject();
  for (auto it = keys.begin(); it != keys.end(); ++it) {
    if (depth >= kMaxKeyDepth || !it.value().isObject()) {
      n.keptKeys.insert(it.key(), it.value());
      continue;
    }
    auto child = std::make_unique<Node>();
    child->name = it.key();
    JsonToNode(it.value().toObject(), *child, depth + 1);
    n.keys.push_back(std::move(child));
  }
}

// Creates Dir and the folders above it; the system's reason when that fails, else empty.
QString MakeFolders(const QString& Dir) {
  const QFileInfo fi(Dir);
  if (fi.isDir()) return {};
  const QString up = fi.absolutePath();
  if (up != fi.absoluteFilePath()) {
    const QString reason = MakeFolders(up);
    if (!reason.isEmpty()) return reason;
  }
  if (::mkdir(QFile::encodeName(Dir).constData(), 0777) != 0 && errno != EEXIST)
    return QString::fromLocal8Bit(std::strerror(errno));
  return {};
}

// ---- log-on programs as XDG autostart entries ----

QString AutostartDir() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart");
}

QString AutostartFile(const QString& valueName) {
  QString base;
  for (QChar c : valueName.toLower()) base += (c.isLetterOrNumber() && c.unicode() < 128) ? c : QLatin1Char('-');
  return AutostartDir() + QLatin1Char('/') + base + QStringLiteral(".desktop");
}

const char kRunMarker[] = "X-KelVoro-RunValue";
// The Run value's text as written, so that it reads back unchanged whatever Exec became.
const char kRunCommand[] = "X-KelVoro-RunCommand";

// Name and command of an autostart file written for a Run value; nullopt for other files.
std::optional<std::pair<QString, QString>> ReadAutostart(const QString& file) {
  QFile f(file);
  if (!f.open(QIODevice::ReadOnly) || f.size() > 64 * 1024) return std::nullopt;
  QString name, exec;
  std::optional<QString> command;
  for (const QByteArray& raw : f.readAll().split('\n')) {
    const QString line = QString::fromUtf8(raw).trimmed();
    if (line.startsWith(QLatin1String(kRunMarker) + QLatin1Char('=')))
      name = UnescapeDesktopString(line.mid(int(sizeof kRunMarker)));
    else if (line.startsWith(QLatin1String(kRunCommand) + QLatin1Char('=')))
      command = UnescapeDesktopString(line.mid(int(sizeof kRunCommand)));
    else if (line.startsWith(QLatin1String("Exec=")))
      exec = UnescapeDesktopString(line.mid(5));
  }
  if (name.isEmpty()) return std::nullopt;
  // Files of earlier versions kept the command itself as Exec.
  return std::make_pair(name, command.value_or(exec));
}

// The autostart entry of a Run value: its command line becomes an Exec that starts the same
// program with the same arguments, however the path is spelt.
QByteArray AutostartText(const QString& name, const QString& command) {
  const QString exec = LauncherExec(SplitRunCommand(command));
  return QStringLiteral(
             "[Desktop Entry]\nType=Application\nName=%1\nExec=%2\n"
             "X-GNOME-Autostart-enabled=true\n%3=%4\n%5=%6\n")
      .arg(EscapeDesktopString(name), EscapeDesktopString(exec), QLatin1String(kRunMarker),
           EscapeDesktopString(name), QLatin1String(kRunCommand), EscapeDesktopString(command))
      .toUtf8();
}

}  // namespace

constexpr int kMaxBackups = 10;

struct RegistryStore::Impl {
  TRootKey root;
  QString file;
  Node top;
  bool loaded = false;
  bool dirty = false;
  QDateTime loadedTime;
  qint64 loadedSize = -1;
  QString lastError;
  // The file and the system's reason of the last failed write.
  QString lastFile, lastReason;

  // A failed write of File: what and why.
  bool Failed(const QString& File, const QString& what, const QString& reason) {
    lastFile = File;
    lastError = what;
    lastReason = reason;
    return false;
  }

  bool Backed() const { return root == TRootKey::HKEY_CURRENT_USER; }

  void Refresh() {
    if (!Backed()) {
      loaded = true;
      return;
    }
    const QFileInfo fi(file);
    if (loaded) {
      if (dirty) return;  // our own changes win until they are written
      const bool exists = fi.exists();
      if (!exists && loadedSize < 0) return;
      if (exists && loadedSize >= 0 && fi.lastModified() == loadedTime && fi.size() == loadedSize) return;
    }
    top = Node();
    loaded = true;
    loadedSize = -1;
    if (!fi.exists()) return;
    loadedTime = fi.lastModified();
    loadedSize = fi.size();
    QFile f(file);
    QJsonParseError err{};
    QJsonDocument doc;
    if (f.open(QIODevice::ReadOnly)) doc = QJsonDocument::fromJson(f.readAll(), &err);
    if (err.error == QJsonParseError::NoError && doc.isObject()) {
      JsonToNode(doc.object(), top, 0);
      return;
    }
    // An unreadable store is kept aside, never overwritten, and never over an earlier one: the
    // first of them may be the last good copy someone can still mend by hand.
    top = Node();
    const QString bak = BackupName();
    QFile::remove(bak);
    QFile::rename(file, bak);
    lastError = QStringLiteral("The settings file was unreadable and was kept as %1").arg(bak);
    loadedSize = -1;
  }

  // file.bak, file.bak1 .. file.bak9; when all are taken the last one is reused, so the oldest
  // copies stay.
  QString BackupName() const {
    const QString first = file + QStringLiteral(".bak");
    if (!QFileInfo::exists(first)) return first;
    for (int i = 1; i < kMaxBackups; ++i) {
      const QString name = first + QString::number(i);
      if (!QFileInfo::exists(name)) return name;
    }
    return first + QString::number(kMaxBackups - 1);
  }

  Node* Find(const QString& path) {
    Node* n = &top;
    for (const QString& p : SplitPath(path)) {
      n = n->Child(p);
      if (!n) return nullptr;
    }
    return n;
  }

  bool IsRunKey(const QString& path) const { return Backed() && SamePath(SplitPath(path), SplitPath(RunKeyPath())); }
};

RegistryStore::RegistryStore(TRootKey root) : d(std::make_unique<Impl>()) {
  d->root = root;
  if (d->Backed()) {
    const QString env = qEnvironmentVariable("KV_REGISTRY_FILE");
    d->file = !env.isEmpty() ? env
                             : QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                                   QStringLiteral("/KelVoro/registry.json");
  }
}

RegistryStore::~RegistryStore() = default;

static std::map<TRootKey, std::unique_ptr<RegistryStore>>& Stores() {
  static std::map<TRootKey, std::unique_ptr<RegistryStore>> s;
  return s;
}

RegistryStore& RegistryStore::Of(TRootKey root) {
  auto& s = Stores()[root];
  if (!s) s.reset(new RegistryStore(root));
  return *s;
}

void RegistryStore::ResetAll() { Stores().clear(); }

bool RegistryStore::ReadOnly() const { return !d->Backed(); }
QString RegistryStore::FileName() const { return d->file; }
QString RegistryStore::LastError() const { return d->lastError; }
QString RegistryStore::LastReason() const { return d->lastReason; }
QString RegistryStore::LastFile() const { return d->lastFile; }

bool RegistryStore::KeyExists(const QString& path) {
  d->Refresh();
  return d->IsRunKey(path) || d->Find(path) != nullptr;
}

bool RegistryStore::CreateKey(const QString& path) {
  d->Refresh();
  if (d->IsRunKey(path)) return true;
  if (ReadOnly()) return d->Find(path) != nullptr;
  Node* n = &d->top;
  for (const QString& p : SplitPath(path)) {
    Node* c = n->Child(p);
    if (!c) {
      // A key kept unread (nested too deeply) gives way to the one the program writes now.
      Node::Drop(n->keptKeys, p);
      auto node = std::make_unique<Node>();
      node->name = p;
      c = node.get();
      n->keys.push_back(std::move(node));
      d->dirty = true;
    }
    n = c;
  }
  return true;
}

bool RegistryStore::DeleteKey(const QString& path) {
  d->Refresh();
  const QStringList parts = SplitPath(path);
  if (ReadOnly() || parts.isEmpty() || d->IsRunKey(path)) return false;
  Node* parent = d->Find(QStringList(parts.mid(0, parts.size() - 1)).join(QLatin1Char('\\')));
  if (!parent) return false;
  if (Node::Drop(parent->keptKeys, parts.back())) {
    d->dirty = true;
    return true;
  }
  for (auto it = parent->keys.begin(); it != parent->keys.end(); ++it) {
    if ((*it)->name.compare(parts.back(), Qt::CaseInsensitive) == 0) {
      parent->keys.erase(it);
      d->dirty = true;
      return true;
    }
  }
  return false;
}

QStringList RegistryStore::KeyNames(const QString& path) {
  d->Refresh();
  QStringList r;
  if (Node* n = d->Find(path))
    for (const auto& k : n->keys) r << k->name;
  return r;
}

QStringList RegistryStore::ValueNames(const QString& path) {
  d->Refresh();
  QStringList r;
  if (d->IsRunKey(path)) {
    const QDir dir(AutostartDir());
    for (const QString& f : dir.entryList({QStringLiteral("*.desktop")}, QDir::Files))
      if (auto e = ReadAutostart(dir.filePath(f))) r << e->first;
    return r;
  }
  if (Node* n = d->Find(path))
    for (const auto& v : n->values) r << v.first;
  if (Node* n = d->Find(path)) r << n->keptValues.keys();
  return r;
}

std::optional<TRegValue> RegistryStore::Value(const QString& path, const QString& name) {
  d->Refresh();
  if (d->IsRunKey(path)) {
    const auto e = ReadAutostart(AutostartFile(name));
    if (!e || e->first.compare(name, Qt::CaseInsensitive) != 0) return std::nullopt;
    TRegValue v;
    v.type = TRegDataType::rdString;
    v.text = e->second;
    return v;
  }
  Node* n = d->Find(path);
  if (!n) return std::nullopt;
  if (auto* v = n->Val(name)) return v->second;
  if (n->HasKeptValue(name)) return TRegValue{};  // there, of a type this program cannot read
  return std::nullopt;
}

bool RegistryStore::SetValue(const QString& path, const QString& name, const TRegValue& value) {
  d->Refresh();
  if (ReadOnly()) return false;
  if (d->IsRunKey(path)) {
    if (value.type != TRegDataType::rdString && value.type != TRegDataType::rdExpandString) return false;
    const QByteArray text = AutostartText(name, value.text);
    {
      // Unchanged entries are not rewritten; ones written with an older Exec are.
      QFile current(AutostartFile(name));
      if (current.open(QIODevice::ReadOnly) && current.size() <= 64 * 1024 && current.readAll() == text) return true;
    }
    if (const QString why = MakeFolders(AutostartDir()); !why.isEmpty())
      return d->Failed(AutostartFile(name), QStringLiteral("Cannot create the folder \"%1\". %2").arg(AutostartDir(), why),
                       why);
    try {
      SafeSaveBytes(AutostartFile(name), text);
    } catch (const EKVError& e) {
      return d->Failed(AutostartFile(name), e.Message(), e.Reason());
    }
    return true;
  }
  Node* n = d->Find(path);
  if (!n) return false;
  if (Node::Drop(n->keptValues, name)) d->dirty = true;
  if (auto* v = n->Val(name)) {
    if (v->second == value) return true;
    v->second = value;
  } else {
    n->values.emplace_back(name, value);
  }
  d->dirty = true;
  return true;
}

bool RegistryStore::DeleteValue(const QString& path, const QString& name) {
  d->Refresh();
  if (ReadOnly()) return false;
  if (d->IsRunKey(path)) {
    const auto e = ReadAutostart(AutostartFile(name));
    return e && QFile::remove(AutostartFile(name));
  }
  Node* n = d->Find(path);
  if (!n) return false;
  bool found = Node::Drop(n->keptValues, name);
  for (auto it = n->values.begin(); it != n->values.end(); ++it) {
    if (it->first.compare(name, Qt::CaseInsensitive) == 0) {
      n->values.erase(it);
      found = true;
      break;
    }
  }
  if (found) d->dirty = true;
  return found;
}

bool RegistryStore::Flush() {
  if (!d->dirty || !d->Backed()) return true;
  const QString folder = QFileInfo(d->file).absolutePath();
  if (const QString why = MakeFolders(folder); !why.isEmpty())
    return d->Failed(d->file, QStringLiteral("Cannot create the folder \"%1\". %2").arg(folder, why), why);
  try {
    SafeSaveBytes(d->file, QJsonDocument(NodeToJson(d->top)).toJson(QJsonDocument::Indented), true);
  } catch (const EKVError& e) {
    return d->Failed(d->file, e.Message(), e.Reason());
  }
  d->dirty = false;
  const QFileInfo fi(d->file);
  d->loadedTime = fi.lastModified();
  d->loadedSize = fi.size();
  return true;
}

// ---------------------------------------------------------------------------------------------

TRegistry::TRegistry() = default;

TRegistry::~TRegistry() {
  try {
    CloseKey();
  } catch (...) {
    // Nothing can be reported from here; callers that care close the key themselves.
  }
}

void TRegistry::SetRootKey(TRootKey root) {
  CloseKey();
  root_ = root;
}

QString TRegistry::Resolve(const QString& key) const {
  if (key.startsWith(QLatin1Char('\\')) || !open_) return SplitPath(key).join(QLatin1Char('\\'));
  QStringList parts = SplitPath(path_);
  parts << SplitPath(key);
  return parts.join(QLatin1Char('\\'));
}

bool TRegistry::OpenKey(const QString& key, bool canCreate) {
  const QString path = Resolve(key);
  RegistryStore& s = RegistryStore::Of(root_);
  const bool ok = s.KeyExists(path) || (canCreate && !s.ReadOnly() && s.CreateKey(path));
  if (!ok) return false;
  CloseKey();
  path_ = path;
  open_ = true;
  readOnly_ = s.ReadOnly();
  return true;
}

bool TRegistry::OpenKeyReadOnly(const QString& key) {
  const QString path = Resolve(key);
  if (!RegistryStore::Of(root_).KeyExists(path)) return false;
  CloseKey();
  path_ = path;
  open_ = true;
  readOnly_ = true;
  return true;
}

void TRegistry::CloseKey() {
  if (!open_) return;
  open_ = false;
  path_.clear();
  RegistryStore& s = RegistryStore::Of(root_);
  if (!s.Flush())
    throw ERegistryError(QStringLiteral("Failed to save the settings: %1").arg(s.LastError()), s.LastReason());
}

bool TRegistry::KeyExists(const QString& key) { return RegistryStore::Of(root_).KeyExists(Resolve(key)); }
bool TRegistry::CreateKey(const QString& key) { return RegistryStore::Of(root_).CreateKey(Resolve(key)); }
bool TRegistry::DeleteKey(const QString& key) { return RegistryStore::Of(root_).DeleteKey(Resolve(key)); }
bool TRegistry::ValueExists(const QString& name) {
  return open_ && RegistryStore::Of(root_).Value(path_, name).has_value();
}
bool TRegistry::DeleteValue(const QString& name) {
  return open_ && !readOnly_ && RegistryStore::Of(root_).DeleteValue(path_, name);
}
QStringList TRegistry::GetValueNames() { return open_ ? RegistryStore::Of(root_).ValueNames(path_) : QStringList(); }
QStringList TRegistry::GetKeyNames() { return open_ ? RegistryStore::Of(root_).KeyNames(path_) : QStringList(); }

TRegDataType TRegistry::GetDataType(const QString& name) {
  if (!open_) return TRegDataType::rdUnknown;
  const auto v = RegistryStore::Of(root_).Value(path_, name);
  return v ? v->type : TRegDataType::rdUnknown;
}

TRegValue TRegistry::Get(const QString& name, TRegDataType a, TRegDataType b) {
  const auto v = open_ ? RegistryStore::Of(root_).Value(path_, name) : std::nullopt;
  if (!v || v->type == TRegDataType::rdUnknown || (v->type != a && v->type != b))
    throw ERegistryError(QStringLiteral("Invalid data type for '%1'").arg(name));
  return *v;
}

void TRegistry::Put(const QString& name, const TRegValue& v) {
  RegistryStore& s = RegistryStore::Of(root_);
  if (!open_ || readOnly_ || !s.SetValue(path_, name, v))
    throw ERegistryError(QStringLiteral("Failed to set data for '%1'").arg(name), s.LastReason());
}

QString TRegistry::ReadString(const QString& name) {
  return Get(name, TRegDataType::rdString, TRegDataType::rdExpandString).text;
}
int TRegistry::ReadInteger(const QString& name) { return Get(name, TRegDataType::rdInteger).integer; }
bool TRegistry::ReadBool(const QString& name) { return ReadInteger(name) != 0; }

double TRegistry::ReadFloat(const QString& name) {
  const QByteArray b = Get(name, TRegDataType::rdBinary).binary;
  double d = 0;
  if (b.size() != int(sizeof d)) throw ERegistryError(QStringLiteral("Invalid data type for '%1'").arg(name));
  std::memcpy(&d, b.constData(), sizeof d);
  return d;
}

QByteArray TRegistry::ReadBinaryData(const QString& name) { return Get(name, TRegDataType::rdBinary).binary; }

void TRegistry::WriteString(const QString& name, const QString& value) {
  TRegValue v;
  v.type = TRegDataType::rdString;
  v.text = value;
  Put(name, v);
}
void TRegistry::WriteExpandString(const QString& name, const QString& value) {
  TRegValue v;
  v.type = TRegDataType::rdExpandString;
  v.text = value;
  Put(name, v);
}
void TRegistry::WriteInteger(const QString& name, int value) {
  TRegValue v;
  v.type = TRegDataType::rdInteger;
  v.integer = value;
  Put(name, v);
}
void TRegistry::WriteBool(const QString& name, bool value) { WriteInteger(name, value ? 1 : 0); }
void TRegistry::WriteFloat(const QString& name, double value) {
  TRegValue v;
  v.type = TRegDataType::rdBinary;
  v.binary = QByteArray(reinterpret_cast<const char*>(&value), sizeof value);
  Put(name, v);
}
void TRegistry::WriteBinaryData(const QString& name, const QByteArray& value) {
  TRegValue v;
  v.type = TRegDataType::rdBinary;
  v.binary = value;
  Put(name, v);
}
