#include "platform/KVDesktop.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <algorithm>
#include <cmath>

#include "platform/KVX11Root.h"

namespace {

constexpr struct {
  TDesktopKind kind;
  const char* name;
} kKindNames[] = {
    {TDesktopKind::dkGnome, "gnome"}, {TDesktopKind::dkMate, "mate"},
    {TDesktopKind::dkCinnamon, "cinnamon"}, {TDesktopKind::dkKde, "kde"},
    {TDesktopKind::dkXfce, "xfce"}, {TDesktopKind::dkX11, "x11"},
    {TDesktopKind::dkNone, "none"},
};

TDesktopStatus Failure(TDesktopResult result, const QString& message) {
  TDesktopStatus st;
  st.Result = result;
  st.Message = message;
  return st;
}

// A desktop named by XDG_CURRENT_DESKTOP or DESKTOP_SESSION ("ubuntu:GNOME", "plasmawayland",
// "X-Cinnamon", "xubuntu" ...).
std::optional<TDesktopKind> KindOfSessionName(QString name) {
  name = name.trimmed().toLower();
  if (name.startsWith(QLatin1String("x-"))) name = name.mid(2);
  if (name.isEmpty()) return std::nullopt;
  auto starts = [&](std::initializer_list<const char*> prefixes) {
    return std::any_of(prefixes.begin(), prefixes.end(),
                       [&](const char* p) { return name.startsWith(QLatin1String(p)); });
  };
  if (starts({"cinnamon"})) return TDesktopKind::dkCinnamon;
  if (starts({"mate"})) return TDesktopKind::dkMate;
  if (starts({"kde", "plasma"})) return TDesktopKind::dkKde;
  if (starts({"xfce", "xubuntu"})) return TDesktopKind::dkXfce;
  // Desktops built on GNOME's shell settings read the GNOME background keys.
  if (starts({"gnome", "ubuntu", "unity", "budgie", "pantheon", "pop"})) return TDesktopKind::dkGnome;
  return std::nullopt;
}

QString FirstErrorLine(const QByteArray& err) {
  const QStringList lines = QString::fromLocal8Bit(err).split('\n', Qt::SkipEmptyParts);
  return lines.isEmpty() ? QString() : lines.first().trimmed();
}

// A GVariant string literal, as gsettings parses its value argument.
QString GVariantString(const QString& s) {
  QString out = s;
  out.replace(QLatin1String("\\"), QLatin1String("\\\\"));
  out.replace(QLatin1String("'"), QLatin1String("\\'"));
  return QLatin1Char('\'') + out + QLatin1Char('\'');
}

QString FileUri(const QString& path) {
  return QString::fromLatin1(QUrl::fromLocalFile(path).toEncoded(QUrl::FullyEncoded));
}

QString GSettingsOption(TWallpaperStyle style) {
  switch (style) {
    case TWallpaperStyle::wsTiled: return QStringLiteral("wallpaper");
    case TWallpaperStyle::wsStretched: return QStringLiteral("stretched");
    case TWallpaperStyle::wsFit: return QStringLiteral("scaled");
    case TWallpaperStyle::wsFill: return QStringLiteral("zoom");
    case TWallpaperStyle::wsSpan: return QStringLiteral("spanned");
    case TWallpaperStyle::wsCentered: break;
  }
  return QStringLiteral("centered");
}

int XfceImageStyle(TWallpaperStyle style) {
  switch (style) {
    case TWallpaperStyle::wsTiled: return 2;
    case TWallpaperStyle::wsStretched: return 3;
    case TWallpaperStyle::wsFit: return 4;
    case TWallpaperStyle::wsFill: return 5;
    case TWallpaperStyle::wsSpan: return 6;
    case TWallpaperStyle::wsCentered: break;
  }
  return 1;
}

QString SettingsProgram(TDesktopKind kind) {
  switch (kind) {
    case TDesktopKind::dkGnome:
    case TDesktopKind::dkMate:
    case TDesktopKind::dkCinnamon: return QStringLiteral("gsettings");
    case TDesktopKind::dkKde: return QStringLiteral("plasma-apply-wallpaperimage");
    case TDesktopKind::dkXfce: return QStringLiteral("xfconf-query");
    default: return QString();
  }
}

TDesktopStatus MissingProgram(const QString& program) {
  return Failure(TDesktopResult::drProgramMissing,
                 QStringLiteral("The program \"%1\" was not found on the PATH.").arg(program));
}

TDesktopStatus CheckPicture(const QString& fileName) {
  const QFileInfo fi(fileName);
  if (fileName.isEmpty() || !fi.isFile())
    return Failure(TDesktopResult::drBadPicture,
                   QStringLiteral("The picture file \"%1\" does not exist.").arg(fileName));
  QImageReader reader(fileName);
  if (!fi.isReadable() || !reader.canRead())
    return Failure(TDesktopResult::drBadPicture,
                   QStringLiteral("The picture file \"%1\" cannot be read: %2")
                       .arg(fileName, reader.errorString()));
  return {};
}

QString OtherCopyName(const QString& copy) {
  const QFileInfo fi(copy);
  QString base = fi.completeBaseName();
  base.back() = base.back() == QLatin1Char('a') ? QLatin1Char('b') : QLatin1Char('a');
  const QString suffix = fi.suffix().isEmpty() ? QString() : QLatin1Char('.') + fi.suffix();
  return fi.path() + QLatin1Char('/') + base + suffix;
}

}  // namespace

