#include "foundation/KVSysUtils.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QStyle>
#include "foundation/KVRes.h"
#include "foundation/KVString.h"
#include "platform/KVLaunch.h"
#include <algorithm>
#include <cmath>
#include <utility>

// ---------------------------------------------------------------------------------------------
// TKVRegistry

bool TKVRegistry::ReadBoolDef(const QString& Name, bool Default) {
  if (!ValueExists(Name)) return Default;
  try {
    return ReadBool(Name);
  } catch (const EKVError&) {
    return Default;
  }
}

double TKVRegistry::ReadFloatDef(const QString& Name, double Default) {
  if (!ValueExists(Name)) return Default;
  try {
    const double d = ReadFloat(Name);
    return std::isfinite(d) ? d : Default;
  } catch (const EKVError&) {
    return Default;
  }
}

int TKVRegistry::ReadIntegerDef(const QString& Name, int Default) {
  if (!ValueExists(Name)) return Default;
  try {
    return ReadInteger(Name);
  } catch (const EKVError&) {
    return Default;
  }
}

QString TKVRegistry::ReadStringDef(const QString& Name, const QString& Default) {
  if (!ValueExists(Name)) return Default;
  try {
    return ReadString(Name);
  } catch (const EKVError&) {
    return Default;
  }
}

void TKVRegistry::WriteFont(const QString& Prefix, const TFont& Font) {
  WriteString(Prefix + QStringLiteral("Name"), Font.Name);
  WriteString(Prefix + QStringLiteral("CharSet"), QString::number(Font.Charset));
  WriteColor(Prefix + QStringLiteral("Color"), Font.Color);
  WriteInteger(Prefix + QStringLiteral("Size"), Font.Size);
  QString style;
  if (Font.HasStyle(fsBold)) style += QLatin1Char('B');
  if (Font.HasStyle(fsItalic)) style += QLatin1Char('I');
  if (Font.HasStyle(fsUnderline)) style += QLatin1Char('U');
  if (Font.HasStyle(fsStrikeOut)) style += QLatin1Char('S');
  WriteString(Prefix + QStringLiteral("Style"), style);
}

void TKVRegistry::ReadFont(const QString& Prefix, TFont& Font, const TFont& DefaultFont) {
  Font.Assign(DefaultFont);
  // One guard for all five: a value that cannot be read ends the reading there.
  try {
    const QString name = Prefix + QStringLiteral("Name");
    if (ValueExists(name)) {
      const QString face = ReadString(name);
      if (!face.trimmed().isEmpty()) Font.Name = face;
    }
    const QString charset = Prefix + QStringLiteral("CharSet");
    if (ValueExists(charset)) {
      const int cs = StrToIntDef(ReadString(charset), 0);
      Font.Charset = (cs >= 0 && cs <= 255) ? cs : 0;
    }
    const QString color = Prefix + QStringLiteral("Color");
    if (ValueExists(color)) {
      const auto c = StringToColor(ReadString(color));
      if (!c) throw EConvertError(QStringLiteral("Invalid colour for %1").arg(color));
      Font.Color = *c;
    }
    const QString size = Prefix + QStringLiteral("Size");
    if (ValueExists(size)) {
      const int s = ReadInteger(size);
      // A size no font can have keeps the default size rather than an invisible or huge font.
      if (s >= 1 && s <= 1638) Font.Size = s;
    }
    const QString style = Prefix + QStringLiteral("Style");
    if (ValueExists(style)) {
      Font.Style = 0;
      const QString st = ReadString(style);
      if (st.contains(QLatin1Char('B'))) Font.Style |= FontStyle(fsBold);
      if (st.contains(QLatin1Char('I'))) Font.Style |= FontStyle(fsItalic);
      if (st.contains(QLatin1Char('U'))) Font.Style |= FontStyle(fsUnderline);
      if (st.contains(QLatin1Char('S'))) Font.Style |= FontStyle(fsStrikeOut);
    }
  } catch (const EKVError&) {
  }
}

