#pragma once
// The program's icon, drawn in code so that every size is sharp: a calendar page with a
// landscape picture and a red heading band.
#include <QIcon>
#include <QImage>

QImage DrawProgramIcon(int Size);
// The icon at the usual sizes (16 to 256 pixels).
QIcon ProgramIcon();