QString DesktopKindName(TDesktopKind kind) {
  for (const auto& k : kKindNames)
    if (k.kind == kind) return QLatin1String(k.name);
  return QStringLiteral("none");
}

std::optional<TDesktopKind> DesktopKindFromName(const QString& name) {
  const QString n = name.trimmed().toLower();
  for (const auto& k : kKindNames)
    if (n == QLatin1String(k.name)) return k.kind;
  return std::nullopt;
}

TDesktopDetection DetectDesktop(const QProcessEnvironment& env) {
  const QString forced = env.value(QStringLiteral("KV_DESKTOP")).trimmed();
  if (!forced.isEmpty() && forced.compare(QLatin1String("auto"), Qt::CaseInsensitive) != 0) {
    const auto kind = DesktopKindFromName(forced);
    if (!kind)
      return {TDesktopKind::dkNone,
              QStringLiteral("KV_DESKTOP=\"%1\" is not one of gnome, mate, cinnamon, kde, xfce, "
                             "x11, none or auto.")
                  .arg(forced)};
    if (*kind == TDesktopKind::dkNone)
      return {TDesktopKind::dkNone,
              QStringLiteral("Setting the desktop background is switched off (KV_DESKTOP=none).")};
    return {*kind, {}};
  }

  const QString current = env.value(QStringLiteral("XDG_CURRENT_DESKTOP"));
  for (const QString& part : current.split(QLatin1Char(':'), Qt::SkipEmptyParts))
    if (auto kind = KindOfSessionName(part)) return {*kind, {}};
  if (auto kind = KindOfSessionName(env.value(QStringLiteral("DESKTOP_SESSION")))) return {*kind, {}};
  if (env.value(QStringLiteral("KDE_FULL_SESSION")) == QLatin1String("true"))
    return {TDesktopKind::dkKde, {}};
  if (!env.value(QStringLiteral("GNOME_DESKTOP_SESSION_ID")).isEmpty())
    return {TDesktopKind::dkGnome, {}};
  if (!env.value(QStringLiteral("MATE_DESKTOP_SESSION_ID")).isEmpty())
    return {TDesktopKind::dkMate, {}};

  // The root window of XWayland is not what a Wayland compositor shows.
  if (!env.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty() ||
      env.value(QStringLiteral("XDG_SESSION_TYPE")).compare(QLatin1String("wayland"),
                                                            Qt::CaseInsensitive) == 0) {
    const QString name = current.isEmpty() ? env.value(QStringLiteral("DESKTOP_SESSION")) : current;
    return {TDesktopKind::dkNone,
            QStringLiteral("The desktop background cannot be set on this Wayland desktop (%1).")
                .arg(name.isEmpty() ? QStringLiteral("unknown") : name)};
  }
  if (!env.value(QStringLiteral("DISPLAY")).isEmpty()) return {TDesktopKind::dkX11, {}};
  return {TDesktopKind::dkNone,
          QStringLiteral("The desktop background cannot be set: there is no graphical session "
                         "(DISPLAY is not set).")};
}

