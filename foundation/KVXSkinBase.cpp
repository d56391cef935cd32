#include "foundation/KVXSkinBase.h"

#include <QLocale>

#include "foundation/KVRes.h"
#include "foundation/KVString.h"
#include "platform/KVClock.h"

const EnumInfo kSchTypeEnum{QStringLiteral("TKVXSchType"),
                            {QStringLiteral("schOnce"), QStringLiteral("schHourly"), QStringLiteral("schDaily"),
                             QStringLiteral("schWeekly"), QStringLiteral("schMonthly"), QStringLiteral("schYearly"),
                             QStringLiteral("schBiWeekly"), QStringLiteral("schBiMonthly")}};

TKeyDate ReadDateKey(const QString& idx) {
  TKeyDate k;
  k.Year = StrToIntDef(idx.mid(0, 4), 2000);
  k.Month = StrToIntDef(idx.mid(5, 2), 1);
  k.Day = StrToIntDef(idx.mid(8, 2), 1);
  return k;
}

QString DateKey(const QDate& d) { return d.toString(QStringLiteral("yyyy/MM/dd")); }

// ---------------------------------------------------------------------------------------------
// Items

const ClassInfo& TKVXBItem::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TKVXBItem>("TKVXBItem", &TCollectionItem::StaticClass())
                                  .Str("idx", &TKVXBItem::idx)
                                  .Str("Lines", [](const TKVXBItem& i) { return i.Lines.ToString(); },
                                       [](TKVXBItem& i, const QString& v) { i.Lines = v; })
                                  .Str("Title", &TKVXBItem::Title)
                                  .Color("Color", &TKVXBItem::Color)
                                  .Build();
  return ci;
}

void TKVXBItem::Assign(const TPersistent& source) {
  if (source.InheritsFrom(TKVXBItem::StaticClass())) {
    const auto& s = static_cast<const TKVXBItem&>(source);
    idx = s.idx;
    Lines = s.Lines;
    Title = s.Title;
    Color = s.Color;
    return;
  }
  TCollectionItem::Assign(source);
}

const ClassInfo& TKVXBDiaryItem::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TKVXBDiaryItem>("TKVXBDiaryItem", &TKVXBItem::StaticClass()).Build();
  return ci;
}

const ClassInfo& TKVXBHolidayItem::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TKVXBHolidayItem>("TKVXBHolidayItem", &TKVXBItem::StaticClass())
                                  .Enum<TKVXSchType>("Schedule", kSchTypeEnum, &TKVXBHolidayItem::Schedule)
                                  .Build();
  return ci;
}

void TKVXBHolidayItem::Assign(const TPersistent& source) {
  TKVXBItem::Assign(source);
  if (source.InheritsFrom(TKVXBHolidayItem::StaticClass()))
    Schedule = static_cast<const TKVXBHolidayItem&>(source).Schedule;
}

const ClassInfo& TKVXBEventItem::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TKVXBEventItem>("TKVXBEventItem", &TKVXBItem::StaticClass())
                                  .Enum<TKVXSchType>("Schedule", kSchTypeEnum, &TKVXBEventItem::Schedule)
                                  .Float("StartDate", &TKVXBEventItem::StartDate)
                                  .Float("StartedDate", &TKVXBEventItem::StartedDate)
                                  .Float("StartTime", &TKVXBEventItem::StartTime)
                                  .Str("Caption", &TKVXBEventItem::Caption)
                                  .Str("Note", &TKVXBEventItem::Note)
                                  .Bool("Started", &TKVXBEventItem::Started)
                                  .Bool("Enabled", &TKVXBEventItem::Enabled)
                                  .Bool("Timed", &TKVXBEventItem::Timed)
                                  .Bool("Sound", &TKVXBEventItem::Sound)
                                  .Build();
  return ci;
}

TKVXBEventItem::TKVXBEventItem(TCollection* c) : TKVXBItem(c) {
  const QDateTime now = KVNow();
  StartDate = DateToDateTime(now.date());
  StartTime = TimeToDateTime(now.time());
}

void TKVXBEventItem::Assign(const TPersistent& source) {
  if (source.InheritsFrom(TKVXBEventItem::StaticClass())) {
    AssignPublished(source);
    return;
  }
  TKVXBItem::Assign(source);
}

// ---------------------------------------------------------------------------------------------
// Documents

