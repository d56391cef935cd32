#pragma once
// The settings object (registry-backed, with the working calendar style and the image pack's
// default colours) and the layout model (24 items placed by size rules and position lists).
#include <QImage>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "foundation/KVClasses.h"
#include "foundation/KVSkin.h"

// ---------------------------------------------------------------------------------------------
// Settings

// HKEY_CURRENT_USER key of the settings and the log-on Run value of the program.
extern const QString kSettingsKey;
extern const QString kRunValueName;
// Install key of the maker's products and the value names under which the diary product
// records its folder, tried in order.
extern const QString kInstallKey;
extern const QStringList kNotavelPathValueNames;

// The calendar style: the stored copy and the working copy the Style page edits are two of these.
struct TCalendarStyle {
  TCalendarStyle();
  TCalendarStyle(const TCalendarStyle&) = delete;
  TCalendarStyle& operator=(const TCalendarStyle&) = delete;
  void AssignStyle(const TCalendarStyle& source);

  bool CalculateBackColors = true;
  bool UseDefaultColors = false;
  int BevelStyle = 2;  // 0 flat, 1 lowered, 2 raised
  TColor BackColor = 0x00459F00;
  TColor SaturdayBackColor = 0x008FC550;
  TColor SundayBackColor = 0x00FFFFC8;
  TColor DayColor = 0x00FFFFFF;
  TColor SaturdayColor = 0x00FFFFFF;
  TColor SundayColor = 0x00DAD400;
  TColor DayShadowColor = 0;
  TColor TodayColor = 0x0000FFFF;
  TFont DayFont;
  int DaySpace = 2;
  int DayShadow = 1;
  int DayContrast = 200;
  int MonthBarTransparency = 50;
  int MonthContrast = 130;
  int NotesTransparency = 50;
  int LayoutID = 151;
};

// The colours an image pack brings; clNone derives the colour while drawing.
struct TPackDefaults {
  TColor BackColor = 0x00459F00;
  TColor SaturdayBackColor = clNone;
  TColor SundayBackColor = clNone;
  TColor DayColor = 0x00FFFFFF;
  TColor SaturdayColor = clNone;
  TColor SundayColor = 0x00DAD400;
  TColor DayShadowColor = 0;
  TColor TodayColor = 0x0000FFFF;
  int DayContrast = 200;
};

// The ranges the Style page can show; loaded values are held inside them.
constexpr int kMaxDaySpace = 4, kMaxDayShadow = 3, kMaxBevelStyle = 2;
constexpr int kMinNotesTransparency = 5;
constexpr int kMinDayContrast = -200, kMaxDayContrast = 200, kMaxMonthContrast = 200;

// The program's settings (component name "ini"). Its published properties are the pack
// defaults, which an image pack's text sets; everything else lives in the registry.
class Tini : public TKVSkinIni {
  KV_CLASS(Tini)
 public:
  // FormFont: the owning window's font, the start of DayFont and RichEditFont.
  explicit Tini(TComponent* owner = nullptr, const TFont& formFont = TFont());

  void ResetDefaults() override;
  // A value that cannot be read keeps its default and is told ("Error reading from registry");
  // what cannot be written (a new key, the log-on entry, the values) goes to the open save report
  // as the file that holds it (foundation/KVSaveReport.h).
  void LoadSettings() override;
  void SaveSettings() override;
  // WorkStyle into the stored style, and back.
  void CommitStyle();
  void RevertStyle();
  // Every stored value to its default (step 1 of loading).
  void SetStoredDefaults();