void TKVRegistry::WriteColor(const QString& Name, TColor Color) { WriteString(Name, ColorToString(Color)); }

TColor TKVRegistry::ReadColorDef(const QString& Name, TColor Default) {
  if (!ValueExists(Name)) return Default;
  try {
    const auto c = StringToColor(ReadString(Name));
    return c ? *c : Default;
  } catch (const EKVError&) {
    return Default;
  }
}

// ---------------------------------------------------------------------------------------------
// Message box and button sets


TKVButtons ButtonsOK, ButtonsContinue, ButtonsOKCancel, ButtonsYesNo, ButtonsYesNoCancel, ButtonsRetryCancel,
    ButtonsReplaceAppendCancel, ButtonsOverwriteResumeCancel, ButtonsOverwriteCancel, ButtonsCheckSkip,
    ButtonsDownloadInstall, ButtonsExitInstall, ButtonsResumeExitSetup;

void BuildButtonSets() {
  const TKVLanguageResource& t = LanguageResource();
  ButtonsOK = {{t.RSOK, ResultOK}};
  ButtonsContinue = {{t.RSContinue, ResultOK}};
  ButtonsOKCancel = {{t.RSOK, ResultOK}, {t.RSCancel, ResultCancel}};
  ButtonsYesNo = {{t.RSYes, ResultYes}, {t.RSNo, ResultNo}};
  ButtonsYesNoCancel = {{t.RSYes, ResultYes}, {t.RSNo, ResultNo}, {t.RSCancel, ResultCancel}};
  ButtonsRetryCancel = {{t.RSRetry, ResultRetry}, {t.RSCancel, ResultCancel}};
  ButtonsReplaceAppendCancel = {{t.RSReplace, ResultYes}, {t.RSAppend, ResultNo}, {t.RSCancel, ResultCancel}};
  ButtonsOverwriteResumeCancel = {{t.RSOverwrite, ResultRetry}, {t.RSResume, ResultOK}, {t.RSCancel, ResultCancel}};
  ButtonsOverwriteCancel = {{t.RSOverwrite, ResultRetry}, {t.RSCancel, ResultCancel}};
  ButtonsCheckSkip = {{t.RSCheckforNewerVersion, ResultOK}, {t.RSSkip, ResultCancel}};
  ButtonsDownloadInstall = {{t.RSDownloadNewer, ResultOK}, {t.RSInstallExisting, ResultCancel}};
  ButtonsExitInstall = {{t.RSExit, ResultCancel}, {t.RSInstallExisting, ResultOK}};
  ButtonsResumeExitSetup = {{t.RSResume, ResultOK}, {t.RSExitSetup, ResultCancel}};
}

namespace {

const bool g_buttonSetsBuilt = [] {
  BuildButtonSets();
  AddLanguageChangeHandler(&BuildButtonSets);
  return true;
}();

TMessageBoxAnswerer& Answerer() {
  static TMessageBoxAnswerer a;
  return a;
}

class KVMessageDialog : public QDialog {
 public:
  using QDialog::QDialog;
  // What Escape presses: Cancel, else No, else the one button of a notice.
  QPushButton* escapeButton = nullptr;

  bool eventFilter(QObject* watched, QEvent* e) override {
    // A key held down since before the box opened never answers it.
    if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->isAutoRepeat()) return true;
    return QDialog::eventFilter(watched, e);
  }

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    if (e->isAutoRepeat()) return;
    if (e->key() == Qt::Key_Escape) {
      if (escapeButton) escapeButton->click();
      return;
    }
    QDialog::keyPressEvent(e);
  }
  // The close box answers Cancel whatever the buttons are.
  void reject() override { done(ResultCancel); }
};

// The button Escape presses: Cancel, else No, else the only button.
int EscapeIndex(const TKVButtons& Buttons) {
  for (int result : {ResultCancel, ResultNo})
    for (size_t i = 0; i < Buttons.size(); ++i)
      if (Buttons[i].Result == result) return int(i);
  return Buttons.size() == 1 ? 0 : -1;
}

