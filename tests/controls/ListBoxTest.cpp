#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QTemporaryDir>

#include "controls/KVFontCombo.h"
#include "controls/KVListBox.h"
#include "controls/KVRtfReader.h"
#include "tests/common/SkipMissing.h"

namespace {

// Entries that live as long as the test.
class Entries {
 public:
  TNbObject* Make(const QString& id, bool folder = false, const QString& title = {}) {
    items_.push_back(std::make_unique<TNbObject>());
    items_.back()->SetData(id, title, QString(), clBlack, folder);
    return items_.back().get();
  }

 private:
  std::vector<std::unique_ptr<TNbObject>> items_;
};

QStringList Captions(const TKVListItems& items) {
  QStringList c;
  for (const TKVListItem& i : items) c << i.Caption;
  return c;
}

QStringList Captions(const TKVCustomListBox& box) { return Captions(box.Items()); }

TEST(ListSort, TextOrdersIgnoreCase) {
  TKVListItems items{{"b", nullptr}, {"A", nullptr}, {"c", nullptr}, {"a2", nullptr}};
  SortListItems(items, soAscending);
  EXPECT_EQ(Captions(items), QStringList({"A", "a2", "b", "c"}));
  SortListItems(items, soDescending);
  EXPECT_EQ(Captions(items), QStringList({"c", "b", "a2", "A"}));
  TKVListItems same = items;
  SortListItems(same, soNone);
  EXPECT_EQ(Captions(same), Captions(items));
}

TEST(ListSort, FoldersComeFirstWithTheParentAtTheTop) {
  Entries e;
  TKVListItems items{{"beta", e.Make("1")},
                     {"Zeta", e.Make("2", true)},
                     {"Aa", e.Make("3")},
                     {"..", e.Make("0", true)},
                     {"alpha", e.Make("4", true)},
                     {"plain", nullptr}};
  SortListItems(items, soFolderAscending);
  EXPECT_EQ(Captions(items), QStringList({"..", "alpha", "Zeta", "Aa", "beta", "plain"}));
  SortListItems(items, soFolderDescending);
  EXPECT_EQ(Captions(items), QStringList({"..", "Zeta", "alpha", "plain", "beta", "Aa"}));
}

TEST(ListSort, DiaryOrderReadsDatesFromTheIDs) {
  Entries e;
  TKVListItems items{{"x", e.Make("2005/03/14")}, {"y", e.Make("2004/12/31")}, {"z", e.Make("abc")},
                     {"w", e.Make("2005/02/30")}};
  SortListItems(items, soDiaryAscending);
  // abc is 1 January 2000; an impossible date is day 0 of the date scale.
  EXPECT_EQ(Captions(items), QStringList({"w", "z", "y", "x"}));
  SortListItems(items, soDiaryDescending);
  EXPECT_EQ(Captions(items), QStringList({"x", "y", "z", "w"}));
  EXPECT_EQ(DiaryKeyDays("2000/01/01"), 36526);
  EXPECT_EQ(DiaryKeyDays("abc"), 36526);
  EXPECT_EQ(DiaryKeyDays("2005/13/01"), 0);
  EXPECT_EQ(DiaryKeyDays("-999/01/01"), 0);

  // Many equal and unequal keys: the result is in order and nothing is lost.
  TKVListItems many;
  for (int i = 0; i < 3000; ++i)
    many.push_back({QString::number(i), e.Make(QStringLiteral("%1/%2/01").arg(1990 + (i * 7919) % 40).arg(1 + i % 12, 2, 10, QLatin1Char('0')))});
  std::vector<int> origin;
  SortListItems(many, soDiaryAscending, origin);
  for (size_t i = 1; i < many.size(); ++i)
    ASSERT_LE(DiaryKeyDays(many[i - 1].Object->ID), DiaryKeyDays(many[i].Object->ID));
  std::vector<int> seen(origin);
  std::sort(seen.begin(), seen.end());
  for (int i = 0; i < 3000; ++i) ASSERT_EQ(seen[size_t(i)], i);
  for (size_t i = 0; i < many.size(); ++i) ASSERT_EQ(many[i].Caption, QString::number(origin[i]));
}

TEST(ListBox, KeepsItsOrderAndItsSelection) {
  TKVCustomListBox box;
  for (const char* s : {"c", "a", "b"}) box.AddItem(s, nullptr);
  EXPECT_EQ(Captions(box), QStringList({"c", "a", "b"}));
  box.SetItemIndex(0);
  box.SetSortStyle(soAscending);
  EXPECT_EQ(Captions(box), QStringList({"a", "b", "c"}));
  EXPECT_EQ(box.ItemIndex(), 2);  // "c" is still the selected one
  // The same style again does not sort again.
  box.SetStrings(0, "z");
  box.SetSortStyle(soAscending);
  EXPECT_EQ(Captions(box), QStringList({"z", "b", "c"}));
  // Every insertion sorts the whole list.
  box.AddItem("a", nullptr);
  EXPECT_EQ(Captions(box), QStringList({"a", "b", "c", "z"}));
  EXPECT_EQ(box.Strings(box.ItemIndex()), "c");
  box.SetSortStyle(soNone);
  box.AddItem("0", nullptr);
  EXPECT_EQ(Captions(box), QStringList({"a", "b", "c", "z", "0"}));

  box.SetItemIndex(-1);
  EXPECT_EQ(box.ItemIndex(), -1);
  EXPECT_EQ(box.SelCount(), 0);
  box.DeleteString(0);
  box.DeleteString(99);
  EXPECT_EQ(box.Count(), 4);
  EXPECT_EQ(box.IndexOf("Z"), 2);
  box.SetMultiSelect(true);
  box.SetSelected(0, true);
  box.SetSelected(3, true);
  EXPECT_EQ(box.SelCount(), 2);
  EXPECT_TRUE(box.Selected(3));
  box.Clear();
  EXPECT_EQ(box.Count(), 0);
  EXPECT_EQ(box.ItemIndex(), -1);
}

TEST(ListBox, ReportsKeysAndKeyboardMovesButNotProgrammaticOnes) {
  TKVCustomListBox box;
  for (const char* s : {"a", "b", "c"}) box.AddItem(s, nullptr);
  int clicks = 0, key = 0;
  Qt::KeyboardModifiers mods;
  box.OnClick.Set([&](TKVCustomListBox*) { ++clicks; });
  box.OnKeyUp.Set([&](TKVCustomListBox*, int k, Qt::KeyboardModifiers m) {
    key = k;
    mods = m;
  });
  box.SetItemIndex(0);
  EXPECT_EQ(clicks, 0);
  QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
  QApplication::sendEvent(&box, &down);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(box.ItemIndex(), 1);
  QKeyEvent del(QEvent::KeyRelease, Qt::Key_Delete, Qt::ShiftModifier);
  QApplication::sendEvent(&box, &del);
  EXPECT_EQ(key, int(Qt::Key_Delete));
  EXPECT_EQ(mods, Qt::ShiftModifier);
}

TEST(ListBox, DrawsEntriesInTheirColours) {
  Entries e;
  TKVListBox box;
  box.resize(200, 100);
  TNbObject* red = e.Make("1");
  red->DisplayColor = clRed;
  box.AddItem(QString(8, QChar(0x2588)), red);  // full blocks: plenty of ink
  QImage img(200, 20, QImage::Format_RGB32);
  auto inkOf = [&](QStyle::State state) {
    img.fill(Qt::white);
    QPainter p(&img);
    box.DrawItem(&p, 0, QRect(0, 0, 200, 20), state);
    p.end();
    int reds = 0;
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 200; ++x) {
        const QColor c = img.pixelColor(x, y);
        if (c.red() > 200 && c.green() < 60 && c.blue() < 60) ++reds;
      }
    return reds;
  };
  EXPECT_GT(inkOf(QStyle::State_None), 20);
  EXPECT_EQ(inkOf(QStyle::State_Selected), 0);
  EXPECT_EQ(img.pixelColor(199, 19), box.palette().color(QPalette::Highlight));
  // A handler of its own draws alone.
  int drawn = 0;
  box.OnDrawItem.Set([&](TKVListBox*, int, const QRect&, QStyle::State, QPainter*) { ++drawn; });
  QImage view(box.size(), QImage::Format_RGB32);
  box.render(&view);
  EXPECT_GT(drawn, 0);
}

