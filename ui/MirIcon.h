#pragma once
// The program's icon, drawn in code so that every size is sharp: a calendar page with a
// landscape picture and a red heading band; and the favourite icons a new user starts with.
#include <QIcon>
#include <QImage>

#include <array>
#include <vector>

// The usual icon sizes (16 to 256 pixels): the program's QIcon and the installed theme icons.
inline constexpr std::array<int, 8> kProgramIconSizes{16, 22, 24, 32, 48, 64, 128, 256};

QImage DrawProgramIcon(int Size);
// The icon at the usual sizes, drawn when it is first used.
QIcon ProgramIcon();

class QPainter;
// A round face, smiling or sad, on a 32 x 32 grid (scale the painter for other sizes).
void DrawFace(QPainter& p, bool Smiling);

// The favourite icons a new user starts with: small pictures drawn here (a star, a heart, faces,
// weather, a cake...), each 32 x 32 in 24 bits on white, as the icon list keeps them.
std::vector<QImage> DrawFavoriteIcons();
