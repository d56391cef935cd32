#pragma once
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace kvtest {

// Points HOME, XDG folders and the program folder at a fresh temporary folder so that
// tests never touch the real user's settings or files.
void IsolateUserFolders();

// Removes the temporary root (at the end of the test program).
void RemoveUserFolders();

// The temporary root made by IsolateUserFolders().
QString TestRoot();

QByteArray ReadFile(const QString& path);
void WriteFile(const QString& path, const QByteArray& data);

}  // namespace kvtest
