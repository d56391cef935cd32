#include "platform/KVLaunch.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

namespace {
std::function<bool(const QString&, const QStringList&)>& Starter() {
  static std::function<bool(const QString&, const QStringList&)> s;
  return s;
}
}  // namespace

bool StartProgram(const QString& Program, const QStringList& Args) {
  if (Starter()) return Starter()(Program, Args);
  if (Program.isEmpty()) return false;
  return QProcess::startDetached(Program, Args);
}

void SetProgramStarter(std::function<bool(const QString&, const QStringList&)> starter) {
  Starter() = std::move(starter);
}

QStringList SplitCommandLine(const QString& Command) {
  QStringList out;
  QString cur;
  bool inQuotes = false, any = false;
  for (qsizetype i = 0; i < Command.size(); ++i) {
    const QChar c = Command[i];
    if (inQuotes && c == QLatin1Char('\\') && i + 1 < Command.size()) {
      cur += Command[++i];
    } else if (c == QLatin1Char('"')) {
      inQuotes = !inQuotes;
      any = true;
    } else if (!inQuotes && (c == QLatin1Char(' ') || c == QLatin1Char('\t'))) {
      if (any || !cur.isEmpty()) out << cur;
      cur.clear();
      any = false;
    } else {
      cur += c;
    }
  }
  if (any || !cur.isEmpty()) out << cur;
  return out;
}

std::optional<QString> DefaultHandlerCommand(const QString& Scheme) {
  const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
  if (xdgMime.isEmpty()) return std::nullopt;
  QProcess p;
  p.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("x-scheme-handler/") + Scheme});
  if (!p.waitForFinished(3000)) {
    p.kill();
    return std::nullopt;
  }
  const QString desktop = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
  if (desktop.isEmpty() || desktop.contains(QLatin1Char('/'))) return std::nullopt;
  const QString file =
      QStandardPaths::locate(QStandardPaths::ApplicationsLocation, desktop, QStandardPaths::LocateFile);
  QFile f(file);
  if (file.isEmpty() || !f.open(QIODevice::ReadOnly) || f.size() > 1024 * 1024) return std::nullopt;
  bool inMain = false;
  for (const QByteArray& raw : f.readAll().split('\n')) {
    const QString line = QString::fromUtf8(raw).trimmed();
    if (line.startsWith(QLatin1Char('['))) inMain = line == QLatin1String("[Desktop Entry]");
    else if (inMain && line.startsWith(QLatin1String("Exec="))) return line.mid(5);
  }
  return std::nullopt;
}
