#include "calendar/iniData.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFileInfo>
#include <QtEndian>
#include <algorithm>
#include <functional>

#include "foundation/KVPicture.h"
#include "foundation/KVRes.h"
#include "foundation/KVString.h"
#include "foundation/KVSysUtils.h"
#include "foundation/KVXSkinBase.h"
#include "foundation/KVSaveReport.h"
#include "platform/KVDesktopEntry.h"

const QString kSettingsKey = QStringLiteral("Software\\Kel Voro\\Mirova Calendar");
const QString kRunValueName = QStringLiteral("Kel Voro Mirova Calendar");
const QString kInstallKey = QStringLiteral("Software\\Kel Voro\\Install\\");
const QStringList kNotavelPathValueNames = {QStringLiteral("Notavel"), QStringLiteral("NotavelPath"),
                                            QStringLiteral("Notavel Diary"), QStringLiteral("KVNotavel")};

// ---------------------------------------------------------------------------------------------
// TCalendarStyle

TCalendarStyle::TCalendarStyle() {
  DayFont.Name = QStringLiteral("Arial");
  DayFont.Style = FontStyle(fsBold);
}

void TCalendarStyle::AssignStyle(const TCalendarStyle& s) {
  CalculateBackColors = s.CalculateBackColors;
  UseDefaultColors = s.UseDefaultColors;
  BevelStyle = s.BevelStyle;
  BackColor = s.BackColor;
  SaturdayBackColor = s.SaturdayBackColor;
  SundayBackColor = s.SundayBackColor;
  DayColor = s.DayColor;
  SaturdayColor = s.SaturdayColor;
  SundayColor = s.SundayColor;
  DayShadowColor = s.DayShadowColor;
  TodayColor = s.TodayColor;
  DayFont.Assign(s.DayFont);
  DayFont.Size = s.DayFont.Size;
  DaySpace = s.DaySpace;
  DayShadow = s.DayShadow;
  DayContrast = s.DayContrast;
  MonthBarTransparency = s.MonthBarTransparency;
  MonthContrast = s.MonthContrast;
  NotesTransparency = s.NotesTransparency;
  LayoutID = s.LayoutID;
}

// ---------------------------------------------------------------------------------------------
// Tini

const ClassInfo& Tini::StaticClass() {
  static const ClassInfo ci = [] {
    // The published properties are the pack defaults.
    using P = TPackDefaults;
    ClassBuilder<Tini> b("Tini", &TKVSkinIni::StaticClass());
    const std::pair<const char*, TColor P::*> colors[] = {
        {"BackColor", &P::BackColor},           {"SaturdayBackColor", &P::SaturdayBackColor},
        {"SundayBackColor", &P::SundayBackColor}, {"DayColor", &P::DayColor},
        {"SaturdayColor", &P::SaturdayColor},   {"SundayColor", &P::SundayColor},
        {"DayShadowColor", &P::DayShadowColor}, {"TodayColor", &P::TodayColor}};
    for (const auto& c : colors) {
      TColor P::*m = c.second;
      b.Color(c.first, [m](const Tini& t) { return t.PackDefaults.*m; }, [m](Tini& t, TColor v) { t.PackDefaults.*m = v; });
    }
    b.Int("DayContrast", [](const Tini& t) { return t.PackDefaults.DayContrast; },
          [](Tini& t, int v) { t.PackDefaults.DayContrast = v; });
    return b.Build();
  }();
  return ci;
}

Tini::Tini(TComponent* owner, const TFont& formFont) : TKVSkinIni(owner) {
  SetName(QStringLiteral("ini"));
  FormFont.Assign(formFont);
  SetStoredDefaults();
  WorkStyle.AssignStyle(StoredStyle);
}

void Tini::ResetDefaults() { PackDefaults = TPackDefaults(); }

