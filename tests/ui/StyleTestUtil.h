#pragma once
// A model with a drawable image set, layout pack files written by the pack writer, and the
// Calendar Style page over them with its drawings counted.
#include <QDir>
#include <QImage>
#include <QList>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QSlider>
#include <QTest>
#include <memory>
#include <vector>

#include "calendar/MDataDM.h"
#include "calendar/MirModel.h"
#include "calendar/iniData.h"
#include "foundation/KVObjectText.h"
#include "foundation/KVSysUtils.h"
#include "platform/KVRegistry.h"
#include "tests/common/MainFormComponent.h"
#include "tests/common/TestUtil.h"
#include "tools/kvpack/PackWriter.h"
#include "ui/StyleTab.h"

namespace styletest {

using kvtest::FormComponent;

// A layout with an id and extra property lines (two blanks of indent each).
inline QString LayoutText(int id, const QString& extra = {}) {
  return QStringLiteral("object Lini: TLayoutIni\r\n  LayoutID = %1\r\n%2end\r\n").arg(id).arg(extra);
}

// A month line standing upright at the top, a given number of pixels high.
inline QString UprightMonthLine(int height) {
  return QStringLiteral(
             "  MonthLine.Visible = True\r\n  MonthLine.Anchors = [akLeft, akTop]\r\n"
             "  MonthLine.Height.ValueType = lsFixed\r\n  MonthLine.Height.Value = %1\r\n"
             "  MonthLine.Width.ValueType = lsFixed\r\n  MonthLine.Width.Value = 80\r\n")
      .arg(height);
}

inline kvpack::PackEntry LayoutEntry(const QString& text, bool compressed = true) {
  return {compressed ? kvpack::kKindLayout : kvpack::kKindLayoutPlain, EncodeObjectTextBytes(text)};
}

// A folder of its own for each fixture.
inline QString FreshFolder(const QString& name) {
  const QString dir = kvtest::TestRoot() + "/" + name;
  QDir(dir).removeRecursively();
  QDir().mkpath(dir);
  return dir + "/";
}

struct Recorder {
  QList<bool> renders;  // the RecalcLayout of each drawing asked for
  int NotesHiddenCalls = 0;
  bool NotesHidden = false;
};

// The model of the main form with one picture to draw on a small screen, not busy.
struct StyleFixture {
  FormComponent form;
  std::unique_ptr<TMirModel> model;
  Recorder rec;
  QString folder;
  TWorkArea area{1080, 0, 1040, 96};
  std::unique_ptr<TStyleTab> page;

  explicit StyleFixture(const QString& name, QByteArray builtin = QByteArray()) {
    RegistryStore::ResetAll();
    folder = FreshFolder(name);
    TMirModelHooks mh;
    mh.ScreenSize = [] { return QSize(480, 270); };
    model = std::make_unique<TMirModel>(form, mh);
    QImage pic(64, 36, QImage::Format_RGB32);
    pic.fill(Qt::darkCyan);
    const QString file = folder + "pic.png";
    pic.save(file);
    model->Ini->UserImageSet = true;
    model->UsedImages = {file};
    model->SetBusy(false);
    TStyleTabHooks h;
    h.RenderCalendar = [this](bool recalc) {
      rec.renders << recalc;
      model->RenderCalendar(recalc);
    };
    QObject::connect(&model->Changes, &TMirModelChanges::NotesHiddenChanged, [this](bool hidden) {
      ++rec.NotesHiddenCalls;
      rec.NotesHidden = hidden;
    });
    h.WorkArea = [this] { return area; };
    if (!builtin.isNull()) h.BuiltinLayouts = [builtin] { return builtin; };
    h.LayoutFolder = [this] { return folder; };
    page = std::make_unique<TStyleTab>(*model, h);
  }
  ~StyleFixture() {
    page.reset();
    model.reset();
  }
  Tini& ini() { return *model->Ini; }
  TCalendarStyle& work() { return model->Ini->WorkStyle; }
  TCalendarStyle& stored() { return model->Ini->StoredStyle; }
  void WritePack(const QString& name, const std::vector<kvpack::PackEntry>& entries) {
    kvpack::WritePack(folder + name, kLayoutPackVersion, entries);
  }
};

// Every drawing asked for through the page has been made.
inline void Settle() {
  for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
}

// The middle of a slider's handle, in the slider's coordinates.
inline QPoint HandleCentre(QSlider& s) {
  QStyleOptionSlider opt;
  opt.initFrom(&s);
  opt.orientation = s.orientation();
  opt.minimum = s.minimum();
  opt.maximum = s.maximum();
  opt.sliderPosition = s.sliderPosition();
  opt.sliderValue = s.value();
  opt.singleStep = s.singleStep();
  opt.pageStep = s.pageStep();
  opt.upsideDown = s.invertedAppearance();
  opt.tickPosition = s.tickPosition();
  opt.tickInterval = s.tickInterval();
  opt.subControls = QStyle::SC_SliderHandle;
  return s.style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, &s).center();
}

}  // namespace styletest
