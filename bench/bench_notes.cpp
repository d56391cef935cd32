// What the notes boxes add to a drawing at 1080p: a redraw with the picture cached, without notes
// and with a full notes box (sponsor text, quick notes cut at two thirds of the box, then the
// coming days with holidays and diary entries down to the box's bottom), with the general notes
// box beside a diary-only notes box, and with the seven week-day boxes. Real fonts, the real
// rich-text editor, the settings saved as after every drawing. Then the full notes box over a diary
// of 10 and of 100,000 entries (goal: the large diary within 1.2 times the small one). Last the
// first drawing after the quick notes changed, with an ordinary note and with long texts pasted
// into it (goal: each long text within ten times the ordinary note, far under a second).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QLinearGradient>
#include <QPainter>
#include <QTemporaryDir>

#include "calendar/KVXSkinBaseM1.h"
#include "calendar/MDataDM.h"
#include "calendar/MirData.h"
#include "calendar/MirNotes.h"
#include "calendar/MirRender.h"
#include "calendar/iniData.h"
#include "controls/KVNbData.h"
#include "foundation/KVObjectText.h"
#include "foundation/KVRStream.h"
#include "bench/BenchUtil.h"

namespace {

using kvbench::BuiltinLayout;

QString RichLines(const QString& first, int lines) {
  QString rtf = QStringLiteral("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 DejaVu Sans;}}{\\colortbl;\\red0\\green0\\blue128;}\\f0\\fs18 ");
  rtf += QStringLiteral("\\b ") + first + QStringLiteral("\\b0\\par ");
  for (int i = 1; i < lines; ++i)
    rtf += QStringLiteral("\\cf1 Item %1\\cf0  with a few more words to wrap now and then\\par ").arg(i);
  return rtf + QStringLiteral("}");
}

struct Scene {
  Tini ini;
  TLayoutIni layout;
  TMHolidayBase holidays;
  TMNotesBase notes;
  TMirovaIni pack;
  TRenderState state;
  TRenderInputs in;
  std::map<QString, QString> diary;
  // With DiarySize > 0 the entries are looked up in a notebook that holds DiarySize entries of
  // the days before today, and none of the coming year's: every coming day is looked up.
  TNbDataList notebook{false};
  int lookups = 0;

