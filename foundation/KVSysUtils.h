#pragma once
// The program's view of the system: registry access with defaults, the message box and button
// sets, folders and path macros, links and mail, and file helpers.
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

#include "foundation/KVClasses.h"
#include "foundation/KVTypes.h"
#include "platform/KVRegistry.h"

// Registry access with defaulted reads (which never raise) and the program's font and colour forms.
class TKVRegistry : public TRegistry {
 public:
  bool ReadBoolDef(const QString& Name, bool Default);
  double ReadFloatDef(const QString& Name, double Default);
  int ReadIntegerDef(const QString& Name, int Default);
  QString ReadStringDef(const QString& Name, const QString& Default);
  // Five values: Prefix + Name, CharSet, Color, Size, Style ("B", "I", "U", "S").
  void WriteFont(const QString& Prefix, const TFont& Font);
  void ReadFont(const QString& Prefix, TFont& Font, const TFont& DefaultFont);
  void WriteColor(const QString& Name, TColor Color);
  TColor ReadColorDef(const QString& Name, TColor Default);
};

class QWidget;
class QDialog;
class QFontMetrics;

// ---------------------------------------------------------------------------------------------
// Message box and button sets

// What KVMessageBox returns: the Result of the pressed button.
constexpr int ResultOK = 1, ResultCancel = 2, ResultRetry = 4, ResultYes = 6, ResultNo = 7;

struct TKVButton {
  QString Caption;
  int Result = 0;  // one of the Result values above
};
using TKVButtons = std::vector<TKVButton>;

extern TKVButtons ButtonsOK, ButtonsContinue, ButtonsOKCancel, ButtonsYesNo, ButtonsYesNoCancel,
    ButtonsRetryCancel, ButtonsReplaceAppendCancel, ButtonsOverwriteResumeCancel, ButtonsOverwriteCancel,
    ButtonsCheckSkip, ButtonsDownloadInstall, ButtonsExitInstall, ButtonsResumeExitSetup;

// System icons of the callers.
constexpr int IDI_ERROR_ICON = 32513, IDI_QUESTION_ICON = 32514, IDI_WARNING_ICON = 32515,
              IDI_INFORMATION_ICON = 32516;

// (Re)fills every button set from the language table.
void BuildButtonSets();

// Shows a modal box and returns the Result of the pressed button; the close box gives 2. Escape
// presses Cancel (Result 2), else No (7), else the only button; Enter presses the default button
// (DefaultIndex, or the button the user moved the focus to); a key held down answers nothing. A
// text too wide for the box wraps, long file names too; the box stays inside the screen, over the
// active window. An empty Caption shows the program's name (the application name).
int KVMessageBox(const QString& Msg, const QString& Caption, int IconID, int DefaultIndex, const TKVButtons& Buttons);

// The same box with one OK button, shown beside the windows instead of over their input: it
// does not take the keyboard and waits for no answer (answered at once through the answerer).
void KVNotice(const QString& Msg, const QString& Caption, int IconID);

// Builds the box without showing it (its children are named "MessageLabel", "IconImage",
// "Button0", "Button1", ...).
std::unique_ptr<QDialog> CreateKVMessageDialog(const QString& Msg, const QString& Caption, int IconID,
                                               int DefaultIndex, const TKVButtons& Buttons);

// Answers every KVMessageBox instead of showing it (tests; an empty function shows boxes again).
using TMessageBoxAnswerer =
    std::function<int(const QString& Msg, const QString& Caption, int IconID, const TKVButtons& Buttons)>;
void SetMessageBoxAnswerer(TMessageBoxAnswerer answerer);

void CenterInParent(QWidget* Control);
void BusyCursor();
void NormalCursor();

// The application title (maker, product and version): the tray tip without a hint, the default
// key of a form's state and the companion program's "-r" parameter. The application's name
// until the program sets it. Qt's display name stays unset, so window titles stand alone.
QString ApplicationTitle();
void SetApplicationTitle(const QString& Title);

// ---------------------------------------------------------------------------------------------
// Folders, path macros, links and files. Every folder value ends with "/" unless it is empty.

extern QString MyDocumentsDir, AppDataDir, HomeDir, TempDir, WindowsDir, SystemDir, ProgramFilesDir, ExeDir;
// Where an installed program finds the data it ships (packs); empty when there is none.
extern QString ShareDir;
extern QString BrowserPath, MailProgramPath;

// Fills the folder globals once and links the shipped packs into the program folder; the
// program calls it at start, tests may call it again.
void InitializeFolders();

// The share folder of an installed program: "../share/mirova-calendar" from the executable's
// folder, when it exists; empty for a program run from its build or a portable folder.
QString InstalledShareDir();

// Makes a link in UserFolder to every pack (".mcp", ".mlt") of ShareFolder that was not offered
// before, so that every user sees the shipped packs without a copy, and deleting a set deletes
// only that user's link. A pack is offered once (a hidden record in UserFolder keeps the names):
// a link the user deleted is not made again, a file of the user's under the same name is kept,
// and a link left dangling by an install that moved is pointed at ShareFolder. Returns the
// names linked now.
QStringList LinkShippedPacks(const QString& ShareFolder, const QString& UserFolder);

// The user's folders GetSpecialFolder knows (the numbers the settings of older versions used).
constexpr int FolderDocuments = 0x05, FolderDesktop = 0x10, FolderAppData = 0x1A, FolderLocalAppData = 0x1C,
              FolderProgramFiles = 0x26, FolderPictures = 0x27;
QString GetSpecialFolder(int Folder);
// Where a file chooser opens: the folder last used when it still exists, else the user's special
// folder (documents, pictures) when it exists, else the home folder.
QString StartFolder(const QString& Remembered, int Folder);
QString GetMyDocumentsDir();
QString GetAppDataDir();
QString GetHomeDir();
QString GetWindowsDir();
QString GetSystemDir();
QString GetTempDir();
QString GetProgramFilesDir();
QString GetExeDir();

bool DirExists(const QString& Path);
bool FileOrDirExists(const QString& Path);
// FileName, or the first free Base + n + Ext; raises EKVError when no number is left.
QString MakeUniqueFileName(const QString& FileName);
bool ForceDirs(const QString& Path);
bool IsDirWritable(const QString& Folder);
void ListFiles(const QString& Folder, const QString& Mask, QStringList& List);
void ListFilesInto(const QString& Folder, const QString& Mask, QStringList& List);
QString ExpandPathMacros(const QString& Text);
// FileName shortened with ".../" until it is at most MaxWidth pixels wide; never the name itself.
QString MinimizePath(const QString& FileName, const QFontMetrics& Metrics, int MaxWidth);

// The program and parameters of the desktop's handler of a file class ("http", "mailto").
bool GetAssociatedProgram(const QString& FileClass, QString& Program, QString& Params);
// Splits an open command into program and parameters (placeholders removed).
bool SplitOpenCommand(const QString& Command, QString& Program, QString& Params);
bool OpenURL(const QString& URL, const QString& Browser, bool ShowError);
bool SendMailTo(const QString& Address, const QString& MailProgram, bool ShowError);
bool ForceForegroundWindow(QWidget* Window);

// Cursors 1 (hand move), 2 (hand point) and 3 (pick).
enum TKVCursor { crHMove = 1, crHPoint = 2, crPick = 3 };
