#pragma once
// Icons collected from files for the icon picker: the pictures of an icon file (".ico"), the
// icons that a Windows program or library (PE file) carries as resources, and picture files
// (PNG, BMP, JPEG, GIF, SVG and the other formats Qt reads). Icon and program files are read by
// our own reader: every count, offset and size is checked against the file before anything is
// read or allocated, and a damaged file fails cleanly.
#include <QByteArray>
#include <QIODevice>
#include <QImage>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <vector>

// The side of the square pictures of an image list of icons.
constexpr int kIconBitmapSize = 32;
// The most icons taken from one file, and the largest side of one icon picture.
constexpr int kMaxFileIcons = 2048;
constexpr int kMaxIconSide = 1024;

// The icons of an icon file or a PE file at their own sizes (Format_ARGB32), in file order: each
// picture of an icon file; for a PE file one per icon group, the picture nearest to
// kIconBitmapSize square (the same size, else the next larger, else the largest), the deepest
// colours first. A picture that cannot be decoded is left out. Raises EInvalidGraphic when the
// file is neither, or when its directories do not fit in it.
std::vector<QImage> ReadFileIcons(QIODevice& Device);
std::vector<QImage> ReadFileIcons(const QByteArray& Data);

// A picture as an image-list icon: a kIconBitmapSize square, 24-bit (Format_BGR888), on white;
// a picture of that size as it is, a larger one shrunk to fit, a smaller one at the top left.
QImage IconBitmap(const QImage& Icon);

// Every icon of an icon file or a PE file appended to ImageList as IconBitmap. True when the
// file held at least one; false (ImageList untouched) without a list, for a missing, unreadable
// or damaged file, or one without icons.
bool LoadFileIcons(const QString& FileName, std::vector<QImage>* ImageList);

// A picture file appended as one icon: centred on white, shrunk to fit, never enlarged. False
// (ImageList untouched) when it cannot be read as a picture.
bool LoadPictureIcon(const QString& FileName, std::vector<QImage>* ImageList);

// The icons of any of these files, told apart by their content: icon and PE files by
// LoadFileIcons, any other file by LoadPictureIcon.
bool CollectFileIcons(const QString& FileName, std::vector<QImage>* ImageList);

// The pictures of a folder (not of its subfolders) in name order, each as CollectFileIcons adds
// it, until ImageList holds Max pictures. True when at least one was added.
bool LoadFolderIcons(const QString& Folder, std::vector<QImage>* ImageList, std::size_t Max = kMaxFileIcons);

// The desktop's icon folders that exist and hold files, where icons are found when the user chose
// none: for each data folder (XDG_DATA_HOME, then XDG_DATA_DIRS) the hicolor theme's application
// icons of the size nearest kIconBitmapSize (32, else 48, else scalable), then its "pixmaps".
QStringList DesktopIconFolders();