void Tini::SetStoredDefaults() {
  DiarySplit = 310;
  NotavelDiary = false;
  NotavelPath.clear();
  IconFile = SystemDir + QStringLiteral("shell32.dll");
  IconFilterIndex = 1;
  RTFFolder.clear();
  ImageFolder.clear();
  AutoStartup = true;
  StartupHideIcons = StartupOpenDiary = StartupOpenQuickNotes = false;
  CheckPasswordOnce = false;
  MirPack.clear();
  ThnSize = 1;
  TCalendarStyle& s = StoredStyle;
  s.DaySpace = 2;
  s.DayShadow = 1;
  s.DayContrast = 200;
  s.CalculateBackColors = true;
  s.UseDefaultColors = false;
  s.BackColor = 0x00459F00;
  s.SaturdayBackColor = 0x008FC550;
  s.SundayBackColor = 0x00FFFFC8;
  s.DayColor = s.SaturdayColor = 0x00FFFFFF;
  s.SundayColor = 0x00DAD400;
  s.DayShadowColor = 0;
  s.TodayColor = 0x0000FFFF;
  s.DayFont.Assign(FormFont);
  s.DayFont.Name = QStringLiteral("Arial");
  s.DayFont.Style = FontStyle(fsBold);
  RichEditFont.Assign(FormFont);
  SponsorNo = AdMsgNo = 0;
  s.MonthBarTransparency = 50;
  s.NotesTransparency = 50;
  s.MonthContrast = 130;
  ImagePosition = 2;
  RandomImages = false;
  TransparentIcons = true;
  ShowNotes = true;
  ShowNotesOptions = 1;
  DiaryLongDate = true;
  s.BevelStyle = 2;
  Frequency = 0;
  HideNotesHotKey = 0x4048;
  OpenDiaryHotKey = 0x404F;
  OpenQuickNotesHotKey = 0x4051;
  AddReminderHotKey = 0x4052;
  s.LayoutID = 151;
  LastChange = 1;
  LastChangeTime.clear();
  ImageIndex = 0;
  ScrSaverExe.clear();
  UserImageSet = false;
}

QString Tini::RunCommand() {
  return QuoteIfSpaced(QCoreApplication::applicationFilePath()) + QStringLiteral(" /a");
}

namespace {

// A value naming a program that is gone (a removed build or portable folder) starts nothing at
// log-on; it is the one existing value that is rewritten.
bool RunProgramExists(const QString& command) {
  const QStringList args = SplitRunCommand(command);
  return !args.isEmpty() && QFileInfo(args.first()).isFile();
}

void RegistryWarning(const QString& text) {
  KVMessageBox(text, QString(), IDI_WARNING_ICON, 0, ButtonsOK);
}

// A value or the store could not be written: told with the command's other save failures, as
// the file that holds the settings (or the log-on entry) and the system's reason.
void ReportRegistryFailure(const EKVError& e) {
  RegistryStore& store = RegistryStore::Of(TRootKey::HKEY_CURRENT_USER);
  const QString file = store.LastFile().isEmpty() ? store.FileName() : store.LastFile();
  ReportSaveFailure(file, e.Reason());
}

}  // namespace