// Msg with a break opportunity (a zero-width space) inside every word wider than MaxWidth, after
// a path separator where there is one, so that a long file name wraps instead of widening the box.
QString BreakLongWords(const QString& Msg, const QFontMetrics& Metrics, int MaxWidth) {
  const QChar zwsp(0x200B);
  QString out;
  QString word;
  const auto flush = [&] {
    if (Metrics.horizontalAdvance(word) <= MaxWidth) {
      out += word;
      word.clear();
      return;
    }
    QString line;
    qsizetype lastBreak = -1;  // in line: just after the last separator
    for (const QChar c : std::as_const(word)) {
      if (!line.isEmpty() && Metrics.horizontalAdvance(line + c) > MaxWidth) {
        const qsizetype cut = lastBreak > 0 ? lastBreak : line.size();
        out += line.left(cut) + zwsp;
        line = line.mid(cut);
        lastBreak = -1;
      }
      line += c;
      if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char('-') || c == QLatin1Char('_') ||
          c == QLatin1Char('.'))
        lastBreak = line.size();
    }
    out += line;
    word.clear();
  };
  for (const QChar c : Msg) {
    if (c.isSpace()) {
      flush();
      out += c;
    } else {
      word += c;
    }
  }
  flush();
  return out;
}

QFont CaptionFont() {
  QFont f = QApplication::font("QMdiSubWindowTitleBar");
  f.setBold(true);
  return f;
}

int CaptionButtonWidth() {
  const int w = QApplication::style() ? QApplication::style()->pixelMetric(QStyle::PM_TitleBarButtonSize) : 0;
  return w > 0 ? w : 16;
}

QStyle::StandardPixmap IconFor(int id) {
  switch (id) {
    case IDI_ERROR_ICON: return QStyle::SP_MessageBoxCritical;
    case IDI_QUESTION_ICON: return QStyle::SP_MessageBoxQuestion;
    case IDI_WARNING_ICON: return QStyle::SP_MessageBoxWarning;
    default: return QStyle::SP_MessageBoxInformation;
  }
}

}  // namespace