TDesktopStatus RunDesktopProgram(const QString& program, const QStringList& arguments,
                                 int timeoutMs, QByteArray* output) {
  const QString path = QStandardPaths::findExecutable(program);
  if (path.isEmpty()) return MissingProgram(program);
  QProcess proc;
  proc.setProgram(path);
  proc.setArguments(arguments);
  proc.setStandardInputFile(QProcess::nullDevice());
  proc.start();
  if (!proc.waitForStarted(timeoutMs))
    return Failure(TDesktopResult::drProgramFailed,
                   QStringLiteral("\"%1\" could not be started: %2").arg(program, proc.errorString()));
  if (!proc.waitForFinished(timeoutMs)) {
    proc.kill();
    proc.waitForFinished(1000);
    return Failure(TDesktopResult::drTimeout,
                   QStringLiteral("\"%1\" did not finish within %2 ms and was stopped.")
                       .arg(program)
                       .arg(timeoutMs));
  }
  if (proc.exitStatus() != QProcess::NormalExit || proc.exitCode() != 0) {
    const QString detail = FirstErrorLine(proc.readAllStandardError());
    QString message = proc.exitStatus() != QProcess::NormalExit
                          ? QStringLiteral("\"%1\" crashed.").arg(program)
                          : QStringLiteral("\"%1\" failed (exit code %2).").arg(program).arg(proc.exitCode());
    if (!detail.isEmpty()) message += QLatin1Char(' ') + detail;
    return Failure(TDesktopResult::drProgramFailed, message);
  }
  if (output) *output = proc.readAllStandardOutput();
  return {};
}

QImage ComposeWallpaper(const QImage& picture, QSize screen, TWallpaperStyle style) {
  QImage out(screen, QImage::Format_RGB32);
  if (out.isNull()) return out;
  out.fill(Qt::black);
  if (picture.isNull()) return out;
  const int sw = screen.width(), sh = screen.height();
  const int pw = picture.width(), ph = picture.height();
  QPainter p(&out);
  switch (style) {
    case TWallpaperStyle::wsCentered:
      p.drawImage(QPoint((sw - pw) / 2, (sh - ph) / 2), picture);
      break;
    case TWallpaperStyle::wsTiled:
      for (int y = 0; y < sh; y += ph)
        for (int x = 0; x < sw; x += pw) p.drawImage(QPoint(x, y), picture);
      break;
    case TWallpaperStyle::wsStretched:
      p.setRenderHint(QPainter::SmoothPixmapTransform);
      p.drawImage(QRect(0, 0, sw, sh), picture);
      break;
    case TWallpaperStyle::wsFit:
    case TWallpaperStyle::wsFill:
    case TWallpaperStyle::wsSpan: {
      const double sx = double(sw) / pw, sy = double(sh) / ph;
      const double scale = style == TWallpaperStyle::wsFit ? std::min(sx, sy) : std::max(sx, sy);
      const int w = int(std::nearbyint(pw * scale)), h = int(std::nearbyint(ph * scale));
      p.setRenderHint(QPainter::SmoothPixmapTransform);
      p.drawImage(QRect((sw - w) / 2, (sh - h) / 2, w, h), picture);
      break;
    }
  }
  return out;
}

QString TDesktopBackground::FreshCopyName(const QString& fileName) {
  const QFileInfo fi(fileName);
  const QString suffix = fi.suffix().isEmpty() ? QString() : QLatin1Char('.') + fi.suffix();
  const QString stem = fi.path() + QLatin1Char('/') + fi.completeBaseName();
  const QFileInfo a(stem + QLatin1String("-a") + suffix), b(stem + QLatin1String("-b") + suffix);
  if (!a.exists()) return a.filePath();
  if (!b.exists()) return b.filePath();
  // Both left over from a failed attempt: the newer one is likelier to be in use.
  return a.lastModified() <= b.lastModified() ? a.filePath() : b.filePath();
}

