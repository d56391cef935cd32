#pragma once
// Values of XDG desktop entry files and their Exec key, and
// the command lines of log-on Run values that become such entries.
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// The escapes of the string value type: "\\", "\n", "\t", "\r", and "\s" for a leading blank
// (which readers would otherwise trim).
QString EscapeDesktopString(const QString& Text);
QString UnescapeDesktopString(const QString& Value);

// An Exec value (before the string escapes) that starts Args[0] with the other arguments as
// they are: an argument that is empty or holds a reserved character is put in double quotes
// with '"', '`', '$' and '\' backslash-escaped, and every '%' is doubled so that no field
// code is read into it.
QString DesktopExecFromArguments(const QStringList& Args);

// The Exec value of an entry that starts Args: DesktopExecFromArguments, except that a program
// whose path holds '%' is started through /bin/sh with the path as an argument. GLib's launchers
// (GNOME's autostart among them) check that the program exists before they turn "%%" into "%",
// and skip the entry when it does not.
QString LauncherExec(const QStringList& Args);

// The arguments of an Exec value (after the string escapes), by the quoting rules; "%%" gives
// "%" and field codes are dropped. Nullopt for a value a launcher may read differently: an
// unclosed quote, a reserved character outside quotes, an unknown escape inside quotes.
std::optional<QStringList> DesktopExecArguments(const QString& Exec);

// A Run value's command line as the program and its arguments. The program may stand in
// double quotes (it may itself hold quotes: the closing quote is the one after which a file
// exists) or bare (it may hold blanks: the shortest blank-separated start that names a file);
// the arguments are separated by blanks, double quotes grouping. FileExists is replaceable for
// tests.
QStringList SplitRunCommand(const QString& Command,
                            const std::function<bool(const QString&)>& FileExists = {});