std::unique_ptr<QDialog> CreateKVMessageDialog(const QString& Msg, const QString& Caption, int IconID,
                                               int DefaultIndex, const TKVButtons& Buttons) {
  // Over the active window, else over a framed window the program shows (none yet is active
  // while it starts); not over the tray icon's window or the full-screen view.
  QWidget* over = QApplication::activeWindow();
  for (QWidget* w : QApplication::topLevelWidgets())
    if (!over && w->isVisible() && w->windowType() == Qt::Window && !w->isFullScreen() &&
        !(w->windowFlags() & (Qt::FramelessWindowHint | Qt::BypassWindowManagerHint)) &&
        w->size() != (w->screen() ? w->screen()->size() : QSize()))
      over = w;
  auto dlg = std::make_unique<KVMessageDialog>(over);
  dlg->setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  dlg->setModal(true);
  const QString caption = Caption.isEmpty() ? QApplication::applicationDisplayName() : Caption;
  dlg->setWindowTitle(caption);

  QScreen* screen = over ? over->screen() : QApplication::primaryScreen();
  const QRect screenRect = screen ? screen->geometry() : QRect(0, 0, 800, 600);
  const QRect available = screen ? screen->availableGeometry() : screenRect;
  const int ppi = screen ? qRound(screen->logicalDotsPerInch()) : 96;

  const QFont msgFont = QApplication::font();
  const QFontMetrics fm(msgFont);
  const int captionWidth = QFontMetrics(CaptionFont()).horizontalAdvance(caption) + 2 * CaptionButtonWidth();
  const int charW = fm.horizontalAdvance(QLatin1Char('M'));
  const int charH = fm.height();
  const int horzMargin = MulDiv(8, charW, 4), vertMargin = MulDiv(8, charH, 8);
  const int horzSpacing = MulDiv(10, charW, 4), vertSpacing = MulDiv(10, charH, 8);
  const int buttonSpacing = MulDiv(7, ppi, 96);
  int buttonWidth = MulDiv(75, ppi, 96);
  const int buttonHeight = MulDiv(25, ppi, 96);
  for (const TKVButton& b : Buttons)
    buttonWidth = std::max(buttonWidth, fm.horizontalAdvance(b.Caption) + 4 * buttonSpacing);
  const int count = int(Buttons.size());
  const int groupWidth = count * buttonWidth + std::max(0, count - 1) * buttonSpacing;

  const QString text = BreakLongWords(Msg, fm, screenRect.width() / 2);
  const QRect textRect =
      fm.boundingRect(QRect(0, 0, screenRect.width() / 2, 0), Qt::TextWordWrap | Qt::TextExpandTabs, text);
  const int textWidth = textRect.width(), textHeight = textRect.height();
  int iconTextWidth = textWidth, iconTextHeight = textHeight;
  if (IconID != 0) {
    auto* icon = new QLabel(dlg.get());
    icon->setObjectName(QStringLiteral("IconImage"));
    icon->setPixmap(QApplication::style()->standardIcon(IconFor(IconID)).pixmap(32, 32));
    icon->setGeometry(horzMargin, vertMargin, 32, 32);
    iconTextWidth += 32 + horzSpacing;
    iconTextHeight = std::max(iconTextHeight, 32);
  }
  const int contentWidth = std::max(iconTextWidth, groupWidth) + 2 * horzMargin;
  // A long caption widens the box, but never past the screen: the title is then cut, not the text.
  const int clientWidth = std::max(contentWidth, std::min(captionWidth, available.width() - 2 * horzMargin));
  const int clientHeight = iconTextHeight + buttonHeight + vertSpacing + 2 * vertMargin;
  dlg->setFixedSize(clientWidth, clientHeight);
  // Over the window it answers (on the screen's middle when there is none), inside the screen.
  const QRect around = over && over->isVisible() ? over->frameGeometry() : screenRect;
  QRect placed(around.center().x() - clientWidth / 2, around.center().y() - clientHeight / 2, clientWidth, clientHeight);
  placed.moveLeft(std::clamp(placed.left(), available.left(), std::max(available.left(), available.right() + 1 - clientWidth)));
  placed.moveTop(std::clamp(placed.top(), available.top(), std::max(available.top(), available.bottom() + 1 - clientHeight)));
  dlg->move(placed.topLeft());

  auto* label = new QLabel(text, dlg.get());
  label->setObjectName(QStringLiteral("MessageLabel"));
  label->setFont(msgFont);
  label->setWordWrap(true);
  label->setTextFormat(Qt::PlainText);
  int labelX = iconTextWidth - textWidth + horzMargin;
  int labelY = vertMargin;
  if (QApplication::layoutDirection() == Qt::RightToLeft) labelX = clientWidth - labelX - textWidth;
  if (IconID != 0 && textHeight < 32) labelY += (32 - textHeight) / 2;
  label->setGeometry(labelX, labelY, textWidth, textHeight);

  int x = (clientWidth - groupWidth) / 2;
  const int y = iconTextHeight + vertMargin + vertSpacing;
  QWidget* previous = nullptr;
  QPushButton* defaultButton = nullptr;
  const int escapeIndex = EscapeIndex(Buttons);
  for (int i = 0; i < count; ++i) {
    auto* b = new QPushButton(Buttons[size_t(i)].Caption, dlg.get());
    b->setObjectName(QStringLiteral("Button%1").arg(i));
    b->setGeometry(x, y, buttonWidth, buttonHeight);
    // Enter presses the default button; moving the focus to another one makes that the default.
    b->setAutoDefault(true);
    b->installEventFilter(dlg.get());
    const int result = Buttons[size_t(i)].Result;
    QObject::connect(b, &QPushButton::clicked, dlg.get(), [d = dlg.get(), result] { d->done(result); });
    if (i == escapeIndex) dlg->escapeButton = b;
    if (i == DefaultIndex) defaultButton = b;
    if (previous) QWidget::setTabOrder(previous, b);
    previous = b;
    x += buttonWidth + buttonSpacing;
  }
  if (defaultButton) {
    defaultButton->setDefault(true);
    defaultButton->setFocus();
    QWidget::setTabOrder(defaultButton, dlg->findChild<QPushButton*>(QStringLiteral("Button0")));
  }
  return dlg;
}

