#pragma once
// Making a picture file the desktop background on the Linux desktops, and starting the screen
// saver. Programs are run with argument vectors and a timeout, never through a shell.
#include <QImage>
#include <QList>
#include <QProcessEnvironment>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class TOwnedProcess;

// dkLxde and dkLxqt: pcmanfm's or pcmanfm-qt's desktop window; dkSway: sway's own command;
// dkWlroots: the other compositors with the layer-shell protocol, through swaybg.
enum class TDesktopKind {
  dkNone, dkGnome, dkMate, dkCinnamon, dkKde, dkXfce, dkLxde, dkLxqt, dkSway, dkWlroots, dkX11
};

// How a picture covers the screen.
enum class TWallpaperStyle { wsCentered, wsTiled, wsStretched, wsFit, wsFill, wsSpan };

enum class TDesktopResult {
  drOk,
  drUnsupported,     // no desktop we can talk to (unknown Wayland compositor, no display, switched off)
  drBadPicture,      // the picture file is missing, unreadable or not a picture
  drFileError,       // the fresh copy for the desktop could not be written
  drProgramMissing,  // the desktop's settings program is not on the PATH
  drProgramFailed,   // it ran and reported failure
  drTimeout,         // it did not finish in time and was killed
  drX11Error         // the X server refused the root picture
};

struct TDesktopStatus {
  TDesktopResult Result = TDesktopResult::drOk;
  QString Message;
  // A failure equal to the previous attempt's failure: the caller reports it once, not per tick.
  bool Repeated = false;

  bool Ok() const { return Result == TDesktopResult::drOk; }
  bool SameFailure(const TDesktopStatus& o) const {
    return !Ok() && Result == o.Result && Message == o.Message;
  }
};

// "gnome", "mate", "cinnamon", "kde", "xfce", "lxde", "lxqt", "sway", "wlroots", "x11", "none".
QString DesktopKindName(TDesktopKind kind);
std::optional<TDesktopKind> DesktopKindFromName(const QString& name);

struct TDesktopDetection {
  TDesktopKind Kind = TDesktopKind::dkNone;
  QString Reason;  // why nothing can be set, when Kind is dkNone
};

// The session's own name for messages: XDG_CURRENT_DESKTOP, else DESKTOP_SESSION.
QString DesktopSessionName(const QProcessEnvironment& env);

// KV_DESKTOP overrides; else XDG_CURRENT_DESKTOP, DESKTOP_SESSION and the session variables
// (in a Wayland session also the compositors' sockets: SWAYSOCK, Hyprland's, niri's, wayfire's);
// else the X11 root window when an X display (and no Wayland session) is there.
TDesktopDetection DetectDesktop(const QProcessEnvironment& env);

// Runs a program found on the PATH with its arguments; kills it after timeoutMs. The standard
// output goes to *output when given.
TDesktopStatus RunDesktopProgram(const QString& program, const QStringList& arguments,
                                 int timeoutMs, QByteArray* output = nullptr);

// The picture placed on a screen of the given size (black where it does not reach).
QImage ComposeWallpaper(const QImage& picture, QSize screen, TWallpaperStyle style);
// The picture placed on each monitor (rectangles within the screen) as a wallpaper setter does;
// wsSpan places it once across all of them. No monitors: the whole screen is one.
QImage ComposeWallpaperOnMonitors(const QImage& picture, QSize screen, const QList<QRect>& monitors,
                                  TWallpaperStyle style);

// Sets the background of one desktop. Keeps the last status to tell a repeated failure. On the
// compositors served through swaybg it owns that program: each apply starts a new one, which
// replaces the one before, and the last one ends with this object (or with the process).
class TDesktopBackground {
 public:
  TDesktopBackground();
  ~TDesktopBackground();
  TDesktopBackground(const TDesktopBackground&) = delete;
  TDesktopBackground& operator=(const TDesktopBackground&) = delete;

  // The desktop to use; detected from the environment on every Apply when unset.
  std::optional<TDesktopKind> Kind;
  int TimeoutMs = 5000;
  // swaybg says nothing once it has drawn: a new one that neither ended nor reported a bad
  // picture within this time replaces the old one.
  int SwaybgSettleMs = 120;

  // Picture: the file's picture, when the caller has it in memory; the root window of a bare X11
  // session takes it from there instead of reading the file again.
  TDesktopStatus Apply(const QString& fileName, TWallpaperStyle style, const QImage& Picture = QImage());
  const TDesktopStatus& LastStatus() const { return last_; }
  // The swaybg this object keeps running; 0 when none.
  qint64 BackgroundProgramPid() const;

  // The fresh copy of fileName for a desktop that ignores an unchanged path: "<name>-a.<ext>"
  // or "<name>-b.<ext>" beside it, whichever is not the one in use.
  static QString FreshCopyName(const QString& fileName);

 private:
  TDesktopStatus ApplyKind(TDesktopKind kind, const QString& fileName, TWallpaperStyle style,
                           const QProcessEnvironment& env, const QImage& picture);
  TDesktopStatus ApplyX11(const QString& fileName, TWallpaperStyle style, const QString& session,
                          const QImage& picture);
  TDesktopStatus ApplyPcmanfm(const QString& program, const QString& fileName, TWallpaperStyle style);
  TDesktopStatus ApplySway(const QString& fileName, TWallpaperStyle style, const QString& socket);
  TDesktopStatus ApplySwaybg(const QString& fileName, TWallpaperStyle style, const QString& session);
  TDesktopStatus ApplyThroughCopy(const QString& program, const QString& fileName,
                                  const QString& copyBase,
                                  const std::function<TDesktopStatus(const QString&)>& apply);
  TDesktopStatus ApplyGSettings(TDesktopKind kind, const QString& file, TWallpaperStyle style);
  TDesktopStatus ApplyKde(const QString& file);
  TDesktopStatus ApplyXfce(const QString& file, TWallpaperStyle style);

  TDesktopStatus last_;
  std::unique_ptr<TOwnedProcess> swaybg_;
};

// Starts the screen saver now: xdg-screensaver, else the session bus's ScreenSaver service.
TDesktopStatus ActivateScreenSaver(int timeoutMs = 5000);
