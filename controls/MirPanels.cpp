#include "controls/MirPanels.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QStyle>
#include <algorithm>
#include <functional>

#include "controls/KVStdCtrls.h"
#include "foundation/KVForms.h"
#include "foundation/KVPicture.h"

TMImgPanel::TMImgPanel(int ThumbSize, QWidget* parent)
    : TKVIdxPanel(parent),
      bevel_(new TKVBevel(this)),
      image_(new TKVImage(this)),
      checkBox_(new QCheckBox(this)),
      badge_(new TKVImage(this)) {
  const TMThumbSizes s = ThumbSizes(ThumbSize);
  resize(s.Panel);
  bevel_->setGeometry(QRect(QPoint(3, 3), s.Bevel));
  image_->setGeometry(QRect(QPoint(4, 4), s.Image));
  image_->SetStretch(true);
  // A bare indicator: 13 x 13 on the classic desktop, the style's own indicator size here (a smaller
  // box would cut off its frame).
  const QStyle* style = checkBox_->style();
  checkBox_->setGeometry(6, 6, std::max(13, style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, checkBox_)),
                         std::max(13, style->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, checkBox_)));
  checkBox_->setFocusPolicy(Qt::NoFocus);
  badge_->setGeometry(25, 5, 20, 20);
  badge_->SetAutoSize(true);
  const auto select = [this](TKVImage*) { Select(); };
  image_->OnClick.Set(select);
  badge_->OnClick.Set(select);
  connect(checkBox_, &QCheckBox::clicked, this, Guarded([this] { CheckBoxClick(); }));
}

void TMImgPanel::CheckBoxClick() { OnCheck(this); }

bool TMImgPanel::Toggle() {
  checkBox_->click();
  return true;
}

void TMImgPanel::SetNumber(int n) {
  number_ = n;
  const QString t = QString::number(n);
  TKVBitmap& b = badge_->Bitmap();
  b.BrushStyle = bsSolid;
  b.BrushColor = 0xC0C0C0;
  badge_->SetTransparent(true);
  b.SetSize(b.TextWidth(t) + 6, b.TextHeight(t) + 6);
  b.FillRect(GraphicBounds(b));
  b.BrushStyle = bsClear;
  // The shadow below and right, and an outline on the other sides too: white digits with only a
  // shadow vanish on a light picture.
  b.FontColor = clBlack;
  for (int y = 0; y <= 2; ++y)
    for (int x = 0; x <= 2; ++x)
      if (x != 1 || y != 1) b.TextOut(x, y, t);
  b.FontColor = 0xFFFFFF;
  b.TextOut(1, 1, t);
  badge_->Changed();
}

TMLayoutPanel::TMLayoutPanel(QWidget* parent)
    : TKVIdxPanel(parent), bevel_(new TKVBevel(this)), image_(new TKVImage(this)) {
  resize(104, 80);
  bevel_->setGeometry(3, 3, 98, 74);
  image_->setGeometry(4, 4, 96, 72);
  image_->SetStretch(true);
  image_->OnClick.Set([this](TKVImage*) { Select(); });
}

namespace {

// A combo box that tells before its list drops down, by mouse or by key.
class TDropDownComboBox : public QComboBox {
 public:
  using QComboBox::QComboBox;
  std::function<void()> OnDropDown;
  void showPopup() override {
    if (OnDropDown) RunGuarded(OnDropDown);
    QComboBox::showPopup();
  }
};

// The keys that drop the date picker's calendar down.
bool DropsDownCalendar(const QKeyEvent& e) {
  return e.key() == Qt::Key_F4 ||
         ((e.modifiers() & Qt::AltModifier) && (e.key() == Qt::Key_Down || e.key() == Qt::Key_Up));
}

}  // namespace

TMHolidayPanel::TMHolidayPanel(QWidget* parent)
    : TKVIdxPanel(parent), date_(new QDateEdit(this)), schedule_(new TDropDownComboBox(this)), title_(new QLineEdit(this)) {
  resize(496, 33);
  date_->setCalendarPopup(true);
  date_->setGeometry(4, 6, 110, 21);
  schedule_->setGeometry(118, 6, 110, 21);
  title_->setGeometry(232, 6, 260, 21);
  static_cast<TDropDownComboBox*>(schedule_)->OnDropDown = [this] { Select(); };
  // Clicks on the date's text reach its inner edit.
  dateText_ = date_->findChild<QLineEdit*>();
  for (QObject* o : {static_cast<QObject*>(date_), static_cast<QObject*>(schedule_), static_cast<QObject*>(title_),
                     static_cast<QObject*>(dateText_)})
    if (o) o->installEventFilter(this);
  // A wheel over an unfocused field scrolls the list instead of changing the field.
  date_->setFocusPolicy(Qt::StrongFocus);
  schedule_->setFocusPolicy(Qt::StrongFocus);
}

void TMHolidayPanel::TitleEnter() {
  Select();
  title_->selectAll();
}

bool TMHolidayPanel::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonPress:
      if (watched == date_ || (dateText_ && watched == dateText_)) RunGuarded([this] { Select(); });
      break;
    case QEvent::KeyPress:
      if ((watched == date_ || (dateText_ && watched == dateText_)) &&
          DropsDownCalendar(*static_cast<QKeyEvent*>(event)))
        RunGuarded([this] { Select(); });
      break;
    case QEvent::MouseButtonRelease:
      if (watched == title_ && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        // The edit places its cursor on the press; the whole text is selected after the click.
        title_->event(event);
        RunGuarded([this] { TitleEnter(); });
        return true;
      }
      break;
    case QEvent::Wheel:
      if ((watched == date_ || watched == schedule_) && !static_cast<QWidget*>(watched)->hasFocus()) {
        event->ignore();
        return true;
      }
      break;
    default:
      break;
  }
  return TKVIdxPanel::eventFilter(watched, event);
}