  bool AutoStartup = true;
  bool StartupHideIcons = false;
  bool StartupOpenDiary = false;
  bool StartupOpenQuickNotes = false;
  bool NotavelDiary = false;
  bool CheckPasswordOnce = false;
  QString NotavelPath;
  int DiarySplit = 310;
  QString MirPack;
  bool RandomImages = false;
  bool ShowNotes = true;
  bool DiaryLongDate = true;
  TCalendarStyle StoredStyle;
  TFont RichEditFont;
  int SponsorNo = 0;
  int AdMsgNo = 0;
  int ImagePosition = 2;  // 0 best fit, 1 centre, 2 stretch, 3 tile, 4 hide
  QString ScrSaverExe;
  bool UserImageSet = false;  // not stored
  bool TransparentIcons = true;
  int Frequency = 0;  // 0 monthly, 1 weekly, 2 daily, 3 hourly
  int LastChange = 1;
  // Local date and time of the last picture change ("yyyy-MM-ddTHH:mm:ss"): the rotation tells a
  // new period by full dates with it; LastChange keeps its meaning beside it.
  QString LastChangeTime;
  int ImageIndex = 0;
  int HideNotesHotKey = 0x4048;
  int OpenDiaryHotKey = 0x404F;
  int OpenQuickNotesHotKey = 0x4051;
  int AddReminderHotKey = 0x4052;
  int ThnSize = 1;
  int IconFilterIndex = 1;
  int ShowNotesOptions = 1;  // 0 diary and quick notes, 1 quick notes, 2 diary, 3 none
  QString IconFile;
  // The folders the quick notes were last saved to as RTF and pictures last added from (empty:
  // none yet).
  QString RTFFolder;
  QString ImageFolder;

  TCalendarStyle WorkStyle;
  TPackDefaults PackDefaults;
  TFont FormFont;

  // The Run value written for the program: its path, quoted when it holds a blank, and " /a".
  static QString RunCommand();

 private:
  void ReadValues();
  void SyncRunValue();
  void FindNotavelPath();
  void ClampValues();
};

// ---------------------------------------------------------------------------------------------
// Layout model

enum TLSizeType { lsFixed, lsPromil, lsCalc, lsScr, lsCtrl };
extern const EnumInfo kLSizeTypeEnum;

enum TAnchorKind { akLeft, akTop, akRight, akBottom };
using TAnchors = std::uint32_t;  // bit (1 << TAnchorKind)
constexpr TAnchors Anchor(TAnchorKind a) { return TAnchors(1) << a; }
extern const EnumInfo kAnchorKindEnum;

constexpr int kLayoutItemCount = 24;
// Item indices of the fixed order every index list refers to.
enum TLayoutIndex {
  liMonthLine = 0,
  liMonthBox1 = 1,
  liMonthBox12 = 12,
  liMonthYear = 13,
  liNotes = 14,
  liGeneralNotes = 15,
  liWDayNotes1 = 16,
  liWDayNotes7 = 22,
  liSponsorImage = 23
};

// A comma list "1,4,7,": one element per comma, 0 for a token that is not a number; a last
// element without its comma is lost.
std::vector<int> ParseCommaList(const QString& text);
// The same without the elements that are no item index (outside 0 .. 23).
std::vector<int> ParseItemList(const QString& text);

class TLSize : public TPersistent {
  KV_CLASS(TLSize)
 public:
  TLSizeType ValueType = lsFixed;
  int Value = 0;
  int Min = 0;
  int Max = 0;
  QString Ctrls;
  // Written by the layout engine.
  int Computed = 0;
  std::vector<int> CtrlIndices;
  void Reset();
};

class TLayoutItem : public TPersistent {
  KV_CLASS(TLayoutItem)
 public:
  TLayoutItem();
  bool Visible = false;
  TAnchors Anchors = 0;
  std::unique_ptr<TLSize> Width, Height, XSpace, YSpace;
  QString SXPos, SYPos;
  // Written by the layout engine; Right and Bottom exclusive.
  TRect Rect;
  std::vector<int> SXPosIndices, SYPosIndices;
  bool HasAnchor(TAnchorKind a) const { return Anchors & Anchor(a); }
  virtual void Reset();
};

