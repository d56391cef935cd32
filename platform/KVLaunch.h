#pragma once
// Starting programs with an argument vector (never a shell string), and the desktop's default
// handler of a URL scheme.
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// Starts Program detached with Args; true when it started.
bool StartProgram(const QString& Program, const QStringList& Args);

// Replaces StartProgram for the rest of the process (tests record launches with it);
// an empty function restores the real one.
void SetProgramStarter(std::function<bool(const QString&, const QStringList&)> starter);

// The command line of the desktop's default handler of a scheme ("http", "mailto"), from the
// handler's desktop entry; nullopt when there is none.
std::optional<QString> DefaultHandlerCommand(const QString& Scheme);

// Splits a command line into arguments: blanks separate, double quotes group, a backslash
// escapes the next character inside quotes.
QStringList SplitCommandLine(const QString& Command);