const ClassInfo& TKVXSkinBase::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TKVXSkinBase>("TKVXSkinBase", &TKVXSkinSafeIni::StaticClass())
                                  .Obj("Data", [](TKVXSkinBase& b) -> TPersistent* { return b.data_.get(); })
                                  .Build();
  return ci;
}

TKVXSkinBase::TKVXSkinBase(TComponent* owner, std::unique_ptr<TCollection> data)
    : TKVXSkinSafeIni(owner), data_(std::move(data)) {}

int TKVXSkinBase::ItemCount() const { return data_->Count(); }

void TKVXSkinBase::ResetDefaults() {
  TKVXSkinSafeIni::ResetDefaults();
  data_->Clear();
}

const ClassInfo& TKVXSkinDiaryBase::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TKVXSkinDiaryBase>("TKVXSkinDiaryBase", &TKVXSkinBase::StaticClass()).Build();
  return ci;
}

const ClassInfo& TKVXSkinHolidayBase::StaticClass() {
  static const ClassInfo ci =
      ClassBuilder<TKVXSkinHolidayBase>("TKVXSkinHolidayBase", &TKVXSkinBase::StaticClass()).Build();
  return ci;
}

const ClassInfo& TKVXSkinEventBase::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TKVXSkinEventBase>("TKVXSkinEventBase", &TKVXSkinBase::StaticClass()).Build();
  return ci;
}

TKVXSkinEventBase::TKVXSkinEventBase(TComponent* owner) : TKVXSkinItemsBase(owner) { RefreshDateState(); }

// ---------------------------------------------------------------------------------------------
// Recurrence texts

QString ScheduleText(const TKVXBEventItem& Item) {
  const TKVLanguageResource& t = LanguageResource();
  const QLocale loc;
  const QDate start = DateTimeToDate(Item.StartDate);
  const QTime time = DateTimeToTime(Item.StartTime);
  const QString date = loc.toString(start, QLocale::ShortFormat);
  const QString at = Item.Timed ? t.RSAt + QLatin1Char(' ') + loc.toString(time, QLocale::ShortFormat) : t.RSAtStartup;
  const QString day = start.toString(QStringLiteral("dd"));
  const QString dayMonth = day + QLatin1Char(' ') + loc.monthName(start.month(), QLocale::LongFormat);
  const QString weekday = loc.dayName(start.dayOfWeek(), QLocale::LongFormat);
  switch (Item.Schedule) {
    case schOnce: return t.RSOnce + QLatin1Char(' ') + date + QLatin1Char(' ') + at;
    case schHourly:
      return Item.Timed ? t.RSHourly + QLatin1Char(' ') + t.RSAt + QLatin1Char(' ') + QString::number(time.minute())
                        : QString();
    case schDaily: return t.RSDaily + QLatin1Char(' ') + at;
    case schWeekly: return t.RSWeeklyEvery + QLatin1Char(' ') + weekday + QLatin1Char(' ') + at;
    case schMonthly: return t.RSMonthly + QLatin1Char(' ') + day + QLatin1Char(' ') + at;
    case schYearly: return t.RSYearly + QLatin1Char(' ') + dayMonth + QLatin1Char(' ') + at;
    case schBiWeekly:
    case schBiMonthly: return {};
  }
  return {};
}

QString EventItemCaption(const TKVXBEventItem& Item) { return ScheduleText(Item) + QStringLiteral(" - ") + Item.Caption; }

// ---------------------------------------------------------------------------------------------
// Date state

QDate CurrentDate;
QTime CurrentTime;
std::uint16_t CurrentYear, CurrentMonth, CurrentDay, CurrentDayOfWeek, CurrentHour, CurrentMinute, CurrentSecond,
    CurrentMSec;

void SetDateState(const QDateTime& now) {
  CurrentDate = now.date();
  CurrentTime = now.time();
  CurrentYear = std::uint16_t(CurrentDate.year());
  CurrentMonth = std::uint16_t(CurrentDate.month());
  CurrentDay = std::uint16_t(CurrentDate.day());
  CurrentDayOfWeek = std::uint16_t(DayOfWeekSundayFirst(CurrentDate));
  CurrentHour = std::uint16_t(CurrentTime.hour());
  CurrentMinute = std::uint16_t(CurrentTime.minute());
  CurrentSecond = std::uint16_t(CurrentTime.second());
  CurrentMSec = std::uint16_t(CurrentTime.msec());
}

void RefreshDateState() { SetDateState(KVNow()); }

namespace {
const bool g_dateStateSet = [] {
  RefreshDateState();
  return true;
}();
}  // namespace