void Tini::ReadValues() {
  TKVRegistry reg;
  if (!reg.OpenKey(kSettingsKey, true)) return;
  // Each value stands on its own: one unreadable value keeps its default and the rest are still
  // read, so that the next save does not put defaults over the user's other settings.
  bool failed = false;
  const auto guard = [&failed](const std::function<void()>& read) {
    try {
      read();
    } catch (const EKVError&) {
      failed = true;
    }
  };
  const auto readInt = [&](const char* name, int& v) {
    guard([&] { v = reg.ReadIntegerDef(QString::fromLatin1(name), v); });
  };
  const auto readBool = [&](const char* name, bool& v) {
    guard([&] { v = reg.ReadBoolDef(QString::fromLatin1(name), v); });
  };
  const auto readStr = [&](const char* name, QString& v) {
    guard([&] { v = reg.ReadStringDef(QString::fromLatin1(name), v); });
  };
  const auto readColor = [&](const char* name, TColor& v) {
    guard([&] { v = reg.ReadColorDef(QString::fromLatin1(name), v); });
  };
  const auto readFont = [&](const char* name, TFont& f) {
    TFont def;
    def.Assign(f);
    guard([&] { reg.ReadFont(QString::fromLatin1(name), f, def); });
  };
  TCalendarStyle& s = StoredStyle;
  readInt("DiarySplit", DiarySplit);
  readBool("NotavelDiary", NotavelDiary);
  readStr("NotavelPath", NotavelPath);
  readStr("IconFile", IconFile);
  readInt("IconFilterIndex", IconFilterIndex);
  readStr("RTFFolder", RTFFolder);
  readStr("ImageFolder", ImageFolder);
  readBool("AutoStartup", AutoStartup);
  readBool("StartupHideIcons", StartupHideIcons);
  readBool("StartupOpenDiary", StartupOpenDiary);
  readBool("StartupOpenQuickNotes", StartupOpenQuickNotes);
  readBool("CheckPasswordOnce", CheckPasswordOnce);
  readStr("MirPack", MirPack);
  readInt("ThnSize", ThnSize);
  readInt("DaySpace", s.DaySpace);
  readInt("DayShadow", s.DayShadow);
  readInt("DayContrast", s.DayContrast);
  readBool("CalculateBackColors", s.CalculateBackColors);
  readBool("UseDefaultColors", s.UseDefaultColors);
  readColor("BackColor", s.BackColor);
  readColor("SaturdayBackColor", s.SaturdayBackColor);
  readColor("SundayBackColor", s.SundayBackColor);
  readColor("DayColor", s.DayColor);
  readColor("SaturdayColor", s.SaturdayColor);
  readColor("SundayColor", s.SundayColor);
  readColor("DayShadowColor", s.DayShadowColor);
  readColor("TodayColor", s.TodayColor);
  readFont("DayFont", s.DayFont);
  readFont("RichEditFont", RichEditFont);
  readInt("SponsorNo", SponsorNo);
  readInt("AdMsgNo", AdMsgNo);
  readInt("MonthBarTransparency", s.MonthBarTransparency);
  readInt("NotesTransparency", s.NotesTransparency);
  readInt("MonthContrast", s.MonthContrast);
  readInt("ImagePosition", ImagePosition);
  readBool("RandomImages", RandomImages);
  readBool("TransparentIcons", TransparentIcons);
  readBool("ShowNotes", ShowNotes);
  readInt("ShowNotesOptions", ShowNotesOptions);
  readBool("DiaryLongDate", DiaryLongDate);
  readInt("BevelStyle", s.BevelStyle);
  readInt("Frequency", Frequency);
  readInt("HideNotesHotKey", HideNotesHotKey);
  readInt("OpenDiaryHotKey", OpenDiaryHotKey);
  readInt("OpenQuickNotesHotKey", OpenQuickNotesHotKey);
  readInt("AddReminderHotKey", AddReminderHotKey);
  readInt("LayoutID", s.LayoutID);
  readInt("LastChange", LastChange);
  readStr("LastChangeTime", LastChangeTime);
  readInt("ImageIndex", ImageIndex);
  readStr("ScrSaverExe", ScrSaverExe);
  readStr("DefaultBrowser", BrowserPath);
  readStr("DefaultMail", MailProgramPath);
  try {
    reg.CloseKey();
  } catch (const EKVError& e) {
    // The new key could not be written: the values were read all the same.
    ReportRegistryFailure(e);
  }
  if (failed) RegistryWarning(LanguageResource().RSRegReadError);
}

void Tini::SyncRunValue() {
  try {
    TKVRegistry reg;
    if (!reg.OpenKey(QLatin1Char('\\') + RunKeyPath(), true)) return;
    const bool exists = reg.ValueExists(kRunValueName);
    if (exists && !AutoStartup) reg.DeleteValue(kRunValueName);
    else if (AutoStartup && (!exists || !RunProgramExists(reg.ReadStringDef(kRunValueName, QString()))))
      reg.WriteString(kRunValueName, RunCommand());
    reg.CloseKey();
  } catch (const EKVError& e) {
    // Reading worked; the log-on entry could not be written.
    ReportRegistryFailure(e);
  }
}

void Tini::FindNotavelPath() {
  if (!NotavelPath.isEmpty()) return;
  TKVRegistry reg;
  if (!reg.OpenKeyReadOnly(kInstallKey)) return;
  for (const QString& name : kNotavelPathValueNames) {
    if (reg.ValueExists(name)) {
      NotavelPath = reg.ReadStringDef(name, QString());
      break;
    }
  }
}

