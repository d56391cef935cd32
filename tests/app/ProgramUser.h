#pragma once
// The real program used as a user uses it, on a 1920 x 1080 X server of the test's own without a
// window manager: driven with the mouse and the keyboard (xdotool), checked by what the user
// would see: the windows on the screen, the files in the program folder, the stored settings.
//
// Without a window manager every window stays where the program puts it: the settings window at
// the top left, dialogs centred. The positions below are those of the settings window's controls
// at a scale of 100 %.
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include "tests/app/MirovaProgram.h"

namespace kvtest {

inline const QSize kUserScreen(1920, 1080);
// Message boxes and the full-screen view carry the program's display name.
inline const QString kBoxTitle = QStringLiteral("Mirova Calendar");

// The settings window's pages and OK.
enum TPage { pgCover, pgDiary, pgImages, pgStyle, pgOptions, pgSpecial, pgHelp, pgAbout };
inline const int kTabX[] = {38, 96, 158, 247, 340, 409, 467, 525};
inline const QPoint kOk(590, 459);

inline QImage Rgb(const QImage& image) { return image.convertToFormat(QImage::Format_RGB32); }

// The share of pixels (every fourth in each direction) that differ by more than a few steps; all
// when the pictures differ in size.
inline double DifferentShare(const QImage& a, const QImage& b, QRect area = {}) {
  if (a.size() != b.size()) return 1;
  return 1 - ShareWithin(a, b, area, 4, 6);
}

class TProgramUser : public TProgramFixture {
 protected:
  TProgramUser() : TProgramFixture(kUserScreen) {}
  QStringList Windows(const QString& title) { return VisibleWindowIds(env, title); }
  QRect Geometry(const QString& id) { return WindowGeometry(env, id); }
  // The frame of the first visible window with this title once it shows (empty when none does).
  QRect WaitForWindow(const QString& title, int ms = 10000) {
    QRect r;
    WaitUntil([&] {
      const QStringList ids = Windows(title);
      for (const QString& id : ids) {
        r = Geometry(id);
        if (r.width() > 0 && r.size() != kUserScreen) return true;
      }
      return false;
    }, ms);
    return r;
  }
  // The message boxes on the screen (the full-screen view has the same title and the screen's size).
  int MessageBoxes() {
    int n = 0;
    for (const QString& id : Windows(kBoxTitle))
      if (Geometry(id).size() != kUserScreen) ++n;
    return n;
  }
  // The full-screen view: the program's window as large as the screen.
  bool FullScreenViewShown() {
    for (const QString& id : Xdo({"search", "--onlyvisible", "--classname", "^mirova$"}).split('\n', Qt::SkipEmptyParts))
      if (Geometry(id).size() == kUserScreen) return true;
    return false;
  }
  void Click(const QPoint& p, int settle = 400) {
    Xdo({"mousemove", QString::number(p.x()), QString::number(p.y()), "click", "1"});
    QThread::msleep(settle);
  }
  void Keys(const QStringList& keys, int settle = 300) {
    for (const QString& k : keys) {
      Xdo({"key", k});
      QThread::msleep(60);
    }
    QThread::msleep(settle);
  }
  void Type(const QString& text) {
    Xdo({"type", "--delay", "25", text});
    QThread::msleep(300);
  }

  // The settings window, once it shows; its controls are found from its frame.
  bool WaitForSettings(int ms = 10000) {
    settings = WaitForWindow(kMirovaTitle, ms);
    return !settings.isEmpty();
  }
  QPoint At(const QPoint& p) const { return settings.topLeft() + p; }
  void Tab(TPage page) { Click(At(QPoint(kTabX[page], 22)), 900); }
  void Ok() { Click(At(kOk), 1000); }
  bool SettingsClosed(int ms = 8000) {
    return WaitUntil([&] { return Windows(kMirovaTitle).isEmpty(); }, ms);
  }
  QImage Background() { return Rgb(QImage(home.Background())); }
  // A value of the program's settings in the registry store.
  QJsonValue Setting(const QString& name) {
    QFile f(home.Registry());
    if (!f.open(QIODevice::ReadOnly)) return {};
    QJsonObject key = QJsonDocument::fromJson(f.readAll()).object();
    for (const char* part : {"Software", "Kel Voro", "Mirova Calendar"})
      key = key["keys"].toObject()[QLatin1String(part)].toObject();
    return key["values"].toObject()[name].toObject()["data"];
  }

  QString ExeFile(const QString& name) const { return home.ExeDir() + '/' + name; }
  QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }

  QRect settings;
};

}  // namespace kvtest
