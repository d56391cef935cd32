#include "platform/KVDesktop.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusArgument>
#include <QDBusVariant>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>
#include <algorithm>
#include <cmath>

#include "platform/KVOwnedProcess.h"
#include "platform/KVX11Root.h"

namespace {

constexpr struct {
  TDesktopKind kind;
  const char* name;
} kKindNames[] = {
    {TDesktopKind::dkGnome, "gnome"}, {TDesktopKind::dkMate, "mate"},
    {TDesktopKind::dkCinnamon, "cinnamon"}, {TDesktopKind::dkKde, "kde"},
    {TDesktopKind::dkXfce, "xfce"}, {TDesktopKind::dkLxde, "lxde"},
    {TDesktopKind::dkLxqt, "lxqt"}, {TDesktopKind::dkSway, "sway"},
    {TDesktopKind::dkWlroots, "wlroots"}, {TDesktopKind::dkX11, "x11"},
    {TDesktopKind::dkNone, "none"},
};

const QString kPcmanfm = QStringLiteral("pcmanfm");
const QString kPcmanfmQt = QStringLiteral("pcmanfm-qt");
const QString kSwaybg = QStringLiteral("swaybg");

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
  // Lubuntu is LXQt since 18.10; on X11 both kinds follow the desktop window that is there.
  if (starts({"lxqt", "lubuntu"})) return TDesktopKind::dkLxqt;
  if (starts({"lxde"})) return TDesktopKind::dkLxde;
  if (starts({"sway"})) return TDesktopKind::dkSway;
  if (starts({"hyprland", "wayfire", "river", "labwc", "niri", "wlroots"})) return TDesktopKind::dkWlroots;
  if (starts({"mate"})) return TDesktopKind::dkMate;
  if (starts({"kde", "plasma"})) return TDesktopKind::dkKde;
  if (starts({"xfce", "xubuntu"})) return TDesktopKind::dkXfce;
  // Desktops built on GNOME's shell settings read the GNOME background keys.
  if (starts({"gnome", "ubuntu", "unity", "budgie", "pantheon", "pop"})) return TDesktopKind::dkGnome;
  return std::nullopt;
}

bool IsWaylandSession(const QProcessEnvironment& env) {
  return !env.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty() ||
         env.value(QStringLiteral("XDG_SESSION_TYPE")).compare(QLatin1String("wayland"),
                                                               Qt::CaseInsensitive) == 0;
}

