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
  // The full-screen view: the program's window as large as the screen.
  bool FullScreenViewShown() {
    for (const QString& id : Xdo({"search", "--onlyvisible", "--classname", "^mirova$"}).split('\n', Qt::SkipEmptyParts))
      if (Geometry(id).size() == kUserScreen) return true;
    return false;
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
