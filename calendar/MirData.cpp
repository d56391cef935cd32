#include "calendar/MirData.h"

#include <QBuffer>
#include <functional>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>
#include <QtEndian>
#include <algorithm>

#include "controls/KVStdCtrls.h"
#include "foundation/KVForms.h"

#include "foundation/KVPicture.h"
#include "foundation/KVRStream.h"

// ---------------------------------------------------------------------------------------------
// TMirovaAdItem, TMirovaIni

const ClassInfo& TMirovaAdItem::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TMirovaAdItem>("TMirovaAdItem", &TCollectionItem::StaticClass())
                                  .Bool("BlendImage", &TMirovaAdItem::BlendImage, false)
                                  .Int("BlendContrast", &TMirovaAdItem::BlendContrast, 0)
                                  .Color("TransparentColor", &TMirovaAdItem::TransparentColor, 0)
                                  .Str("SponsorText", &TMirovaAdItem::SponsorText)
                                  .Build();
  return ci;
}

const ClassInfo& TMirovaIni::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TMirovaIni>("TMirovaIni", &TKVSkinIni::StaticClass())
                                  .Bool("ShowSponsorImg", &TMirovaIni::ShowSponsorImg)
                                  .Obj("Ads", [](TMirovaIni& m) -> TPersistent* { return &m.Ads; })
                                  .Build();
  return ci;
}

TMirovaIni::TMirovaIni(TComponent* owner) : TKVSkinIni(owner), Ads(this) { SetName(QStringLiteral("MirPackIni")); }

void TMirovaIni::ResetDefaults() {
  ShowSponsorImg = true;
  Ads.Clear();
}

// ---------------------------------------------------------------------------------------------
// TMirovaHeaderObject

const ClassInfo& TMirovaHeaderObject::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TMirovaHeaderObject>("TMirovaHeaderObject", &TPersistent::StaticClass()).Build();
  return ci;
}

bool TMirovaHeaderObject::ReadHeaderRecord(QIODevice& Stream) {
  char raw[8] = {};
  const qint64 n = Stream.read(raw, 8);
  Header[0] = qFromLittleEndian<qint32>(raw);
  Header[1] = qFromLittleEndian<qint32>(raw + 4);
  return n == 8;
}

// ---------------------------------------------------------------------------------------------
// TMThnList

int TMThnList::IndexOf(const QString& Key) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].key.compare(Key, Qt::CaseInsensitive) == 0) return int(i);
  return -1;
}

void TMThnList::Add(const QString& Key, const QByteArray& Data) { items_.push_back({Key, Data}); }

void TMThnList::Clear() { items_.clear(); }

bool TMThnList::ReadHeaderEntry(TKVResFileReader& r) {
  if (r.Version() != kThumbPackVersion || r.Count() < 1) return false;
  const QByteArray h = r.ReadBuffer(0);
  if (h.size() < 12) return false;
  Tag = qFromLittleEndian<qint32>(h.constData());
  ThumbWidth = qFromLittleEndian<qint32>(h.constData() + 4);
  ThumbHeight = qFromLittleEndian<qint32>(h.constData() + 8);
  return true;
}

void TMThnList::ReadThumbHeader(const QString& FileName) {
  Tag = ThumbWidth = ThumbHeight = 0;
  try {
    TKVResFileReader r(FileName);
    ReadHeaderEntry(r);
  } catch (const EKVError&) {
    Tag = ThumbWidth = ThumbHeight = 0;
  }
}

namespace {

// The bytes of a bitmap file of Width x Height at up to 32 bits per pixel, with a full palette.
qint64 ThumbFileBudget(qint64 Width, qint64 Height) { return 54 + 1024 + Width * 4 * Height; }

}  // namespace

void TMThnList::LoadThumbs(const QString& FileName) {
  try {
    TKVResFileReader r(FileName);
    if (!ReadHeaderEntry(r)) return;
    if (ThumbWidth < 0 || ThumbHeight < 0 || ThumbWidth > kMaxThumbSide || ThumbHeight > kMaxThumbSide) return;
    const qint64 budget = 8 + kMaxThumbKeyBytes + ThumbFileBudget(ThumbWidth, ThumbHeight);
    for (int i = 1; i < r.Count(); ++i) {
      const QByteArray e = r.ReadBuffer(i, budget);
      if (e.size() < 8) return;
      const qint64 nameLen = qFromLittleEndian<qint32>(e.constData());
      const qint64 dataSize = qFromLittleEndian<qint32>(e.constData() + 4);
      // Lengths that the entry cannot hold end the load here.
      if (nameLen < 0 || dataSize < 0 || nameLen > kMaxThumbKeyBytes || 8 + nameLen + dataSize > e.size()) return;
      Add(QString::fromUtf8(e.constData() + 8, nameLen), e.mid(8 + nameLen, dataSize));
    }
  } catch (const EKVError&) {
  }
}

bool TMThnList::SaveThumbs(const QString& FileName, QString* Reason) const {
  try {
    TKVResFileWriter w(kThumbPackVersion, true, FileName);
    char head[12];
    qToLittleEndian<qint32>(Tag, head);
    qToLittleEndian<qint32>(ThumbWidth, head + 4);
    qToLittleEndian<qint32>(ThumbHeight, head + 8);
    w.AddBuffer(kThumbHeaderKind, QByteArray(head, 12));
    for (const Item& it : items_) {
      const QByteArray key = it.key.toUtf8();
      QByteArray e(8, '\0');
      qToLittleEndian<qint32>(qint32(key.size()), e.data());
      qToLittleEndian<qint32>(qint32(it.data.size()), e.data() + 4);
      e.append(key).append(it.data);
      w.AddBuffer(kThumbEntryKind, e);
    }
    w.Save();
    return true;
  } catch (const EKVError& e) {
    if (Reason) *Reason = e.Reason();
    return false;
  }
}

void TMThnList::AddThumb(const QString& Key, const QImage& Graphic) {
  QBuffer b;
  b.open(QIODevice::WriteOnly);
  WriteBitmap24(b, Graphic);
  Add(Key, b.data());
}

QImage TMThnList::Thumb(int i) const {
  if (i < 0 || i >= Count() || Streams(i).isEmpty()) return {};
  const bool sized = ThumbWidth > 0 && ThumbHeight > 0;
  const qint64 most = sized ? qint64(std::min(ThumbWidth, kMaxThumbSide)) * std::min(ThumbHeight, kMaxThumbSide)
                            : qint64(kMaxThumbSide) * kMaxThumbSide;
  try {
    return DecodeBMP(Streams(i), most);
  } catch (const EKVError&) {
    return {};
  }
}

// ---------------------------------------------------------------------------------------------
// Item panels

std::uint8_t ThumbSize = 1;

TMThumbSizes ThumbSizes(int thumbSize) {
  switch (thumbSize) {
    case 0:
      return {QSize(102, 78), QSize(96, 72), QSize(94, 70)};
    case 1:
      return {QSize(136, 104), QSize(130, 98), QSize(128, 96)};
    default:
      return {QSize(204, 155), QSize(198, 149), QSize(196, 147)};
  }
}

TMImgPanel::TMImgPanel(QWidget* parent)
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