QString WaylandFailure(const QString& session, const QString& detail = {}) {
  QString message = QStringLiteral("The desktop background cannot be set on this Wayland desktop (%1)")
                        .arg(session.isEmpty() ? QStringLiteral("unknown") : session);
  return message + (detail.isEmpty() ? QString() : QStringLiteral(": ") + detail) + QLatin1Char('.');
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

QString PcmanfmMode(const QString& program, TWallpaperStyle style) {
  const bool qt = program == kPcmanfmQt;
  switch (style) {
    case TWallpaperStyle::wsTiled: return QStringLiteral("tile");
    case TWallpaperStyle::wsStretched: return QStringLiteral("stretch");
    case TWallpaperStyle::wsFit: return QStringLiteral("fit");
    case TWallpaperStyle::wsFill: return qt ? QStringLiteral("zoom") : QStringLiteral("crop");
    // pcmanfm-qt cannot span: each screen is filled instead.
    case TWallpaperStyle::wsSpan: return qt ? QStringLiteral("zoom") : QStringLiteral("screen");
    case TWallpaperStyle::wsCentered: break;
  }
  return QStringLiteral("center");
}

// sway and swaybg cannot span either: each output is filled.
QString SwayMode(TWallpaperStyle style) {
  switch (style) {
    case TWallpaperStyle::wsTiled: return QStringLiteral("tile");
    case TWallpaperStyle::wsStretched: return QStringLiteral("stretch");
    case TWallpaperStyle::wsFit: return QStringLiteral("fit");
    case TWallpaperStyle::wsFill:
    case TWallpaperStyle::wsSpan: return QStringLiteral("fill");
    case TWallpaperStyle::wsCentered: break;
  }
  return QStringLiteral("center");
}

// sway reads a command's path through its parser and word expansion: blanks, quotes,
// backslashes, '$', ';', ',' and the like change or cut it.
bool SwaySafePath(const QString& path) {
  static const QRegularExpression safe(QStringLiteral("^/[A-Za-z0-9/._+@%=:\\x{80}-\\x{10FFFF}-]*$"));
  return safe.match(path).hasMatch();
}

// A line of swaybg's log without its time and source position.
QString SwaybgLogText(const QString& line) {
  static const QRegularExpression prefix(QStringLiteral("^.*?\\[[^\\]]*\\.c:\\d+\\]\\s*"));
  return QString(line).remove(prefix).trimmed();
}

QString SwaybgLoadFailure(const QByteArray& output) {
  for (const QString& line : QString::fromUtf8(output).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
    if (line.contains(QLatin1String("Failed to load"))) return SwaybgLogText(line);
  return {};
}

QString SwaybgLastLine(const QByteArray& output) {
  const QStringList lines = QString::fromUtf8(output).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  return lines.isEmpty() ? QString() : SwaybgLogText(lines.last());
}

// Without an address libdbus would try to launch a bus of its own: that case is settled first.
bool SessionBusReachable(QString* problem) {
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") &&
      (runtime.isEmpty() || !QFileInfo::exists(runtime + QStringLiteral("/bus")))) {
    if (problem) *problem = QStringLiteral("There is no session bus.");
    return false;
  }
  return true;
}

// Whether a name on the session bus has an owner; false without a bus.
bool SessionBusHasOwner(const QString& service, int timeoutMs) {
  if (!SessionBusReachable(nullptr)) return false;
  const QString name = QStringLiteral("kv-desktop-owner");
  bool owned = false;
  {
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
    if (bus.isConnected()) {
      QDBusMessage call = QDBusMessage::createMethodCall(
          QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
          QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
      call << service;
      const QDBusMessage reply = bus.call(call, QDBus::Block, timeoutMs);
      owned = reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
              reply.arguments().first().toBool();
    }
  }
  QDBusConnection::disconnectFromBus(name);
  return owned;
}

QString SettingsProgram(TDesktopKind kind) {
  switch (kind) {
    case TDesktopKind::dkGnome:
    case TDesktopKind::dkMate:
    case TDesktopKind::dkCinnamon: return QStringLiteral("gsettings");
    case TDesktopKind::dkKde: return QStringLiteral("plasma-apply-wallpaperimage");
    case TDesktopKind::dkXfce: return QString();  // its settings daemon, over the session bus
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
    if (!kind) {
      QStringList names;
      for (const auto& k : kKindNames) names << QLatin1String(k.name);
      return {TDesktopKind::dkNone, QStringLiteral("KV_DESKTOP=\"%1\" is not one of %2 or auto.")
                                        .arg(forced, names.join(QLatin1String(", ")))};
    }
    if (*kind == TDesktopKind::dkNone)
      return {TDesktopKind::dkNone,
              QStringLiteral("Setting the desktop background is switched off (KV_DESKTOP=none).")};
    return {*kind, {}};
  }

  const QString current = env.value(QStringLiteral("XDG_CURRENT_DESKTOP"));
  const bool wayland = IsWaylandSession(env);
  std::optional<TDesktopKind> named;
  for (const QString& part : current.split(QLatin1Char(':'), Qt::SkipEmptyParts))
    if ((named = KindOfSessionName(part))) break;
  if (!named) named = KindOfSessionName(env.value(QStringLiteral("DESKTOP_SESSION")));
  if (named) {
    // pcmanfm draws on X11 only; XWayland's root window is not what the compositor shows.
    if (*named == TDesktopKind::dkLxde && wayland)
      return {TDesktopKind::dkNone, WaylandFailure(DesktopSessionName(env))};
    return {*named, {}};
  }
  if (env.value(QStringLiteral("KDE_FULL_SESSION")) == QLatin1String("true"))
    return {TDesktopKind::dkKde, {}};
  if (!env.value(QStringLiteral("GNOME_DESKTOP_SESSION_ID")).isEmpty())
    return {TDesktopKind::dkGnome, {}};
  if (!env.value(QStringLiteral("MATE_DESKTOP_SESSION_ID")).isEmpty())
    return {TDesktopKind::dkMate, {}};

  // The root window of XWayland is not what a Wayland compositor shows.
  if (wayland) {
    if (!env.value(QStringLiteral("SWAYSOCK")).isEmpty()) return {TDesktopKind::dkSway, {}};
    for (const char* socket : {"HYPRLAND_INSTANCE_SIGNATURE", "NIRI_SOCKET", "WAYFIRE_SOCKET"})
      if (!env.value(QLatin1String(socket)).isEmpty()) return {TDesktopKind::dkWlroots, {}};
    return {TDesktopKind::dkNone, WaylandFailure(DesktopSessionName(env))};
  }
  if (!env.value(QStringLiteral("DISPLAY")).isEmpty()) return {TDesktopKind::dkX11, {}};
  return {TDesktopKind::dkNone,
          QStringLiteral("The desktop background cannot be set: there is no graphical session "
                         "(DISPLAY is not set).")};
}

QString DesktopSessionName(const QProcessEnvironment& env) {
  const QString current = env.value(QStringLiteral("XDG_CURRENT_DESKTOP")).trimmed();
  return current.isEmpty() ? env.value(QStringLiteral("DESKTOP_SESSION")).trimmed() : current;
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

namespace {

// The picture placed within target, clipped to it.
void PaintWallpaper(QPainter& p, const QImage& picture, const QRect& target, TWallpaperStyle style) {
  const int sw = target.width(), sh = target.height();
  const int pw = picture.width(), ph = picture.height();
  p.save();
  p.setClipRect(target);
  p.translate(target.topLeft());
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
  p.restore();
}

}  // namespace

QImage ComposeWallpaper(const QImage& picture, QSize screen, TWallpaperStyle style) {
  return ComposeWallpaperOnMonitors(picture, screen, {}, style);
}

QImage ComposeWallpaperOnMonitors(const QImage& picture, QSize screen, const QList<QRect>& monitors,
                                  TWallpaperStyle style) {
  QImage out(screen, QImage::Format_RGB32);
  if (out.isNull()) return out;
  out.fill(Qt::black);
  if (picture.isNull()) return out;
  const QRect whole(QPoint(0, 0), screen);
  QList<QRect> targets;
  for (const QRect& m : monitors)
    if (!(m & whole).isEmpty()) targets << (m & whole);
  if (targets.isEmpty()) targets << whole;
  if (style == TWallpaperStyle::wsSpan) {
    QRect all;
    for (const QRect& t : targets) all |= t;
    targets = {all};
  }
  QPainter p(&out);
  for (const QRect& t : targets) {
    p.fillRect(t, Qt::black);  // a monitor that overlaps another shows only its own placement
    PaintWallpaper(p, picture, t, style);
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

TDesktopBackground::TDesktopBackground() = default;

// Ends the swaybg this object started.
TDesktopBackground::~TDesktopBackground() = default;

qint64 TDesktopBackground::BackgroundProgramPid() const { return swaybg_ ? swaybg_->Pid() : 0; }

TDesktopStatus TDesktopBackground::Apply(const QString& fileName, TWallpaperStyle style, const QImage& Picture) {
  TDesktopStatus st;
  TDesktopKind kind = TDesktopKind::dkNone;
  QString reason;
  const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  if (Kind) {
    kind = *Kind;
    reason = QStringLiteral("Setting the desktop background is switched off.");
  } else {
    const TDesktopDetection d = DetectDesktop(env);
    kind = d.Kind;
    reason = d.Reason;
  }
  if (kind == TDesktopKind::dkNone)
    st = Failure(TDesktopResult::drUnsupported, reason);
  else {
    st = CheckPicture(fileName);
    if (st.Ok()) st = ApplyKind(kind, QFileInfo(fileName).absoluteFilePath(), style, env, Picture);
  }
  st.Repeated = st.SameFailure(last_);
  last_ = st;
  return st;
}

TDesktopStatus TDesktopBackground::ApplyKind(TDesktopKind kind, const QString& fileName,
                                             TWallpaperStyle style, const QProcessEnvironment& env,
                                             const QImage& picture) {
  const QString session = DesktopSessionName(env);
  switch (kind) {
    case TDesktopKind::dkLxqt:
      if (IsWaylandSession(env)) {
        // Its desktop is a layer surface there: nothing to look for but the program itself.
        if (!SessionBusHasOwner(QStringLiteral("org.pcmanfm.PCManFM"), TimeoutMs))
          return Failure(TDesktopResult::drUnsupported,
                         WaylandFailure(session, QStringLiteral("pcmanfm-qt, which draws its desktop, "
                                                                "is not running")));
        return ApplyPcmanfm(kPcmanfmQt, fileName, style);
      }
      return ApplyX11(fileName, style, session, picture);
    case TDesktopKind::dkLxde:
    case TDesktopKind::dkX11: return ApplyX11(fileName, style, session, picture);
    case TDesktopKind::dkSway: {
      const QString socket = env.value(QStringLiteral("SWAYSOCK"));
      if (!socket.isEmpty()) return ApplySway(fileName, style, socket);
      return ApplySwaybg(fileName, style, session);  // sway shows swaybg as the others do
    }
    case TDesktopKind::dkWlroots: return ApplySwaybg(fileName, style, session);
    default: break;
  }
  return ApplyThroughCopy(SettingsProgram(kind), fileName, fileName, [&](const QString& copy) {
    switch (kind) {
      case TDesktopKind::dkKde: return ApplyKde(copy);
      case TDesktopKind::dkXfce: return ApplyXfce(copy, style);
      default: return ApplyGSettings(kind, copy, style);
    }
  });
}

TDesktopStatus TDesktopBackground::ApplyThroughCopy(
    const QString& program, const QString& fileName, const QString& copyBase,
    const std::function<TDesktopStatus(const QString&)>& apply) {
  if (!program.isEmpty() && QStandardPaths::findExecutable(program).isEmpty()) return MissingProgram(program);

  // Desktops ignore a value equal to the current one, and may read the file after this call
  // returns: each apply names a new file, which the next rendering does not overwrite.
  const QString copy = FreshCopyName(copyBase);
  QFile::remove(copy);
  QFile src(fileName);
  if (!src.copy(copy))
    return Failure(TDesktopResult::drFileError,
                   QStringLiteral("The picture cannot be copied to \"%1\": %2").arg(copy, src.errorString()));
  const TDesktopStatus st = apply(copy);
  // On failure both files stay: the desktop may still show the older one.
  if (st.Ok()) QFile::remove(OtherCopyName(copy));
  return st;
}

TDesktopStatus TDesktopBackground::ApplyX11(const QString& fileName, TWallpaperStyle style,
                                            const QString& session, const QImage& picture) {
  // pcmanfm and pcmanfm-qt draw the picture on their own desktop windows, over the root
  // window; any other desktop window makes the root fallback fail with its name.
  if (const auto desktop = FindX11DesktopWindow()) {
    const QString program = desktop->Program.toLower();
    if (program == kPcmanfm || program == kPcmanfmQt) return ApplyPcmanfm(program, fileName, style);
  }
  return SetX11RootPicture(fileName, style, session, picture);
}

TDesktopStatus TDesktopBackground::ApplyPcmanfm(const QString& program, const QString& fileName,
                                                TWallpaperStyle style) {
  // Both hand the request to the running desktop and return at once. (pcmanfm sets the first
  // monitor's desktop only; pcmanfm-qt every screen's.)
  const QString mode = PcmanfmMode(program, style);
  return ApplyThroughCopy(program, fileName, fileName, [&](const QString& copy) {
    return RunDesktopProgram(program,
                             {QStringLiteral("--set-wallpaper=") + copy,
                              QStringLiteral("--wallpaper-mode=") + mode},
                             TimeoutMs);
  });
}

TDesktopStatus TDesktopBackground::ApplySway(const QString& fileName, TWallpaperStyle style,
                                             const QString& socket) {
  QString base = fileName;
  if (!SwaySafePath(fileName)) {
    // A path sway would misread is handed over as a copy in the session's runtime folder.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString name = QFileInfo(fileName).fileName();
    base = runtime + QStringLiteral("/mirova-calendar/") +
           (SwaySafePath(QLatin1Char('/') + name) ? name : QStringLiteral("kvmir.bmp"));
    if (runtime.isEmpty() || !SwaySafePath(base) || !QDir().mkpath(QFileInfo(base).path()))
      return Failure(TDesktopResult::drFileError,
                     QStringLiteral("sway cannot read the picture's path \"%1\", and there is no "
                                    "runtime folder (XDG_RUNTIME_DIR) for a copy.")
                         .arg(fileName));
  }
  const QString program = QStringLiteral("swaymsg");
  return ApplyThroughCopy(program, fileName, base, [&](const QString& copy) {
    return RunDesktopProgram(program,
                             {QStringLiteral("-s"), socket, QStringLiteral("output"), QStringLiteral("*"),
                              QStringLiteral("bg"), copy, SwayMode(style)},
                             TimeoutMs);
  });
}

TDesktopStatus TDesktopBackground::ApplySwaybg(const QString& fileName, TWallpaperStyle style,
                                               const QString& session) {
  const QString path = QStandardPaths::findExecutable(kSwaybg);
  if (path.isEmpty())
    return Failure(TDesktopResult::drUnsupported,
                   WaylandFailure(session, QStringLiteral("it needs the program \"swaybg\", which is "
                                                          "not installed")));
  return ApplyThroughCopy(kSwaybg, fileName, fileName, [&](const QString& copy) {
    auto next = std::make_unique<TOwnedProcess>();
    QString error;
    if (!next->Start(path, {QStringLiteral("-o"), QStringLiteral("*"), QStringLiteral("-i"), copy,
                            QStringLiteral("-m"), SwayMode(style)},
                     &error))
      return Failure(TDesktopResult::drProgramFailed,
                     QStringLiteral("\"swaybg\" could not be started: %1").arg(error));
    // A compositor it cannot use ends it at once; a picture it cannot read it reports and
    // stays. Either shows within the settle time, and the desktop keeps the older picture.
    QElapsedTimer clock;
    clock.start();
    for (;;) {
      const bool running = next->Running();
      const QString loadFailure = SwaybgLoadFailure(next->Output());
      if (!loadFailure.isEmpty()) {
        next->Stop();
        return Failure(TDesktopResult::drProgramFailed,
                       QStringLiteral("\"swaybg\" cannot show the picture: %1").arg(loadFailure));
      }
      if (!running) {
        QString message =
            next->ExitStatus() < 0
                ? QStringLiteral("\"swaybg\" crashed.")
                : QStringLiteral("\"swaybg\" ended at once (exit code %1).").arg(next->ExitStatus());
        const QString detail = SwaybgLastLine(next->Output());
        if (!detail.isEmpty()) message += QLatin1Char(' ') + detail;
        return Failure(TDesktopResult::drProgramFailed, message);
      }
      if (clock.elapsed() >= SwaybgSettleMs) break;
      QThread::msleep(5);
    }
    // The new one has drawn by now; the old one goes only then, so that the desktop never
    // shows bare in between.
    swaybg_ = std::move(next);
    return TDesktopStatus{};
  });
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
  // The settings daemon is asked over the session bus: one xfconf-query run per property took
  // longer than an apply may on a desktop with several monitors and workspaces.
  QString problem;
  if (!SessionBusReachable(&problem))
    return Failure(TDesktopResult::drUnsupported,
                   QStringLiteral("The XFCE settings cannot be reached. %1").arg(problem));
  const QString channel = QStringLiteral("xfce4-desktop");
  const QString connection = QStringLiteral("kv-xfconf");
  TDesktopStatus st;
  {
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, connection);
    auto call = [&](const QString& method, const QVariantList& args) {
      QDBusMessage m = QDBusMessage::createMethodCall(QStringLiteral("org.xfce.Xfconf"),
                                                      QStringLiteral("/org/xfce/Xfconf"),
                                                      QStringLiteral("org.xfce.Xfconf"), method);
      m.setArguments(args);
      return bus.call(m, QDBus::Block, TimeoutMs);
    };
    if (!bus.isConnected()) {
      st = Failure(TDesktopResult::drUnsupported,
                   QStringLiteral("The XFCE settings cannot be reached: %1").arg(bus.lastError().message()));
    } else {
      const QDBusMessage all = call(QStringLiteral("GetAllProperties"), {channel, QStringLiteral("/backdrop")});
      // Every monitor and workspace has its own picture; xfdesktop creates these properties.
      const QString imageKey = QStringLiteral("/last-image");
      QStringList props;
      if (all.type() == QDBusMessage::ReplyMessage && !all.arguments().isEmpty()) {
        const QVariantMap values = qdbus_cast<QVariantMap>(all.arguments().first());
        for (auto it = values.cbegin(); it != values.cend(); ++it)
          if (it.key().endsWith(imageKey)) props << it.key();
      }
      if (all.type() == QDBusMessage::ErrorMessage &&
          !all.errorName().endsWith(QLatin1String("PropertyNotFound"))) {
        st = Failure(TDesktopResult::drProgramFailed,
                     QStringLiteral("The XFCE settings service does not answer: %1").arg(all.errorMessage()));
      } else if (props.isEmpty()) {
        st = Failure(TDesktopResult::drUnsupported,
                     QStringLiteral("The XFCE desktop has no background properties to set "
                                    "(channel xfce4-desktop)."));
      }
      const QDBusVariant styleValue{QVariant(int(XfceImageStyle(style)))};
      const QDBusVariant fileValue{QVariant(file)};
      for (const QString& prop : props) {
        if (!st.Ok()) break;
        const QString styleProp = prop.chopped(imageKey.size()) + QStringLiteral("/image-style");
        for (const auto& [name, value] : {std::pair{styleProp, styleValue}, std::pair{prop, fileValue}}) {
          const QDBusMessage reply =
              call(QStringLiteral("SetProperty"), {channel, name, QVariant::fromValue(value)});
          if (reply.type() != QDBusMessage::ReplyMessage) {
            st = Failure(TDesktopResult::drProgramFailed,
                         QStringLiteral("The XFCE setting %1 cannot be changed: %2")
                             .arg(name, reply.errorMessage()));
            break;
          }
        }
      }
    }
  }
  QDBusConnection::disconnectFromBus(connection);
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

  QString noBus;
  if (!SessionBusReachable(&noBus)) {
    problems << noBus;
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