class TMonthLine : public TLayoutItem {
  KV_CLASS(TMonthLine)
 public:
  int MonthID = 0;
  bool Horz = false;
  void Reset() override;
};

class TMonthBox : public TLayoutItem {
  KV_CLASS(TMonthBox)
 public:
  int MonthID = 0;
  bool BlackWhite = false;
  void Reset() override;
};

class TNotes : public TLayoutItem {
  KV_CLASS(TNotes)
 public:
  bool DiaryOnly = false;
};

class TWDayNotes : public TLayoutItem {
  KV_CLASS(TWDayNotes)
 public:
  using TLayoutItem::TLayoutItem;
};

// The layout's preview picture, stored as "Picture.Data": the graphic's class name as a short
// string ("TBitmap"), the bitmap file's size (32-bit) and the bitmap file.
class TLayoutPicture : public TPersistent {
  KV_CLASS(TLayoutPicture)
 public:
  QImage Image;
  void DefineProperties(TFiler& filer) override;
  // The stored form of an image; empty for an empty image.
  static QByteArray EncodeData(const QImage& image);
  // Raises EReadError for data that is not a bitmap of that form.
  static QImage DecodeData(const QByteArray& data);
};

constexpr int kLayoutPreviewWidth = 120, kLayoutPreviewHeight = 90;

// One calendar layout (component name "Lini").
class TLayoutIni : public TKVSkinIni {
  KV_CLASS(TLayoutIni)
 public:
  explicit TLayoutIni(TComponent* owner = nullptr);
  ~TLayoutIni() override;

  void ResetDefaults() override;
  // The defaults, then Source's layout text when it is not empty, then the parsed lists. A text
  // that is not object text leaves the defaults and gives false.
  bool LoadLayout(const QString& Source = QString());
  void ParseLayoutLists();
  void Loaded() override;

  // The month a MonthID stands for against the shown year and month: 0 the shown month, 1 .. 12
  // that month of the shown year, otherwise an offset (101 next, -101 previous month).
  static void MonthIdToYearMonth(int MonthID, int ShownYear, int ShownMonth, std::uint16_t& Year,
                                 std::uint16_t& Month);
  // The same against the shared date state's year and month.
  static void MonthIdToYearMonth(int MonthID, std::uint16_t& Year, std::uint16_t& Month);

  int LayoutID = 0;
  TLayoutPicture Picture;
  QString XCalcOrder, YCalcOrder;
  TStringList CenterX, CenterY;
  bool SundayFirst = false;

  TMonthLine& MonthLine() { return *monthLine_; }
  const TMonthLine& MonthLine() const { return *monthLine_; }
  TMonthBox& MonthBox(int i) { return *monthBoxes_.at(size_t(i - 1)); }  // 1 .. 12
  TLayoutItem& MonthYear() { return *monthYear_; }
  TNotes& Notes() { return *notes_; }
  TNotes& GeneralNotes() { return *generalNotes_; }
  TWDayNotes& WDayNotes(int i) { return *wdayNotes_.at(size_t(i - 1)); }  // 1 .. 7
  TLayoutItem& SponsorImage() { return *sponsorImage_; }

  // The 24 items by index (not owned).
  std::array<TLayoutItem*, kLayoutItemCount> LayoutItems{};
  // The parsed calculation orders: the first 24 tokens, without those that name no item.
  std::vector<int> XOrder, YOrder;
  // The parsed centring groups, one per line.
  std::vector<std::vector<int>> CenterXGroups, CenterYGroups;

 private:
  std::unique_ptr<TMonthLine> monthLine_;
  std::array<std::unique_ptr<TMonthBox>, 12> monthBoxes_;
  std::unique_ptr<TLayoutItem> monthYear_;
  std::unique_ptr<TNotes> notes_, generalNotes_;
  std::array<std::unique_ptr<TWDayNotes>, 7> wdayNotes_;
  std::unique_ptr<TLayoutItem> sponsorImage_;
};

extern const QString kDefaultCalcOrder;