TDesktopStatus TDesktopBackground::Apply(const QString& fileName, TWallpaperStyle style) {
  TDesktopStatus st;
  TDesktopKind kind = TDesktopKind::dkNone;
  QString reason;
  if (Kind) {
    kind = *Kind;
    reason = QStringLiteral("Setting the desktop background is switched off.");
  } else {
    const TDesktopDetection d = DetectDesktop(QProcessEnvironment::systemEnvironment());
    kind = d.Kind;
    reason = d.Reason;
  }
  if (kind == TDesktopKind::dkNone)
    st = Failure(TDesktopResult::drUnsupported, reason);
  else {
    st = CheckPicture(fileName);
    if (st.Ok()) st = ApplyKind(kind, QFileInfo(fileName).absoluteFilePath(), style);
  }
  st.Repeated = st.SameFailure(last_);
  last_ = st;
  return st;
}

TDesktopStatus TDesktopBackground::ApplyKind(TDesktopKind kind, const QString& fileName,
                                             TWallpaperStyle style) {
  if (kind == TDesktopKind::dkX11) return SetX11RootPicture(fileName, style);

  const QString program = SettingsProgram(kind);
  if (QStandardPaths::findExecutable(program).isEmpty()) return MissingProgram(program);

  // These desktops ignore a value equal to the current one, so each apply names a new file.
  const QString copy = FreshCopyName(fileName);
  QFile::remove(copy);
  QFile src(fileName);
  if (!src.copy(copy))
    return Failure(TDesktopResult::drFileError,
                   QStringLiteral("The picture cannot be copied to \"%1\": %2").arg(copy, src.errorString()));

  TDesktopStatus st;
  switch (kind) {
    case TDesktopKind::dkKde: st = ApplyKde(copy); break;
    case TDesktopKind::dkXfce: st = ApplyXfce(copy, style); break;
    default: st = ApplyGSettings(kind, copy, style); break;
  }
  // On failure both files stay: the desktop may still show the older one.
  if (st.Ok()) QFile::remove(OtherCopyName(copy));
  return st;
}

TDesktopStatus TDesktopBackground::ApplyGSettings(TDesktopKind kind, const QString& file,
                                                  TWallpaperStyle style) {
  const QString program = QStringLiteral("gsettings");
  auto set = [&](const QString& schema, const QString& key, const QString& value) {
    return RunDesktopProgram(program, {QStringLiteral("set"), schema, key, GVariantString(value)},
                             TimeoutMs);
  };
  const QString option = GSettingsOption(style);
  TDesktopStatus st;
  switch (kind) {
    case TDesktopKind::dkMate: {
      const QString schema = QStringLiteral("org.mate.background");
      st = set(schema, QStringLiteral("picture-options"), option);
      if (st.Ok()) st = set(schema, QStringLiteral("picture-filename"), file);
      break;
    }
    case TDesktopKind::dkCinnamon: {
      const QString schema = QStringLiteral("org.cinnamon.desktop.background");
      st = set(schema, QStringLiteral("picture-options"), option);
      if (st.Ok()) st = set(schema, QStringLiteral("picture-uri"), FileUri(file));
      break;
    }
    default: {
      const QString schema = QStringLiteral("org.gnome.desktop.background");
      st = set(schema, QStringLiteral("picture-options"), option);
      if (st.Ok()) st = set(schema, QStringLiteral("picture-uri"), FileUri(file));
      // GNOME releases before 42 have no dark variant; the light one is set already.
      if (st.Ok()) set(schema, QStringLiteral("picture-uri-dark"), FileUri(file));
      break;
    }
  }
  return st;
}