void Tini::ClampValues() {
  if (ShowNotesOptions < 0 || ShowNotesOptions > 3) ShowNotesOptions = 0;
  if (Frequency < 0 || Frequency > 3) Frequency = 0;
  if (ThnSize < 0 || ThnSize > 2) ThnSize = 1;
  if (ImagePosition < 0 || ImagePosition > 4) ImagePosition = 2;
  // Values the Style page could not show are brought into its ranges.
  TCalendarStyle& s = StoredStyle;
  s.DaySpace = std::clamp(s.DaySpace, 0, kMaxDaySpace);
  s.DayShadow = std::clamp(s.DayShadow, 0, kMaxDayShadow);
  s.BevelStyle = std::clamp(s.BevelStyle, 0, kMaxBevelStyle);
  s.MonthBarTransparency = std::clamp(s.MonthBarTransparency, 0, 100);
  s.NotesTransparency = std::clamp(s.NotesTransparency, kMinNotesTransparency, 100);
  s.MonthContrast = std::clamp(s.MonthContrast, 0, kMaxMonthContrast);
  s.DayContrast = std::clamp(s.DayContrast, kMinDayContrast, kMaxDayContrast);
}

void Tini::LoadSettings() {
  SetStoredDefaults();
  BrowserPath.clear();
  MailProgramPath.clear();
  ReadValues();
  SyncRunValue();
  FindNotavelPath();
  ClampValues();
}

void Tini::SaveSettings() {
  try {
    TKVRegistry reg;
    if (!reg.OpenKey(kSettingsKey, true)) return;
    const TCalendarStyle& s = StoredStyle;
    reg.WriteInteger(QStringLiteral("DiarySplit"), DiarySplit);
    reg.WriteBool(QStringLiteral("NotavelDiary"), NotavelDiary);
    reg.WriteString(QStringLiteral("NotavelPath"), NotavelPath);
    reg.WriteString(QStringLiteral("IconFile"), IconFile);
    reg.WriteInteger(QStringLiteral("IconFilterIndex"), IconFilterIndex);
    reg.WriteString(QStringLiteral("RTFFolder"), RTFFolder);
    reg.WriteString(QStringLiteral("ImageFolder"), ImageFolder);
    reg.WriteBool(QStringLiteral("AutoStartup"), AutoStartup);
    reg.WriteBool(QStringLiteral("StartupHideIcons"), StartupHideIcons);
    reg.WriteBool(QStringLiteral("StartupOpenDiary"), StartupOpenDiary);
    reg.WriteBool(QStringLiteral("StartupOpenQuickNotes"), StartupOpenQuickNotes);
    reg.WriteBool(QStringLiteral("CheckPasswordOnce"), CheckPasswordOnce);
    reg.WriteString(QStringLiteral("MirPack"), MirPack);
    reg.WriteInteger(QStringLiteral("ThnSize"), ThnSize);
    reg.WriteInteger(QStringLiteral("DaySpace"), s.DaySpace);
    reg.WriteInteger(QStringLiteral("DayShadow"), s.DayShadow);
    reg.WriteInteger(QStringLiteral("DayContrast"), s.DayContrast);
    reg.WriteBool(QStringLiteral("CalculateBackColors"), s.CalculateBackColors);
    reg.WriteBool(QStringLiteral("UseDefaultColors"), s.UseDefaultColors);
    reg.WriteColor(QStringLiteral("BackColor"), s.BackColor);
    reg.WriteColor(QStringLiteral("SaturdayBackColor"), s.SaturdayBackColor);
    reg.WriteColor(QStringLiteral("SundayBackColor"), s.SundayBackColor);
    reg.WriteColor(QStringLiteral("DayColor"), s.DayColor);
    reg.WriteColor(QStringLiteral("SaturdayColor"), s.SaturdayColor);
    reg.WriteColor(QStringLiteral("SundayColor"), s.SundayColor);
    reg.WriteColor(QStringLiteral("TodayColor"), s.TodayColor);
    reg.WriteColor(QStringLiteral("DayShadowColor"), s.DayShadowColor);
    reg.WriteFont(QStringLiteral("DayFont"), s.DayFont);
    reg.WriteFont(QStringLiteral("RichEditFont"), RichEditFont);
    reg.WriteInteger(QStringLiteral("ImagePosition"), ImagePosition);
    reg.WriteBool(QStringLiteral("RandomImages"), RandomImages);
    reg.WriteBool(QStringLiteral("TransparentIcons"), TransparentIcons);
    reg.WriteBool(QStringLiteral("ShowNotes"), ShowNotes);
    reg.WriteInteger(QStringLiteral("ShowNotesOptions"), ShowNotesOptions);
    reg.WriteBool(QStringLiteral("DiaryLongDate"), DiaryLongDate);
    reg.WriteInteger(QStringLiteral("BevelStyle"), s.BevelStyle);
    reg.WriteInteger(QStringLiteral("SponsorNo"), SponsorNo);
    reg.WriteInteger(QStringLiteral("AdMsgNo"), AdMsgNo);
    reg.WriteInteger(QStringLiteral("MonthBarTransparency"), s.MonthBarTransparency);
    reg.WriteInteger(QStringLiteral("NotesTransparency"), s.NotesTransparency);
    reg.WriteInteger(QStringLiteral("MonthContrast"), s.MonthContrast);
    reg.WriteInteger(QStringLiteral("Frequency"), Frequency);
    reg.WriteInteger(QStringLiteral("HideNotesHotKey"), HideNotesHotKey);
    reg.WriteInteger(QStringLiteral("OpenDiaryHotKey"), OpenDiaryHotKey);
    reg.WriteInteger(QStringLiteral("OpenQuickNotesHotKey"), OpenQuickNotesHotKey);
    reg.WriteInteger(QStringLiteral("AddReminderHotKey"), AddReminderHotKey);
    reg.WriteInteger(QStringLiteral("LayoutID"), s.LayoutID);
    reg.WriteInteger(QStringLiteral("LastChange"), LastChange);
    reg.WriteString(QStringLiteral("LastChangeTime"), LastChangeTime);
    reg.WriteInteger(QStringLiteral("ImageIndex"), ImageIndex);
    reg.WriteString(QStringLiteral("DefaultBrowser"), BrowserPath);
    reg.WriteString(QStringLiteral("DefaultMail"), MailProgramPath);
    reg.WriteString(QStringLiteral("MirovaPath"), ExeDir);
    reg.CloseKey();
  } catch (const EKVError& e) {
    ReportRegistryFailure(e);
  }
}

