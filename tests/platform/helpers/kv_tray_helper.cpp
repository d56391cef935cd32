// A tray-resident test program: one TKVTray with a drawn icon and a menu, reporting on stdout
// what the tray does ("shown", "click", "dblclick", "rightclick", "menu", "exit",
// "geometry x y w h", "saved") and taking commands on stdin ("geometry", "screenshot <file>":
// the whole screen as PNG, "quit").
//   kv_tray_helper [--no-menu]
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QSocketNotifier>
#include <QTextStream>
#include <cstdio>
#include <unistd.h>

#include "foundation/KVApps.h"

namespace {

void Say(const QString& line) {
  std::printf("%s\n", qPrintable(line));
  std::fflush(stdout);
}

// A small calendar leaf: a red band over a white page with a dark day number.
QIcon CalendarIcon() {
  QPixmap pixmap(64, 64);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(40, 40, 40), 3));
  p.setBrush(Qt::white);
  p.drawRoundedRect(4, 6, 56, 54, 6, 6);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(200, 30, 30));
  p.drawRect(6, 8, 52, 16);
  p.setPen(QColor(30, 30, 30));
  QFont font = p.font();
  font.setPixelSize(30);
  font.setBold(true);
  p.setFont(font);
  p.drawText(QRect(4, 24, 56, 36), Qt::AlignCenter, QStringLiteral("16"));
  return QIcon(pixmap);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationDisplayName(QStringLiteral("Tray Helper"));
  QApplication::setQuitOnLastWindowClosed(false);
  const bool withMenu = !QCoreApplication::arguments().contains(QStringLiteral("--no-menu"));

  TKVTray tray(nullptr);
  tray.SetIcon(CalendarIcon());
  QMenu menu;
  QAction* exitAction = menu.addAction(QStringLiteral("Exit"));
  QObject::connect(exitAction, &QAction::triggered, [] {
    Say(QStringLiteral("exit"));
    QCoreApplication::quit();
  });
  QObject::connect(&menu, &QMenu::aboutToShow, [] { Say(QStringLiteral("menu")); });
  QObject::connect(&menu, &QMenu::aboutToHide, [] { Say(QStringLiteral("menu closed")); });
  if (withMenu) tray.SetPopupMenu(&menu);
  tray.OnClick = [](TKVTray*) { Say(QStringLiteral("click")); };
  tray.OnDblClick = [](TKVTray*) { Say(QStringLiteral("dblclick")); };
  tray.OnRightClick = [](TKVTray*) { Say(QStringLiteral("rightclick")); };
  QObject::connect(&tray, &TKVTray::IconShown, [] { Say(QStringLiteral("shown")); });

  QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
  QObject::connect(&input, &QSocketNotifier::activated, [&] {
    char buffer[256];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer - 1);
    if (n <= 0) {
      input.setEnabled(false);
      return;
    }
    for (const QByteArray& command : QByteArray(buffer, int(n)).split('\n')) {
      if (command == "geometry") {
        const QRect r = tray.TrayIcon() ? tray.TrayIcon()->geometry() : QRect();
        Say(QStringLiteral("geometry %1 %2 %3 %4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()));
      } else if (command.startsWith("screenshot ")) {
        const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
        Say(screen.save(QString::fromLocal8Bit(command.mid(11)), "PNG") ? QStringLiteral("saved") : QStringLiteral("not saved"));
      } else if (command == "menu?") {
        const QRect r = menu.geometry();
        Say(QStringLiteral("menu %1 %2 %3 %4 %5").arg(menu.isVisible() ? "open" : "shut").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()));
      } else if (command == "quit") {
        QCoreApplication::quit();
      }
    }
  });

  tray.Loaded();
  Say(tray.IconAdded() ? QStringLiteral("loaded added") : QStringLiteral("loaded waiting"));
  return app.exec();
}