  Scene(int layoutId, bool withNotes, int option, int diarySize = 0) {
    const QDate today = QDate::currentDate();
    ini.UserImageSet = true;
    ini.ImagePosition = 2;
    ini.WorkStyle.DayFont.Name = QStringLiteral("DejaVu Sans");
    ini.WorkStyle.MonthBarTransparency = 60;
    ini.WorkStyle.NotesTransparency = 60;
    ini.ShowNotes = true;
    ini.ShowNotesOptions = option;
    layout.LoadLayout(BuiltinLayout(layoutId));
    pack.Ads.Add()->SponsorText = QStringLiteral("Pictures kindly lent by the photo club");
    notes.QuickNote.SetText(RichLines(QStringLiteral("Quick notes"), 40));
    for (int d = 0; d < 60; ++d)
      diary[today.addDays(d).toString(QStringLiteral("yyyy/MM/dd"))] = RichLines(QStringLiteral("Entry %1").arg(d), 2 + d % 3);
    // (Holidays fill the box too: a diary scene has none, so that a whole year is looked up.)
    for (int d = 1; d < 60 && diarySize == 0; d += 9) {
      TKVXBHolidayItem* h = holidays.Data().Add();
      h->idx = today.addDays(d).toString(QStringLiteral("yyyy/MM/dd"));
      h->Schedule = schOnce;
      h->Title = QStringLiteral("A holiday with a longish title");
    }
    in.Settings = &ini;
    in.Layout = &layout;
    in.Holidays = &holidays;
    in.PackIni = &pack;
    in.ScreenSize = QSize(1920, 1080);
    in.PixelsPerInch = 96;
    in.Now = QDateTime(today, QTime(9, 30));
    in.Locale = QLocale(QLocale::English, QLocale::UnitedStates);
    if (withNotes) {
      in.DrawNotes = DrawNotesBoxes;
      in.QuickNotes = &notes;
      in.FindDiaryEntry = [this](const QString& key) -> std::optional<QString> {
        auto it = diary.find(key);
        if (it == diary.end()) return std::nullopt;
        return it->second;
      };
    }
    if (withNotes && diarySize > 0) {
      QStringList lines;
      for (int d = -diarySize; d < 0; ++d) {
        lines << QStringLiteral("<!--*NB*%1*--><!--*NBT*Entry*--><!--*NBC*clBlack*-->")
                     .arg(today.addDays(d).toString(QStringLiteral("yyyy/MM/dd")));
        lines << RichLines(QStringLiteral("Old entry"), 2);
      }
      notebook.AddSection();
      notebook.LoadSectionFromStrings(lines, 0);
      in.FindDiaryEntry = [this](const QString& key) -> std::optional<QString> {
        ++lookups;
        const TNbObject* e = notebook.FindEntry(key);
        if (!e || e->Text.isEmpty()) return std::nullopt;
        return e->Text;
      };
    }
    QImage picture(1920, 1080, QImage::Format_RGB32);
    QPainter p(&picture);
    QLinearGradient sky(0, 0, 0, 1080);
    sky.setColorAt(0, QColor(40, 90, 170));
    sky.setColorAt(1, QColor(210, 180, 120));
    p.fillRect(picture.rect(), sky);
    p.end();
    state.CurrentPicture = std::make_unique<TCurrentPicture>();
    state.CurrentPicture->Graphic = picture;
    state.CurrentPicture->LoadedFor = QSize(1920, 1080);
    FitCalendarFont(state, ini.WorkStyle.DayFont, ini.WorkStyle.DaySpace, 1080 - 40, 96, in.Locale);
    holidays.RebuildIndex();
    RenderCalendar(state, in, true);
    // KV_RENDER_DUMP names a folder to keep the first frame in, for looking at it.
    if (qEnvironmentVariableIsSet("KV_RENDER_DUMP"))
      state.Preview.Image().save(qEnvironmentVariable("KV_RENDER_DUMP") + QStringLiteral("/bench-notes-%1-%2.png").arg(layoutId).arg(withNotes));
  }
};

void Redraw(benchmark::State& st, int layoutId, bool withNotes, int option, int diarySize = 0) {
  Scene s(layoutId, withNotes, option, diarySize);
  s.lookups = 0;
  RenderCalendar(s.state, s.in, false);
  // The same drawing whatever the diary's size: a year of days looked up, none found.
  if (diarySize > 0) st.counters["days_looked_up"] = s.lookups;
  for (auto _ : st) {
    RenderCalendar(s.state, s.in, false);
    benchmark::DoNotOptimize(s.state.Preview.ScanLine(0));
  }
}

// Layout 151 (a notes box of 22 x 52 per cent of the screen).
void BM_Redraw151WithoutNotes(benchmark::State& st) { Redraw(st, 151, false, 0); }
void BM_Redraw151FullNotesBox(benchmark::State& st) { Redraw(st, 151, true, 0); }
// Layout 171: a diary-only notes box and the general notes box.
void BM_Redraw171WithoutNotes(benchmark::State& st) { Redraw(st, 171, false, 0); }
void BM_Redraw171DiaryAndGeneralNotes(benchmark::State& st) { Redraw(st, 171, true, 0); }
// Layout 161: the seven week-day boxes.
void BM_Redraw161WithoutNotes(benchmark::State& st) { Redraw(st, 161, false, 0); }
void BM_Redraw161WeekDayBoxes(benchmark::State& st) { Redraw(st, 161, true, 0); }
// Layout 151's full notes box with its entries in a diary of Arg entries.
void BM_Redraw151DiaryOf(benchmark::State& st) { Redraw(st, 151, true, 0, int(st.range(0))); }

// The quick notes of the first drawing after they changed: nothing is kept from before.
void FirstDraw(benchmark::State& st, const QString& note) {
  Scene s(151, true, 0);
  s.notes.QuickNote.SetText(note);
  s.state.NotesCache.reset();
  RenderCalendar(s.state, s.in, false);
  for (auto _ : st) {
    s.state.NotesCache.reset();
    RenderCalendar(s.state, s.in, false);
    benchmark::DoNotOptimize(s.state.Preview.ScanLine(0));
  }
  st.counters["note_chars"] = double(note.size());
}

QString LongNote(int kind) {
  const QString head = QStringLiteral("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 DejaVu Sans;}}\\f0\\fs18 ");
  switch (kind) {
    case 0: return head + QString(1 << 20, QLatin1Char('x')) + QStringLiteral("}");  // one paragraph, no break
    case 1: return head + QStringLiteral("\\tx5\\cell\\tab").repeated(60000) + QStringLiteral("}");
    case 2: return head + QStringLiteral("\\par ").repeated(200000) + QStringLiteral("}");
    default: return head + QStringLiteral("word ").repeated(200000) + QStringLiteral("}");  // 1 MB of words
  }
}

void BM_FirstDraw151OrdinaryNote(benchmark::State& st) { FirstDraw(st, RichLines(QStringLiteral("Quick notes"), 40)); }
// Arg: 0 a 1 MB paragraph without a break, 1 60,000 tiny tab stops and tabs, 2 200,000 empty
// paragraphs, 3 1 MB of words in one paragraph.
void BM_FirstDraw151LongNote(benchmark::State& st) { FirstDraw(st, LongNote(int(st.range(0)))); }

}  // namespace

BENCHMARK(BM_Redraw151WithoutNotes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Redraw151FullNotesBox)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Redraw171WithoutNotes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Redraw171DiaryAndGeneralNotes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Redraw161WithoutNotes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Redraw161WeekDayBoxes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Redraw151DiaryOf)->Arg(10)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstDraw151OrdinaryNote)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstDraw151LongNote)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) { return kvbench::RunBenchmarks(argc, argv); }