void Tini::CommitStyle() { StoredStyle.AssignStyle(WorkStyle); }

void Tini::RevertStyle() { WorkStyle.AssignStyle(StoredStyle); }

// ---------------------------------------------------------------------------------------------
// Comma lists

std::vector<int> ParseCommaList(const QString& text) {
  // One pass: asking GetToken for each element walks the list from its start every time.
  const QStringList tokens = GetTokens(text);
  std::vector<int> r;
  r.reserve(size_t(tokens.size()));
  for (const QString& t : tokens) r.push_back(StrToIntDef(t, 0));
  return r;
}

std::vector<int> ParseItemList(const QString& text) {
  std::vector<int> r = ParseCommaList(text);
  r.erase(std::remove_if(r.begin(), r.end(), [](int i) { return i < 0 || i >= kLayoutItemCount; }), r.end());
  return r;
}

// ---------------------------------------------------------------------------------------------
// Layout items

const EnumInfo kLSizeTypeEnum{QStringLiteral("TLSizeType"),
                              {QStringLiteral("lsFixed"), QStringLiteral("lsPromil"), QStringLiteral("lsCalc"),
                               QStringLiteral("lsScr"), QStringLiteral("lsCtrl")}};
const EnumInfo kAnchorKindEnum{QStringLiteral("TAnchorKind"),
                               {QStringLiteral("akLeft"), QStringLiteral("akTop"), QStringLiteral("akRight"),
                                QStringLiteral("akBottom")}};

const ClassInfo& TLSize::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TLSize>("TLSize", &TPersistent::StaticClass())
                                  .Enum<TLSizeType>("ValueType", kLSizeTypeEnum, &TLSize::ValueType, lsFixed)
                                  .Int("Value", &TLSize::Value, 0)
                                  .Int("Min", &TLSize::Min, 0)
                                  .Int("Max", &TLSize::Max, 0)
                                  .Str("Ctrls", &TLSize::Ctrls)
                                  .Build();
  return ci;
}

