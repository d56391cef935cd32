#pragma once
// Making a picture file the desktop background on the Linux desktops, and starting the screen
// saver. Programs are run with argument vectors and a timeout, never through a shell.
#include <QImage>
#include <QProcessEnvironment>
#include <QSize>
#include <QString>
#include <QStringList>
#include <optional>

enum class TDesktopKind { dkNone, dkGnome, dkMate, dkCinnamon, dkKde, dkXfce, dkX11 };

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

// "gnome", "mate", "cinnamon", "kde", "xfce", "x11", "none".
QString DesktopKindName(TDesktopKind kind);
std::optional<TDesktopKind> DesktopKindFromName(const QString& name);

struct TDesktopDetection {
  TDesktopKind Kind = TDesktopKind::dkNone;
  QString Reason;  // why nothing can be set, when Kind is dkNone
};

// KV_DESKTOP overrides; else XDG_CURRENT_DESKTOP, DESKTOP_SESSION and the session variables;
// else the X11 root window when an X display (and no Wayland session) is there.
TDesktopDetection DetectDesktop(const QProcessEnvironment& env);

// Runs a program found on the PATH with its arguments; kills it after timeoutMs. The standard
// output goes to *output when given.
TDesktopStatus RunDesktopProgram(const QString& program, const QStringList& arguments,
                                 int timeoutMs, QByteArray* output = nullptr);

// The picture placed on a screen of the given size (black where it does not reach).
QImage ComposeWallpaper(const QImage& picture, QSize screen, TWallpaperStyle style);

// Sets the background of one desktop. Keeps the last status to tell a repeated failure.
class TDesktopBackground {
 public:
  // The desktop to use; detected from the environment on every Apply when unset.
  std::optional<TDesktopKind> Kind;
  int TimeoutMs = 5000;

  TDesktopStatus Apply(const QString& fileName, TWallpaperStyle style);
  const TDesktopStatus& LastStatus() const { return last_; }

  // The fresh copy of fileName for a desktop that ignores an unchanged path: "<name>-a.<ext>"
  // or "<name>-b.<ext>" beside it, whichever is not the one in use.
  static QString FreshCopyName(const QString& fileName);

 private:
  TDesktopStatus ApplyKind(TDesktopKind kind, const QString& fileName, TWallpaperStyle style);
  TDesktopStatus ApplyGSettings(TDesktopKind kind, const QString& file, TWallpaperStyle style);
  TDesktopStatus ApplyKde(const QString& file);
  TDesktopStatus ApplyXfce(const QString& file, TWallpaperStyle style);

  TDesktopStatus last_;
};

// Starts the screen saver now: xdg-screensaver, else the session bus's ScreenSaver service.
TDesktopStatus ActivateScreenSaver(int timeoutMs = 5000);
