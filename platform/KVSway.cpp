#include "platform/KVSway.h"

#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include "platform/KVDesktop.h"

namespace {

constexpr int kSwaymsgTimeoutMs = 2000;

QRect RectOf(const QJsonValue& v) {
  const QJsonObject r = v.toObject();
  return QRect(r.value(QStringLiteral("x")).toInt(), r.value(QStringLiteral("y")).toInt(),
               r.value(QStringLiteral("width")).toInt(), r.value(QStringLiteral("height")).toInt());
}

std::optional<QJsonArray> SwayList(const char* what) {
  QByteArray out;
  if (!RunDesktopProgram(QStringLiteral("swaymsg"), {QStringLiteral("-r"), QStringLiteral("-t"), QLatin1String(what)},
                         kSwaymsgTimeoutMs, &out)
           .Ok())
    return std::nullopt;
  const QJsonDocument doc = QJsonDocument::fromJson(out);
  if (!doc.isArray()) return std::nullopt;
  return doc.array();
}

}  // namespace

QPoint TrayMenuPosition(const QRect& Output, const QRect& Usable, QSize MenuSize) {
  const int x = std::max(Output.left(), Output.right() + 1 - MenuSize.width());
  if (Usable.isValid() && Usable.top() > Output.top()) return {x, Usable.top()};  // a bar at the top
  if (Usable.isValid() && Usable.bottom() < Output.bottom())                      // at the bottom
    return {x, std::max(Output.top(), Usable.bottom() + 1 - MenuSize.height())};
  return {x, Output.top()};
}

bool SwaySession() { return !qEnvironmentVariableIsEmpty("SWAYSOCK"); }

std::optional<std::pair<QRect, QRect>> SwayFocusedOutput() {
  const std::optional<QJsonArray> workspaces = SwayList("get_workspaces");
  const std::optional<QJsonArray> outputs = workspaces ? SwayList("get_outputs") : std::nullopt;
  if (!outputs) return std::nullopt;
  for (const QJsonValue& w : *workspaces) {
    const QJsonObject ws = w.toObject();
    if (!ws.value(QStringLiteral("focused")).toBool()) continue;
    const QString name = ws.value(QStringLiteral("output")).toString();
    for (const QJsonValue& o : *outputs)
      if (o.toObject().value(QStringLiteral("name")).toString() == name)
        return std::pair{RectOf(o.toObject().value(QStringLiteral("rect"))), RectOf(ws.value(QStringLiteral("rect")))};
  }
  return std::nullopt;
}

bool SwayMoveWindow(const QString& Title, QPoint Position) {
  // sway's criteria take a regular expression in double quotes.
  const QString title = QRegularExpression::escape(Title).replace(QLatin1Char('"'), QStringLiteral("\\\""));
  const QString command = QStringLiteral("[pid=%1 title=\"^%2$\"] floating enable, border none, move absolute position %3 %4")
                              .arg(::getpid())
                              .arg(title)
                              .arg(Position.x())
                              .arg(Position.y());
  return RunDesktopProgram(QStringLiteral("swaymsg"), {command}, kSwaymsgTimeoutMs).Ok();
}