void TLSize::Reset() {
  ValueType = lsFixed;
  Value = Min = Max = 0;
  Ctrls.clear();
  Computed = 0;
  CtrlIndices.clear();
}

const ClassInfo& TLayoutItem::StaticClass() {
  static const ClassInfo ci =
      ClassBuilder<TLayoutItem>("TLayoutItem", &TPersistent::StaticClass())
          .Bool("Visible", &TLayoutItem::Visible, false)
          .Set("Anchors", kAnchorKindEnum, &TLayoutItem::Anchors, 0)
          .Obj("Width", [](TLayoutItem& i) -> TPersistent* { return i.Width.get(); })
          .Obj("Height", [](TLayoutItem& i) -> TPersistent* { return i.Height.get(); })
          .Obj("XSpace", [](TLayoutItem& i) -> TPersistent* { return i.XSpace.get(); })
          .Obj("YSpace", [](TLayoutItem& i) -> TPersistent* { return i.YSpace.get(); })
          .Str("SXPos", &TLayoutItem::SXPos)
          .Str("SYPos", &TLayoutItem::SYPos)
          .Build();
  return ci;
}

TLayoutItem::TLayoutItem()
    : Width(std::make_unique<TLSize>()),
      Height(std::make_unique<TLSize>()),
      XSpace(std::make_unique<TLSize>()),
      YSpace(std::make_unique<TLSize>()) {}

void TLayoutItem::Reset() {
  Visible = false;
  Anchors = 0;
  Width->Reset();
  Height->Reset();
  XSpace->Reset();
  YSpace->Reset();
  SXPos.clear();
  SYPos.clear();
  Rect = TRect{};
  SXPosIndices.clear();
  SYPosIndices.clear();
}

const ClassInfo& TMonthLine::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TMonthLine>("TMonthLine", &TLayoutItem::StaticClass())
                                  .Int("MonthID", &TMonthLine::MonthID, 0)
                                  .Bool("Horz", &TMonthLine::Horz, false)
                                  .Build();
  return ci;
}

void TMonthLine::Reset() {
  TLayoutItem::Reset();
  MonthID = 0;
  Horz = false;
}

const ClassInfo& TMonthBox::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TMonthBox>("TMonthBox", &TLayoutItem::StaticClass())
                                  .Int("MonthID", &TMonthBox::MonthID, 0)
                                  .Bool("BlackWhite", &TMonthBox::BlackWhite, false)
                                  .Build();
  return ci;
}

void TMonthBox::Reset() {
  TLayoutItem::Reset();
  MonthID = 0;
  BlackWhite = false;
}

const ClassInfo& TNotes::StaticClass() {
  static const ClassInfo ci =
      ClassBuilder<TNotes>("TNotes", &TLayoutItem::StaticClass()).Bool("DiaryOnly", &TNotes::DiaryOnly).Build();
  return ci;
}

const ClassInfo& TWDayNotes::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TWDayNotes>("TWDayNotes", &TLayoutItem::StaticClass()).Build();
  return ci;
}

// ---------------------------------------------------------------------------------------------
// TLayoutPicture

const ClassInfo& TLayoutPicture::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TLayoutPicture>("TPicture", &TPersistent::StaticClass()).Build();
  return ci;
}

void TLayoutPicture::DefineProperties(TFiler& filer) {
  filer.DefineBinaryProperty(
      QStringLiteral("Data"), [this](const QByteArray& data) { Image = DecodeData(data); },
      [this] { return EncodeData(Image); }, !Image.isNull());
}

QByteArray TLayoutPicture::EncodeData(const QImage& image) {
  if (image.isNull()) return {};
  QBuffer bmp;
  bmp.open(QIODevice::WriteOnly);
  WriteBitmap24(bmp, image);
  QByteArray r;
  r.append(char(7)).append("TBitmap");
  char size[4];
  qToLittleEndian<qint32>(qint32(bmp.data().size()), size);
  r.append(size, 4).append(bmp.data());
  return r;
}

