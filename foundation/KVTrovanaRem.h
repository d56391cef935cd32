#pragma once
// The maker's download companion, a separate program: where it is installed, starting it on
// request, and starting it by itself once every few months as the user chose. With no companion
// installed every command here does nothing and TrovanaAvailable() is false, so that the windows
// can disable the commands that start it.
#include <QString>

#include "foundation/KVTypes.h"

// The companion's executable: the folder in the value "Kel Voro Trovana" of the key
// "Software\Kel Voro\Install\" plus "trovana"; empty when the key or value is missing or empty.
extern QString TrovanaPath;
// Reads TrovanaPath (the program does it once at start; tests again).
void InitializeTrovanaPath();

// TrovanaPath names an executable file.
bool TrovanaAvailable();

// The reminder, once per program start: starts the companion when the chosen period has passed
// since "Started" (key "Software\Kel Voro\Trovana") and writes the new start; the first check
// only begins the schedule. True when it started the companion. Does nothing while the companion
// runs, while another program runs this check, or without the companion.
bool CheckTrovanaReminder();

// Starts the companion now with the program's own path; the reminder state is not touched.
void StartTrovana();

// Writes "Started" as an 8-byte date-time; registry errors are swallowed.
void WriteTrovanaStarted(TDateTime When);

// The lock names the companion and the reminder check hold while they run.
inline constexpr char kTrovanaMutexName[] = "Kel Voro Trovana";
inline constexpr char kTrovanaReminderMutexName[] = "Kel Voro Trovana Reminder";
