#pragma once
// Image sets as files: image packs (".mcp" resource packs holding a title, a header record, a skin
// package and the pictures) and the user's own sets (an ".mcl" list of picture files), with the
// side files every set keeps beside it: the picture order ".mcl", the checked pictures ".sel" and
// the thumbnail cache ".thn". Widget-free; the Images page builds on it.
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// The two version marks of an image pack.
constexpr qint32 kImagePackVersion1 = 0x564B0065, kImagePackVersion2 = 0x564B006A;
// The first three entries of a pack (title, header record, skin package) hold no picture.
constexpr int kPackFirstPictureEntry = 3;

// One entry of the set list.
struct TMImageSet {
  bool UserSet = false;  // own pictures (an ".mcl" list) rather than a pack
  QString Title;
  // The set file's name in the program folder, as it is spelled on disk (file names differ by
  // case here, so the name is not lower-cased).
  QString FileName;
};

// The title of an image pack: its entry 0 as single-byte text. Nothing when the file is no image
// pack (another version mark, no entries, unreadable, a title entry larger than any title).
// Reads the directory and entry 0 only, never a picture.
std::optional<QString> ReadImagePackTitle(const QString& FileName);

// The set files of Folder: every "*.mcp" file, and every "*.mcl" file that is no pack's side file
// (no ".mcp" of the same name, whatever the case of its letters), as full paths sorted without
// regard to case. Only names are read.
QStringList ListImageSetFiles(const QString& Folder);

// The sets those files hold, in their order: the files that pass the pack test, and the own sets,
// titled by their file name without the extension. Packs that cannot be read are left out.
std::vector<TMImageSet> ReadImageSets(const QStringList& SetFiles);

// SetFile (a name in Folder) with its extension replaced by Extension (".sel"), in Folder.
QString SideFileName(const QString& Folder, const QString& SetFile, const QString& Extension);
// The files deleted with a set besides the set file itself, in the order they are deleted.
extern const char* const kImageSetSideExtensions[7];

// The picture count a pack really has room for: the header's count, within 0 .. EntryCount - 3.
int ClampedPictureCount(qint64 HeaderCount, int EntryCount);

// A pack's pictures in display order: the order file's lines that are numbers 1 .. PictureCount,
// each the first time it appears; then the pictures the file does not name, in pack order.
std::vector<int> PackPictureOrder(const QStringList& OrderLines, int PictureCount);

// A line list file: lines ended by CR LF or LF; empty when the file is missing or unreadable.
QStringList LoadLines(const QString& FileName);
// Writes each line followed by CR LF, atomically; raises EFCreateError when it cannot.
void SaveLines(const QString& FileName, const QStringList& Lines);

// Picture keys (pack numbers as text, file paths of an own set) are compared exactly: paths that
// differ in case name different files here.