QImage TLayoutPicture::DecodeData(const QByteArray& data) {
  if (data.isEmpty()) throw EReadError(QStringLiteral("Empty picture data"));
  const int nameLen = quint8(data[0]);
  if (data.size() < 1 + nameLen + 4 || data.mid(1, nameLen) != "TBitmap")
    throw EReadError(QStringLiteral("Unsupported picture data"));
  const qint32 size = qFromLittleEndian<qint32>(data.constData() + 1 + nameLen);
  const qint64 start = 1 + nameLen + 4;
  if (size <= 0 || size > data.size() - start) throw EReadError(QStringLiteral("Truncated picture data"));
  try {
    return DecodeBMP(reinterpret_cast<const uchar*>(data.constData() + start), size);
  } catch (const EKVError& e) {
    throw EReadError(e.Message());
  }
}

// ---------------------------------------------------------------------------------------------
// TLayoutIni

const QString kDefaultCalcOrder = QStringLiteral("0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,");

const ClassInfo& TLayoutIni::StaticClass() {
  static const ClassInfo ci = [] {
    ClassBuilder<TLayoutIni> b("TLayoutIni", &TKVSkinIni::StaticClass());
    b.Int("LayoutID", &TLayoutIni::LayoutID)
        .Obj("Picture", [](TLayoutIni& l) -> TPersistent* { return &l.Picture; })
        .Str("XCalcOrder", &TLayoutIni::XCalcOrder)
        .Str("YCalcOrder", &TLayoutIni::YCalcOrder)
        .Obj("CenterX", [](TLayoutIni& l) -> TPersistent* { return &l.CenterX; })
        .Obj("CenterY", [](TLayoutIni& l) -> TPersistent* { return &l.CenterY; })
        .Bool("SundayFirst", &TLayoutIni::SundayFirst, false)
        .Obj("SponsorImage", [](TLayoutIni& l) -> TPersistent* { return l.sponsorImage_.get(); })
        .Obj("MonthLine", [](TLayoutIni& l) -> TPersistent* { return l.monthLine_.get(); });
    for (int i = 1; i <= 12; ++i) {
      const QByteArray name = "MonthBox" + QByteArray::number(i);
      b.Obj(name.constData(), [i](TLayoutIni& l) -> TPersistent* { return l.monthBoxes_[size_t(i - 1)].get(); });
    }
    b.Obj("MonthYear", [](TLayoutIni& l) -> TPersistent* { return l.monthYear_.get(); })
        .Obj("Notes", [](TLayoutIni& l) -> TPersistent* { return l.notes_.get(); })
        .Obj("GeneralNotes", [](TLayoutIni& l) -> TPersistent* { return l.generalNotes_.get(); });
    for (int i = 1; i <= 7; ++i) {
      const QByteArray name = "WDayNotes" + QByteArray::number(i);
      b.Obj(name.constData(), [i](TLayoutIni& l) -> TPersistent* { return l.wdayNotes_[size_t(i - 1)].get(); });
    }
    return b.Build();
  }();
  return ci;
}

TLayoutIni::TLayoutIni(TComponent* owner) : TKVSkinIni(owner) {
  SetName(QStringLiteral("Lini"));
  monthLine_ = std::make_unique<TMonthLine>();
  for (auto& b : monthBoxes_) b = std::make_unique<TMonthBox>();
  monthYear_ = std::make_unique<TLayoutItem>();
  notes_ = std::make_unique<TNotes>();
  generalNotes_ = std::make_unique<TNotes>();
  for (auto& w : wdayNotes_) w = std::make_unique<TWDayNotes>();
  sponsorImage_ = std::make_unique<TLayoutItem>();
  LayoutItems[liMonthLine] = monthLine_.get();
  for (int i = 0; i < 12; ++i) LayoutItems[size_t(liMonthBox1 + i)] = monthBoxes_[size_t(i)].get();
  LayoutItems[liMonthYear] = monthYear_.get();
  LayoutItems[liNotes] = notes_.get();
  LayoutItems[liGeneralNotes] = generalNotes_.get();
  for (int i = 0; i < 7; ++i) LayoutItems[size_t(liWDayNotes1 + i)] = wdayNotes_[size_t(i)].get();
  LayoutItems[liSponsorImage] = sponsorImage_.get();
  ResetDefaults();
  ParseLayoutLists();
}