int KVMessageBox(const QString& Msg, const QString& Caption, int IconID, int DefaultIndex, const TKVButtons& Buttons) {
  if (Answerer()) return Answerer()(Msg, Caption, IconID, Buttons);
  auto dlg = CreateKVMessageDialog(Msg, Caption, IconID, DefaultIndex, Buttons);
  return dlg->exec();
}

void KVNotice(const QString& Msg, const QString& Caption, int IconID) {
  if (Answerer()) {
    Answerer()(Msg, Caption, IconID, ButtonsOK);
    return;
  }
  QDialog* dlg = CreateKVMessageDialog(Msg, Caption, IconID, 0, ButtonsOK).release();
  dlg->setModal(false);
  dlg->setAttribute(Qt::WA_DeleteOnClose);
  dlg->setAttribute(Qt::WA_ShowWithoutActivating);
  QObject::connect(dlg, &QDialog::finished, dlg, &QObject::deleteLater);
  dlg->show();
}

void SetMessageBoxAnswerer(TMessageBoxAnswerer answerer) { Answerer() = std::move(answerer); }

namespace {
QString& StoredApplicationTitle() {
  static QString title;
  return title;
}
}  // namespace

QString ApplicationTitle() {
  const QString& title = StoredApplicationTitle();
  return title.isEmpty() ? QCoreApplication::applicationName() : title;
}

void SetApplicationTitle(const QString& Title) { StoredApplicationTitle() = Title; }

void CenterInParent(QWidget* Control) {
  if (!Control || !Control->parentWidget()) return;
  const QWidget* p = Control->parentWidget();
  Control->move(std::max(0, (p->width() - Control->width()) / 2), std::max(0, (p->height() - Control->height()) / 2));
}

void BusyCursor() {
  if (QApplication::overrideCursor()) QApplication::changeOverrideCursor(Qt::WaitCursor);
  else QApplication::setOverrideCursor(Qt::WaitCursor);
}

void NormalCursor() {
  while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
}

// ---------------------------------------------------------------------------------------------
// Folders

QString MyDocumentsDir, AppDataDir, HomeDir, TempDir, WindowsDir, SystemDir, ProgramFilesDir, ExeDir, ShareDir;
QString BrowserPath, MailProgramPath;

namespace {
QString Folder(const QString& p) { return p.isEmpty() ? QString() : PathWithSlash(QDir::cleanPath(p)); }
}  // namespace

