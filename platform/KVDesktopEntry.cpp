#include "platform/KVDesktopEntry.h"

#include <QFileInfo>

namespace {

// Characters the XDG format reserves: an argument holding one must be quoted.
const QString kReserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
// Characters escaped with a backslash inside a quoted argument.
const QString kQuotedEscapes = QStringLiteral("\"`$\\");

bool IsBlank(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); }

}  // namespace

QString EscapeDesktopString(const QString& Text) {
  QString r;
  for (qsizetype i = 0; i < Text.size(); ++i) {
    const QChar c = Text[i];
    if (c == QLatin1Char('\\')) r += QLatin1String("\\\\");
    else if (c == QLatin1Char('\n')) r += QLatin1String("\\n");
    else if (c == QLatin1Char('\t')) r += QLatin1String("\\t");
    else if (c == QLatin1Char('\r')) r += QLatin1String("\\r");
    else if (c == QLatin1Char(' ') && i == 0) r += QLatin1String("\\s");
    else r += c;
  }
  return r;
}

QString UnescapeDesktopString(const QString& Value) {
  QString r;
  for (qsizetype i = 0; i < Value.size(); ++i) {
    if (Value[i] == QLatin1Char('\\') && i + 1 < Value.size()) {
      const QChar n = Value[++i];
      if (n == QLatin1Char('s')) r += QLatin1Char(' ');
      else if (n == QLatin1Char('n')) r += QLatin1Char('\n');
      else if (n == QLatin1Char('t')) r += QLatin1Char('\t');
      else if (n == QLatin1Char('r')) r += QLatin1Char('\r');
      else if (n == QLatin1Char('\\')) r += QLatin1Char('\\');
      else r += QLatin1Char('\\') + n;  // not a string escape: the quoting rules may want it
    } else {
      r += Value[i];
    }
  }
  return r;
}

QString DesktopExecFromArguments(const QStringList& Args) {
  QStringList parts;
  for (const QString& arg : Args) {
    bool quote = arg.isEmpty();
    for (QChar c : arg) quote = quote || kReserved.contains(c);
    QString part;
    for (QChar c : arg) {
      if (c == QLatin1Char('%')) part += QLatin1String("%%");
      else if (quote && kQuotedEscapes.contains(c)) part += QLatin1Char('\\') + c;
      else part += c;
    }
    parts << (quote ? QLatin1Char('"') + part + QLatin1Char('"') : part);
  }
  return parts.join(QLatin1Char(' '));
}

QString LauncherExec(const QStringList& Args) {
  if (Args.isEmpty() || !Args.first().contains(QLatin1Char('%'))) return DesktopExecFromArguments(Args);
  // The script is fixed; the path travels as $0, never as shell text.
  return DesktopExecFromArguments(QStringList{QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                                              QStringLiteral("exec \"$0\" \"$@\"")} + Args);
}

std::optional<QStringList> DesktopExecArguments(const QString& Exec) {
  QStringList args;
  QString current;
  bool inQuotes = false, started = false;
  for (qsizetype i = 0; i < Exec.size(); ++i) {
    const QChar c = Exec[i];
    if (c == QLatin1Char('%')) {
      if (i + 1 >= Exec.size()) return std::nullopt;
      const QChar code = Exec[++i];
      if (code == QLatin1Char('%')) current += QLatin1Char('%');
      else if (inQuotes) return std::nullopt;  // a field code inside quotes is undefined
      started = true;
      continue;
    }
    if (inQuotes) {
      if (c == QLatin1Char('"')) {
        inQuotes = false;
      } else if (c == QLatin1Char('\\')) {
        if (i + 1 >= Exec.size() || !kQuotedEscapes.contains(Exec[i + 1])) return std::nullopt;
        current += Exec[++i];
      } else {
        current += c;
      }
    } else if (c == QLatin1Char(' ')) {
      if (started) args << current;
      current.clear();
      started = false;
    } else if (c == QLatin1Char('"')) {
      inQuotes = true;
      started = true;
    } else if (kReserved.contains(c)) {
      return std::nullopt;
    } else {
      current += c;
      started = true;
    }
  }
  if (inQuotes) return std::nullopt;
  if (started) args << current;
  return args;
}

QStringList SplitRunCommand(const QString& Command, const std::function<bool(const QString&)>& FileExists) {
  const auto exists = [&](const QString& path) {
    return FileExists ? FileExists(path) : QFileInfo(path).isFile();
  };
  const QString s = Command.trimmed();
  QString program;
  qsizetype rest = s.size();
  if (s.startsWith(QLatin1Char('"'))) {
    qsizetype first = -1;
    for (qsizetype j = 1; j < s.size(); ++j) {
      if (s[j] != QLatin1Char('"') || (j + 1 < s.size() && !IsBlank(s[j + 1]))) continue;
      if (first < 0) first = j;
      if (exists(s.mid(1, j - 1))) {
        first = j;
        break;
      }
    }
    program = first < 0 ? s.mid(1) : s.mid(1, first - 1);
    rest = first < 0 ? s.size() : first + 1;
  } else {
    qsizetype end = s.size();
    for (qsizetype j = 0; j < s.size(); ++j) {
      if (!IsBlank(s[j])) continue;
      if (end == s.size()) end = j;  // no file found: the first word
      if (exists(s.left(j))) {
        end = j;
        break;
      }
    }
    if (end != s.size() && !exists(s.left(end)) && exists(s)) end = s.size();
    program = s.left(end);
    rest = end;
  }
  QStringList args{program};
  QString current;
  bool inQuotes = false, started = false;
  for (qsizetype i = rest; i < s.size(); ++i) {
    const QChar c = s[i];
    if (c == QLatin1Char('"')) {
      inQuotes = !inQuotes;
      started = true;
    } else if (!inQuotes && IsBlank(c)) {
      if (started) args << current;
      current.clear();
      started = false;
    } else {
      current += c;
      started = true;
    }
  }
  if (started) args << current;
  return args;
}
