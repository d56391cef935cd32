// A program that starts the way the calendar does, for tests of the single instance:
//   kv_instance_helper run <title> [--hold-ms N]
//     the first copy prints "first", listens ("listening"), holds messages for N ms as if
//     starting up, prints "message <text>" for each and ends with 0 on "terminate"; a later
//     copy asks the first to come forward, prints "second" and ends with 0.
//   kv_instance_helper send <title> <message> <timeout-ms>
//     prints "handled", "no-answer" or "not-running".
#include <QCoreApplication>
#include <QTimer>
#include <cstdio>

#include "foundation/KVApps.h"
#include "platform/KVInstance.h"

namespace {

void Say(const QString& line) {
  std::printf("%s\n", qPrintable(line));
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = QCoreApplication::arguments();
  if (args.size() >= 5 && args[1] == "send") {
    const TKVSendResult r = SendInstanceMessage(args[2], args[3], args[4].toInt());
    Say(r == TKVSendResult::Handled ? "handled" : r == TKVSendResult::NoAnswer ? "no-answer" : "not-running");
    return 0;
  }
  if (args.size() < 3 || args[1] != "run") return 2;
  const QString title = args[2];
  const int hold = args.indexOf("--hold-ms") > 0 ? args.value(args.indexOf("--hold-ms") + 1).toInt() : 0;

  TKVInstanceLock lock(title);
  if (!ClaimSingleInstance(lock, title)) {
    Say("second");
    return 0;
  }
  Say("first");
  TKVInstanceServer server(title);
  if (!server.Listen()) {
    Say("error " + server.ErrorString());
    return 1;
  }
  QObject::connect(&server, &TKVInstanceServer::MessageReceived, [](const QString& message) {
    Say("message " + message);
    if (message == QLatin1String(kInstanceTerminate)) QCoreApplication::quit();
  });
  if (hold > 0) {
    server.SetHeld(true);
    QTimer::singleShot(hold, [&server] { server.SetHeld(false); });
  }
  Say("listening");
  return app.exec();
}