QString GetSpecialFolder(int Which) {
  switch (Which) {
    case FolderDocuments: return Folder(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    case FolderDesktop: return Folder(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
    case FolderAppData:
    case FolderLocalAppData: return Folder(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    case FolderPictures: return Folder(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation));
    case FolderProgramFiles: return GetProgramFilesDir();
    default: return {};
  }
}

QString GetMyDocumentsDir() { return GetSpecialFolder(FolderDocuments); }

QString StartFolder(const QString& Remembered, int Which) {
  if (DirExists(Remembered)) return Remembered;
  const QString special = GetSpecialFolder(Which);
  return DirExists(special) ? special : GetHomeDir();
}

QString GetAppDataDir() {
  const QString d = Folder(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
  return d.isEmpty() ? GetMyDocumentsDir() : d;
}

QString GetHomeDir() {
  const QString d = Folder(QDir::homePath());
  return d.isEmpty() || d == QLatin1String("/") ? GetMyDocumentsDir() : d;
}

// There is no Windows folder here; these hold the nearest system-wide equivalents.
QString GetWindowsDir() { return QStringLiteral("/usr/share/"); }
QString GetSystemDir() { return QStringLiteral("/usr/lib/"); }
QString GetProgramFilesDir() { return QStringLiteral("/opt/"); }

QString GetTempDir() {
  QString t = Folder(QDir::tempPath());
  if (t.isEmpty()) t = QStringLiteral("/");
  if (!IsDirWritable(t)) {
    t = GetHomeDir() + QStringLiteral("Temp/");
    if (!DirExists(t)) ForceDirs(t);
  }
  return t;
}

QString InstalledShareDir() {
  if (!QCoreApplication::instance()) return {};
  const QString share = Folder(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/mirova-calendar"));
  return DirExists(share) ? share : QString();
}

QString GetExeDir() {
  const QString env = qEnvironmentVariable("KV_PROGRAM_DIR");
  if (!env.isEmpty()) {
    ForceDirs(Folder(env));
    return Folder(env);
  }
  const QString exe = QCoreApplication::instance() ? QCoreApplication::applicationDirPath()
                                                   : QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
  // An installed program never writes beside itself, even where it may (root, a private prefix):
  // it keeps every user's data in that user's data folder.
  if (!exe.isEmpty() && InstalledShareDir().isEmpty() && IsDirWritable(Folder(exe))) return Folder(exe);
  const QString data = Folder(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)) +
                       QStringLiteral("MirovaCalendar/");
  ForceDirs(data);
  return data;
}

namespace {
const char kShippedRecord[] = ".shipped-packs";
}  // namespace

QStringList LinkShippedPacks(const QString& ShareFolder, const QString& UserFolder) {
  QStringList linked;
  if (ShareFolder.isEmpty() || UserFolder.isEmpty()) return linked;
  const QDir share(ShareFolder), user(UserFolder);
  if (share.canonicalPath() == user.canonicalPath()) return linked;
  const QString recordFile = user.filePath(QLatin1String(kShippedRecord));
  QStringList record;
  try {
    record = QString::fromUtf8(LoadStrFromFile(recordFile)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  } catch (const EKVError&) {
    // No record yet: the first start of this user.
  }
  bool changed = false;
  const QStringList packs =
      share.entryList({QStringLiteral("*.mcp"), QStringLiteral("*.mlt")}, QDir::Files | QDir::Readable, QDir::Name);
  for (const QString& name : packs) {
    const QString target = share.filePath(name);
    const QString link = user.filePath(name);
    const QFileInfo existing(link);
    // A link left dangling by an install that moved is pointed at this one.
    if (existing.isSymLink() && !existing.exists()) QFile::remove(link);
    else if (record.contains(name)) continue;
    if (!existing.exists()) {
      if (!QFile::link(target, link)) continue;  // tried again at the next start
      linked << name;
    }
    // Offered once: a pack the user deleted, or holds under that name, is left alone from now on.
    if (!record.contains(name)) {
      record << name;
      changed = true;
    }
  }
  if (changed) {
    try {
      SaveStrToFile(recordFile, record.join(QLatin1Char('\n')).append(QLatin1Char('\n')).toUtf8());
    } catch (const EKVError&) {
      // Without the record the same links are offered again next time; nothing is lost.
    }
  }
  return linked;
}

void InitializeFolders() {
  MyDocumentsDir = GetMyDocumentsDir();
  AppDataDir = GetAppDataDir();
  HomeDir = GetHomeDir();
  TempDir = GetTempDir();
  WindowsDir = GetWindowsDir();
  SystemDir = GetSystemDir();
  ProgramFilesDir = GetProgramFilesDir();
  ExeDir = GetExeDir();
  ShareDir = InstalledShareDir();
  LinkShippedPacks(ShareDir, ExeDir);
}

bool DirExists(const QString& Path) { return !Path.isEmpty() && QFileInfo(Path).isDir(); }

bool FileOrDirExists(const QString& Path) { return !Path.isEmpty() && QFileInfo::exists(Path); }

QString MakeUniqueFileName(const QString& FileName) {
  if (!FileOrDirExists(FileName)) return FileName;
  const QFileInfo fi(FileName);
  const QString name = fi.fileName();
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  const QString folder = FileName.left(FileName.size() - name.size());
  const QString base = dot > 0 ? name.left(dot) : name;
  const QString ext = dot > 0 ? name.mid(dot) : QString();
  for (qint64 n = 1; n < 2147483647; ++n) {
    const QString candidate = folder + base + QString::number(n) + ext;
    if (!FileOrDirExists(candidate)) return candidate;
  }
  throw EKVError(QStringLiteral("Error Too Many Files In Dir") + folder);
}

bool ForceDirs(const QString& Path) {
  if (Path.isEmpty()) return false;
  const QString clean = QDir::cleanPath(Path);
  QString prefix;
  const QStringList parts = clean.split(QLatin1Char('/'));
  for (int i = 0; i < parts.size(); ++i) {
    prefix += parts[i];
    if (i + 1 < parts.size()) prefix += QLatin1Char('/');
    if (prefix.isEmpty() || prefix == QLatin1String("/")) continue;
    if (DirExists(prefix)) continue;
    if (!QDir().mkdir(prefix)) return false;
  }
  return DirExists(clean);
}

bool IsDirWritable(const QString& Folder) {
  if (Folder.isEmpty()) return false;
  try {
    const QString name = MakeUniqueFileName(PathWithSlash(Folder) + QStringLiteral("kvtmp.tmp"));
    QFile f(name);
    const bool ok = f.open(QIODevice::NewOnly | QIODevice::WriteOnly);
    f.close();
    if (ok) QFile::remove(name);
    return ok;
  } catch (const EKVError&) {
    return false;
  }
}

void ListFilesInto(const QString& Folder, const QString& Mask, QStringList& List) {
  QDir dir(Folder);
  const QStringList names = dir.entryList({Mask}, QDir::Files | QDir::Hidden | QDir::System, QDir::Unsorted);
  for (const QString& n : names) List << PathWithSlash(Folder) + n;
}

void ListFiles(const QString& Folder, const QString& Mask, QStringList& List) {
  List.clear();
  ListFilesInto(Folder, Mask, List);
}

QString ExpandPathMacros(const QString& Text) {
  QString r = Text;
  r = ReplaceAll(QStringLiteral("<pf>"), ProgramFilesDir, r, false);
  r = ReplaceAll(QStringLiteral("<tmp>"), TempDir, r, false);
  r = ReplaceAll(QStringLiteral("<win>"), WindowsDir, r, false);
  r = ReplaceAll(QStringLiteral("<sys>"), SystemDir, r, false);
  r = ReplaceAll(QStringLiteral("<mydoc>"), MyDocumentsDir, r, false);
  r = ReplaceAll(QStringLiteral("<exe>"), ExeDir, r, false);
  r = ReplaceAll(QStringLiteral("<appdata>"), AppDataDir, r, false);
  return r;
}

namespace {
QString ShortenFolder(const QString& dir) {
  if (dir == QLatin1String("/")) return {};
  const bool lead = dir.startsWith(QLatin1Char('/'));
  QString d = lead ? dir.mid(1) : dir;
  if (d.startsWith(QLatin1String(".../"))) d = d.mid(4);
  const qsizetype slash = d.indexOf(QLatin1Char('/'));
  d = slash < 0 ? QString() : QStringLiteral(".../") + d.mid(slash + 1);
  return (lead ? QStringLiteral("/") : QString()) + d;
}
}  // namespace

QString MinimizePath(const QString& FileName, const QFontMetrics& Metrics, int MaxWidth) {
  QString drive;
  if (FileName.size() >= 2 && FileName[1] == QLatin1Char(':')) drive = FileName.left(2);
  const QString rest = FileName.mid(drive.size());
  const qsizetype slash = rest.lastIndexOf(QLatin1Char('/'));
  QString dir = rest.left(slash + 1);
  const QString name = rest.mid(slash + 1);
  while ((!dir.isEmpty() || !drive.isEmpty()) && Metrics.horizontalAdvance(drive + dir + name) > MaxWidth) {
    if (dir == QLatin1String("/.../")) {
      drive.clear();
      dir = QStringLiteral(".../");
    } else if (!dir.isEmpty()) {
      const QString shorter = ShortenFolder(dir);
      dir = shorter == dir ? QString() : shorter;
    } else {
      drive.clear();
    }
  }
  return drive + dir + name;
}

// ---------------------------------------------------------------------------------------------
// Links and mail

bool SplitOpenCommand(const QString& Command, QString& Program, QString& Params) {
  Program.clear();
  Params.clear();
  const QString cmd = Command.trimmed();
  if (cmd.isEmpty()) return false;
  const QString upper = cmd.toUpper();
  int end = -1;
  for (const char* ext : {".EXE", ".BAT", ".COM"}) {
    const qsizetype p = upper.lastIndexOf(QLatin1String(ext));
    if (p >= 0) end = std::max(end, int(p) + 4);
  }
  auto dropPlaceholders = [](QString s) {
    s.remove(QLatin1Char('"'));
    qsizetype p;
    while ((p = s.indexOf(QLatin1Char('%'))) >= 0) {
      qsizetype e = s.indexOf(QLatin1Char(' '), p);
      s.remove(p, (e < 0 ? s.size() : e) - p);
    }
    return s.simplified();
  };
  if (end > 0) {
    if (end < cmd.size()) Params = dropPlaceholders(cmd.mid(end).trimmed());
    QString prog = cmd.left(end);
    if (prog.startsWith(QLatin1Char('"'))) prog.remove(0, 1);
    Program = prog;
    return true;
  }
  // Commands of this desktop have no extension: the first argument is the program.
  const QStringList args = SplitCommandLine(cmd);
  if (args.isEmpty()) return false;
  Program = args.first();
  QStringList rest;
  for (int i = 1; i < args.size(); ++i)
    if (!args[i].startsWith(QLatin1Char('%'))) rest << QuoteIfSpaced(args[i]);
  Params = rest.join(QLatin1Char(' '));
  return true;
}

bool GetAssociatedProgram(const QString& FileClass, QString& Program, QString& Params) {
  Program.clear();
  Params.clear();
  const auto cmd = DefaultHandlerCommand(FileClass);
  if (!cmd || !SplitOpenCommand(*cmd, Program, Params)) {
    Program.clear();
    Params.clear();
    return false;
  }
  return true;
}

namespace {
bool OpenWith(const QString& target, const QString& chosen, const QString& fileClass) {
  if (!chosen.isEmpty()) return StartProgram(chosen, {target});
  if (StartProgram(QStringLiteral("xdg-open"), {target})) return true;
  QString program, params;
  if (!GetAssociatedProgram(fileClass, program, params)) return false;
  return StartProgram(program, QStringList{target} + SplitCommandLine(params));
}
}  // namespace

bool OpenURL(const QString& URL, const QString& Browser, bool ShowError) {
  const bool ok = OpenWith(URL, Browser.isEmpty() ? BrowserPath : Browser, QStringLiteral("http"));
  if (!ok && ShowError)
    KVMessageBox(Format(LanguageResource().RSUnableConnectURL, {URL}), LanguageResource().RSNoDefaultBrowser,
                 IDI_WARNING_ICON, 0, ButtonsOK);
  return ok;
}

bool SendMailTo(const QString& Address, const QString& MailProgram, bool ShowError) {
  const QString addr = Address.contains(QLatin1String("mailto:"), Qt::CaseInsensitive)
                           ? Address
                           : QStringLiteral("mailto:") + Address;
  const bool ok = OpenWith(addr, MailProgram.isEmpty() ? MailProgramPath : MailProgram, QStringLiteral("mailto"));
  if (!ok && ShowError)
    KVMessageBox(Format(LanguageResource().RSUnableSendMail, {addr}), LanguageResource().RSNoDefaultMail,
                 IDI_WARNING_ICON, 0, ButtonsOK);
  return ok;
}

bool ForceForegroundWindow(QWidget* Window) {
  if (!Window) return false;
  if (Window->isMinimized()) Window->showNormal();
  if (Window->isActiveWindow()) return true;
  Window->raise();
  Window->activateWindow();
  return Window->isActiveWindow();
}