TDesktopStatus TDesktopBackground::ApplyKde(const QString& file) {
  return RunDesktopProgram(QStringLiteral("plasma-apply-wallpaperimage"), {file}, TimeoutMs);
}

TDesktopStatus TDesktopBackground::ApplyXfce(const QString& file, TWallpaperStyle style) {
  const QString program = QStringLiteral("xfconf-query");
  const QString channel = QStringLiteral("xfce4-desktop");
  QByteArray list;
  TDesktopStatus st = RunDesktopProgram(program, {QStringLiteral("-c"), channel, QStringLiteral("-l")},
                                        TimeoutMs, &list);
  if (!st.Ok()) return st;
  // Every monitor and workspace has its own picture; xfdesktop creates these properties.
  const QString imageKey = QStringLiteral("/last-image");
  QStringList props;
  for (const QString& line : QString::fromUtf8(list).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
    const QString prop = line.trimmed();
    if (prop.startsWith(QLatin1String("/backdrop/")) && prop.endsWith(imageKey)) props << prop;
  }
  if (props.isEmpty())
    return Failure(TDesktopResult::drUnsupported,
                   QStringLiteral("The XFCE desktop has no background properties to set "
                                  "(channel xfce4-desktop)."));
  const QString styleValue = QString::number(XfceImageStyle(style));
  for (const QString& prop : props) {
    const QString styleProp = prop.chopped(imageKey.size()) + QStringLiteral("/image-style");
    st = RunDesktopProgram(program,
                           {QStringLiteral("-c"), channel, QStringLiteral("-p"), styleProp,
                            QStringLiteral("-n"), QStringLiteral("-t"), QStringLiteral("int"),
                            QStringLiteral("-s"), styleValue},
                           TimeoutMs);
    if (st.Ok())
      st = RunDesktopProgram(
          program, {QStringLiteral("-c"), channel, QStringLiteral("-p"), prop, QStringLiteral("-s"), file},
          TimeoutMs);
    if (!st.Ok()) return st;
  }
  return st;
}

TDesktopStatus ActivateScreenSaver(int timeoutMs) {
  QStringList problems;
  const QString program = QStringLiteral("xdg-screensaver");
  if (!QStandardPaths::findExecutable(program).isEmpty()) {
    const TDesktopStatus st = RunDesktopProgram(program, {QStringLiteral("activate")}, timeoutMs);
    if (st.Ok()) return st;
    problems << st.Message;
  } else {
    problems << MissingProgram(program).Message;
  }

  // Without an address libdbus would try to launch a bus of its own.
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") &&
      (runtime.isEmpty() || !QFileInfo::exists(runtime + QStringLiteral("/bus")))) {
    problems << QStringLiteral("There is no session bus.");
  } else {
    const QString name = QStringLiteral("kv-screensaver");
    bool done = false;
    {
      QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
      if (!bus.isConnected()) {
        problems << QStringLiteral("The session bus cannot be reached: %1").arg(bus.lastError().message());
      } else {
        QString error;
        for (const char* path : {"/org/freedesktop/ScreenSaver", "/ScreenSaver"}) {
          QDBusMessage call = QDBusMessage::createMethodCall(
              QStringLiteral("org.freedesktop.ScreenSaver"), QLatin1String(path),
              QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("SetActive"));
          call << true;
          const QDBusMessage reply = bus.call(call, QDBus::Block, timeoutMs);
          if (reply.type() == QDBusMessage::ReplyMessage &&
              (reply.arguments().isEmpty() || reply.arguments().first().toBool())) {
            done = true;
            break;
          }
          error = reply.type() == QDBusMessage::ErrorMessage
                      ? reply.errorMessage()
                      : QStringLiteral("the screen saver service declined");
        }
        if (!done) problems << QStringLiteral("The ScreenSaver service failed: %1").arg(error);
      }
    }
    QDBusConnection::disconnectFromBus(name);
    if (done) return {};
  }
  return Failure(TDesktopResult::drUnsupported,
                 QStringLiteral("The screen saver cannot be started. %1").arg(problems.join(QLatin1Char(' '))));
}
