#pragma once
// Desktop notifications: the freedesktop notification service on the session bus, which every
// desktop's shell or a notification daemon provides. It tells the user something without taking
// the keyboard from what they are typing.
#include <QString>

// Shows Summary and Body as a notification of the program named by the desktop entry DesktopEntry
// (its icon and name), waiting at most a second for the service. False when the session has no
// notification service or it refused.
bool ShowDesktopNotification(const QString& AppName, const QString& DesktopEntry, const QString& Summary,
                             const QString& Body);