TLayoutIni::~TLayoutIni() { Destroying(); }

void TLayoutIni::ResetDefaults() {
  XOrder.assign(kLayoutItemCount, 0);
  YOrder.assign(kLayoutItemCount, 0);
  XCalcOrder = YCalcOrder = kDefaultCalcOrder;
  for (TLayoutItem* item : LayoutItems) item->Reset();
  notes_->DiaryOnly = true;
  generalNotes_->DiaryOnly = false;
  SundayFirst = false;
  CenterX.clear();
  CenterY.clear();
  CenterXGroups.clear();
  CenterYGroups.clear();
  QImage preview(kLayoutPreviewWidth, kLayoutPreviewHeight, QImage::Format_BGR888);
  preview.fill(Qt::white);
  Picture.Image = preview;
}

void TLayoutIni::ParseLayoutLists() {
  XOrder.clear();
  YOrder.clear();
  for (int i = 0; i < kLayoutItemCount; ++i) {
    // Exactly 24 tokens: a missing token or one that is not a number is item 0.
    const int x = StrToIntDef(GetToken(XCalcOrder, i), 0);
    const int y = StrToIntDef(GetToken(YCalcOrder, i), 0);
    if (x >= 0 && x < kLayoutItemCount) XOrder.push_back(x);
    if (y >= 0 && y < kLayoutItemCount) YOrder.push_back(y);
    TLayoutItem* item = LayoutItems[size_t(i)];
    item->SXPosIndices = ParseItemList(item->SXPos);
    item->SYPosIndices = ParseItemList(item->SYPos);
    for (TLSize* s : {item->Width.get(), item->Height.get(), item->XSpace.get(), item->YSpace.get()})
      s->CtrlIndices = ParseItemList(s->Ctrls);
  }
  CenterXGroups.clear();
  CenterYGroups.clear();
  for (const QString& line : CenterX) CenterXGroups.push_back(ParseItemList(line));
  for (const QString& line : CenterY) CenterYGroups.push_back(ParseItemList(line));
}

void TLayoutIni::Loaded() {
  TKVSkinIni::Loaded();
  ParseLayoutLists();
}

bool TLayoutIni::LoadLayout(const QString& Source) {
  ResetDefaults();
  bool ok = true;
  Skin().BeginLoad();
  try {
    if (!Source.isEmpty()) {
      TextObject block = ParseObjectText(Source);
      // A layout saved under another name still loads into this object.
      block.name = Name();
      TReadHandlers h;
      h.onError = [](const QString&) { return true; };
      h.methodOwner = Owner();
      ReadComponentFromText(*this, block, h);
    }
  } catch (const EKVError&) {
    ResetDefaults();
    ok = false;
  }
  Skin().EndLoad();
  ParseLayoutLists();
  return ok;
}

void TLayoutIni::MonthIdToYearMonth(int MonthID, int ShownYear, int ShownMonth, std::uint16_t& Year,
                                    std::uint16_t& Month) {
  qint64 y = ShownYear, m = ShownMonth;
  if (MonthID == 0) {
  } else if (MonthID >= 1 && MonthID <= 12) {
    m = MonthID;
  } else {
    const qint64 offset = MonthID >= 101 ? qint64(MonthID) - 100 : qint64(MonthID) + 100;
    const qint64 mm = ShownMonth + offset;
    if (mm > 12) {
      y = ShownYear + mm / 12;
      m = mm % 12;
      if (m == 0) {
        m = 12;
        --y;
      }
    } else if (mm < 1) {
      y = ShownYear + mm / 12 - 1;
      m = mm % 12 + 12;
    } else {
      m = mm;
    }
  }
  // Month numbers far from any real calendar stay within what a date can hold.
  Year = std::uint16_t(std::clamp<qint64>(y, 1, 9999));
  Month = std::uint16_t(m);
}

void TLayoutIni::MonthIdToYearMonth(int MonthID, std::uint16_t& Year, std::uint16_t& Month) {
  MonthIdToYearMonth(MonthID, CurrentYear, CurrentMonth, Year, Month);
}