QString ScalableFamily() {
  for (const QString& f : {QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")})
    if (IsScreenFont(f) && QFontDatabase::isSmoothlyScalable(f)) return f;
  return {};
}

TEST(FontBoxes, ScalableFontsOfferSixteenSizesAndTheirCharsets) {
  const QString family = ScalableFamily();
  if (family.isEmpty())
    KV_SKIP_MISSING() << "no scalable test font (fonts-dejavu-core or fonts-liberation2)";
  TKVFontComboBox fonts;
  TKVFontSizeComboBox sizes;
  TKVFontCharsetComboBox charsets;
  fonts.SetFontSize(&sizes);
  fonts.SetFontCharset(&charsets);
  charsets.SetAddDefaultCharset(true);
  EXPECT_EQ(charsets.count(), 1);  // only "(Default)" without a font
  EXPECT_EQ(charsets.itemText(0), "(Default)");
  int sizeChanges = 0, charsetChanges = 0;
  sizes.OnChange.Set([&](TKVFontSizeComboBox*) { ++sizeChanges; });
  charsets.OnChange.Set([&](TKVFontCharsetComboBox*) { ++charsetChanges; });

  sizes.setEditText("12");
  fonts.SetFontName(family.toUpper());  // found without regard to case
  EXPECT_EQ(fonts.FontName(), family);
  EXPECT_EQ(fonts.currentText(), family);
  ASSERT_EQ(sizes.count(), 16);
  EXPECT_EQ(sizes.itemText(0), "8");
  EXPECT_EQ(sizes.itemText(15), "72");
  EXPECT_EQ(sizes.currentText(), "12");
  EXPECT_EQ(sizes.currentIndex(), 4);
  EXPECT_EQ(sizeChanges, 1);
  EXPECT_EQ(charsetChanges, 1);

  // Charsets from the writing systems, in name order, the default set last.
  QStringList names;
  for (int i = 0; i < charsets.count(); ++i) names << charsets.itemText(i);
  EXPECT_TRUE(names.contains("Western"));
  EXPECT_TRUE(names.contains("Cyrillic"));
  EXPECT_TRUE(names.contains("Greek"));
  EXPECT_TRUE(names.contains("Central European"));
  EXPECT_EQ(names.last(), "(Default)");
  for (int i = 1; i + 1 < names.size(); ++i) EXPECT_LT(names[i - 1].compare(names[i], Qt::CaseInsensitive), 0);
  EXPECT_EQ(charsets.GetItemCharset(charsets.IndexOfCharset(204)), 204);
  EXPECT_EQ(charsets.itemText(charsets.IndexOfCharset(204)), "Cyrillic");
  EXPECT_EQ(charsets.GetItemCharset(-1), DEFAULT_CHARSET);
  EXPECT_EQ(charsets.IndexOfCharset(MAC_CHARSET), -1);
  EXPECT_EQ(charsets.currentText(), "(Default)");  // chosen before the font came

  // A chosen set stays chosen when the font changes and still offers it; a font without any
  // sets falls back to the first item.
  charsets.setCurrentIndex(charsets.IndexOfCharset(204));
  for (const QString& other : {QStringLiteral("DejaVu Serif"), QStringLiteral("Liberation Serif"),
                               QStringLiteral("DejaVu Sans Mono")})
    if (other != family && FontCharsets(other).contains({204, "Cyrillic"})) {
      fonts.SetFontName(other);
      EXPECT_EQ(charsets.GetItemCharset(charsets.currentIndex()), 204);
      break;
    }
  fonts.SetFontName(QString());
  EXPECT_EQ(charsets.currentIndex(), 0);
}

TEST(FontBoxes, AnUnknownFontEmptiesTheLinkedBoxes) {
  const QString family = ScalableFamily();
  if (family.isEmpty())
    KV_SKIP_MISSING() << "no scalable test font (fonts-dejavu-core or fonts-liberation2)";
  TKVFontComboBox fonts;
  TKVFontSizeComboBox sizes;
  TKVFontCharsetComboBox charsets;
  fonts.SetFontSize(&sizes);
  fonts.SetFontCharset(&charsets);
  fonts.SetFontName(family);
  ASSERT_GT(sizes.count(), 0);
  fonts.SetFontName("No Such Font At All");
  EXPECT_EQ(fonts.currentIndex(), -1);
  EXPECT_EQ(fonts.FontName(), "");
  EXPECT_EQ(sizes.count(), 0);
  EXPECT_EQ(charsets.count(), 0);
  EXPECT_TRUE(FontCharsets("No Such Font At All").isEmpty());

  // The user's choice goes to the linked boxes and is reported.
  int changes = 0;
  fonts.OnChange.Set([&](TKVFontComboBox*) { ++changes; });
  const int i = fonts.findText(family);
  fonts.setCurrentIndex(i);
  emit fonts.activated(i);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(sizes.FontName(), family);
  EXPECT_EQ(charsets.FontName(), family);
}

TEST(PlainRichEdit, TakesAndGivesRtf) {
  TKVRichEdit edit;
  edit.SetRTFText("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 Hello \\b world\\b0\\par second}");
  const QString rtf = edit.GetRTFText();
  EXPECT_TRUE(rtf.startsWith("{\\rtf1"));
  EXPECT_EQ(KVRtfToText(KVRtfBytes(rtf)).value_or(QString()), "Hello world\rsecond");
  edit.SetStreamFormat(sfPlainText);
  EXPECT_EQ(edit.GetRTFText(), "Hello world\r\nsecond");
  edit.SetRTFText("{\\rtf1 not read as rtf}");
  EXPECT_EQ(edit.GetRTFText(), "{\\rtf1 not read as rtf}");
}

}  // namespace
