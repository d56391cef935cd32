#pragma once
// Documents of dated items (diary, holidays, events) and the shared date state.
#include <QDate>
#include <QDateTime>
#include <QString>
#include <cstdint>
#include <memory>

#include "foundation/KVClasses.h"
#include "foundation/KVString.h"
#include "foundation/KVXSkin.h"

enum TKVXSchType { schOnce, schHourly, schDaily, schWeekly, schMonthly, schYearly, schBiWeekly, schBiMonthly };
extern const EnumInfo kSchTypeEnum;

// The year, month and day of a date key read by position: year in characters 1-4 (2000 when not a
// number), month in 6-7 and day in 9-10 (1 when not a number). The separators are not checked.
struct TKeyDate {
  int Year = 2000, Month = 1, Day = 1;
};
TKeyDate ReadDateKey(const QString& idx);
// "yyyy/MM/dd".
QString DateKey(const QDate& d);

class TKVXBItem : public TCollectionItem {
  KV_CLASS(TKVXBItem)
 public:
  using TCollectionItem::TCollectionItem;
  QString idx;
  TKVText Lines;
  QString Title;
  TColor Color = clBlack;
  QString GetDisplayName() const override { return idx; }
  void Assign(const TPersistent& source) override;
  TKeyDate Key() const { return ReadDateKey(idx); }
};

class TKVXBDiaryItem : public TKVXBItem {
  KV_CLASS(TKVXBDiaryItem)
 public:
  using TKVXBItem::TKVXBItem;
};

class TKVXBHolidayItem : public TKVXBItem {
  KV_CLASS(TKVXBHolidayItem)
 public:
  using TKVXBItem::TKVXBItem;
  TKVXSchType Schedule = schOnce;
  void Assign(const TPersistent& source) override;
};

class TKVXBEventItem : public TKVXBItem {
  KV_CLASS(TKVXBEventItem)
 public:
  // Starts today, now, enabled and with sound.
  explicit TKVXBEventItem(TCollection* c);
  TKVXSchType Schedule = schOnce;
  TDateTime StartDate = 0;
  TDateTime StartedDate = 0;
  TDateTime StartTime = 0;
  QString Caption;
  QString Note;
  bool Started = false;
  bool Enabled = true;
  bool Timed = false;
  bool Sound = true;
  void Assign(const TPersistent& source) override;
};

template <class Item>
using TKVXBCollection = TKVCollection<Item>;

// A safe document with one published collection of dated items, Data.
class TKVXSkinBase : public TKVXSkinSafeIni {
  KV_CLASS(TKVXSkinBase)
 public:
  TKVXSkinBase(TComponent* owner, std::unique_ptr<TCollection> data);
  // Rebuilt by the owner after a load; nothing to index here.
  virtual void RebuildIndex() {}
  void ResetDefaults() override;
  int ItemCount() const override;
  TCollection& DataCollection() { return *data_; }

 protected:
  std::unique_ptr<TCollection> data_;
};

template <class Item>
class TKVXSkinItemsBase : public TKVXSkinBase {
 public:
  explicit TKVXSkinItemsBase(TComponent* owner)
      : TKVXSkinBase(owner, std::make_unique<TKVXBCollection<Item>>(nullptr)) {}
  TKVXBCollection<Item>& Data() { return static_cast<TKVXBCollection<Item>&>(*data_); }
  const TKVXBCollection<Item>& Data() const { return static_cast<const TKVXBCollection<Item>&>(*data_); }
};

class TKVXSkinDiaryBase : public TKVXSkinItemsBase<TKVXBDiaryItem> {
  KV_CLASS(TKVXSkinDiaryBase)
 public:
  using TKVXSkinItemsBase::TKVXSkinItemsBase;
};

class TKVXSkinHolidayBase : public TKVXSkinItemsBase<TKVXBHolidayItem> {
  KV_CLASS(TKVXSkinHolidayBase)
 public:
  using TKVXSkinItemsBase::TKVXSkinItemsBase;
};

class TKVXSkinEventBase : public TKVXSkinItemsBase<TKVXBEventItem> {
  KV_CLASS(TKVXSkinEventBase)
 public:
  // Also sets the shared date state to now.
  explicit TKVXSkinEventBase(TComponent* owner);
};

// "<recurrence> - <caption>".
QString EventItemCaption(const TKVXBEventItem& Item);
// The recurrence text of an event ("Daily at 10:05 AM", "Weekly every Monday at startup", ...).
QString ScheduleText(const TKVXBEventItem& Item);

// The shared date state: today's date and time; the year and month are the ones the calendar shows.
extern QDate CurrentDate;
extern QTime CurrentTime;
extern std::uint16_t CurrentYear, CurrentMonth, CurrentDay, CurrentDayOfWeek, CurrentHour, CurrentMinute,
    CurrentSecond, CurrentMSec;
// Sets all of it from a clock reading (the wall clock by default).
void SetDateState(const QDateTime& now);
void RefreshDateState();
