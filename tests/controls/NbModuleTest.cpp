#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextDocument>

#include "controls/KVListBox.h"
#include "controls/KVNbModule.h"
#include "controls/KVPrint.h"
#include "controls/KVRichEdOLE.h"
#include "controls/KVRtfReader.h"
#include "controls/KVRtfWriter.h"
#include "foundation/KVSysUtils.h"
#include "tests/common/FormTestKit.h"
#include "tests/common/SkipMissing.h"
#include "tests/common/TestUtil.h"

namespace {

QString Rtf(const QString& body) {
  return QStringLiteral("{\\rtf1\\ansi{\\fonttbl{\\f0\\fswiss\\fcharset0 DejaVu Sans;}{\\f1\\fcharset204 DejaVu Sans;}}"
                        "{\\colortbl ;\\red255\\green0\\blue0;}\\f0\\fs20 ") +
         body + "}";
}

QByteArray NbEntry(const QString& id, const QString& title, const QString& text) {
  return ("<!--*NB*" + id + "*--><!--*NBT*" + title + "*--><!--*NBC*clBlack*-->\r\n" + text + "\r\n").toUtf8();
}

int PdfPages(const QString& file) {
  const QByteArray pdf = kvtest::ReadFile(file);
  return int(QString::fromLatin1(pdf).count(QRegularExpression(QStringLiteral("/Type\\s*/Page[^s]"))));
}

class NbModule : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  TKVRichEditOLE editor;
  TKVListBox list;
  QLineEdit search;
  TNbModule nb;
  QString nextKey = "2004/03/07";
  QStringList messages;
  int answer = 6;
  int changing = 0, changed = 0;

  void SetUp() override {
    nb.TitleFormat = "t";
    nb.SetNbEdit(&editor);
    nb.SetSearchBox(&list);
    nb.SetSearchEdit(&search);
    nb.Data().OnNextID.Set([this](QString& id) { id = nextKey; });
    nb.OnActiveChanging.Set([this](TPersistent*) { ++changing; });
    nb.OnActiveChanged.Set([this](TPersistent*) { ++changed; });
    SetMessageBoxAnswerer([this](const QString& msg, const QString&, int, const TKVButtons&) {
      messages << msg;
      return answer;
    });
    Printer().setOutputFormat(QPrinter::PdfFormat);
    Printer().setOutputFileName(Pdf());
  }
  void TearDown() override {
    SetMessageBoxAnswerer(kvtest::UnexpectedMessageBox);
    Printer().setOutputFileName(QString());
  }
  QString Pdf() const { return dir.filePath("out.pdf"); }

  // Text typed into the editor.
  void Type(const QString& rtfBody) {
    editor.SetRTFText(Rtf(rtfBody));
    editor.SetModified(true);
  }
  TNbObject* Add(const QString& id, const QString& title, const QString& rtfBody) {
    return nb.Data().StoreEntry(id, title, Rtf(rtfBody), clBlack, 0, nbsmKeep);
  }
  QString PlainEditor() { return KVRtfToText(KVRtfBytes(editor.GetRTFText())).value_or(QString()); }
  QStringList Listed() const {
    QStringList c;
    for (int i = 0; i < list.Count(); ++i) c << list.Strings(i);
    return c;
  }
  // The titles a search lists, in order.
  QStringList Find(TNbSearchKeywords mode, const QString& text) {
    nb.SearchKeywords = mode;
    search.setText(text);
    nb.SetShowAll(false);
    QStringList found = Listed();
    found.sort();
    return found;
  }
};

TEST_F(NbModule, PostStoresModifiedEditsOnly) {
  nb.SetShowAll(true);  // empty notebook: a new entry for the generator's key
  EXPECT_EQ(nb.ActiveID(), "2004/03/07");
  EXPECT_FALSE(editor.ReadOnly());
  nb.Post();
  EXPECT_EQ(nb.Data().Items(0)->Count(), 0);

  Type("\\cf1 Dentist\\cf0  at 10\\par bring the card");
  nb.Post();
  TNbObject* e = nb.Data().FindEntry("2004/03/07");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->Title, "Dentist at 10");
  EXPECT_EQ(e->Color, clRed);
  EXPECT_EQ(e->DisplayColor, clWindowText);
  EXPECT_EQ(NbPlainText(e->Text), "Dentist at 10\rbring the card");
  EXPECT_EQ(Listed(), QStringList({"Dentist at 10"}));
  // Posting again updates the listed caption instead of listing the entry twice.
  Type("Dentist at 11");
  nb.Post();
  EXPECT_EQ(Listed(), QStringList({"Dentist at 11"}));
  EXPECT_EQ(nb.Data().Items(0)->Count(), 1);

  // Nothing is stored while read-only, nor under an empty ID without AutoNewEntry.
  nb.ReadOnly = true;
  Type("changed");
  nb.Post();
  EXPECT_EQ(e->Title, "Dentist at 11");
  nb.ReadOnly = false;
  nb.AutoNewEntry = false;
  nb.Post(QString());
  EXPECT_EQ(nb.Data().Items(0)->Count(), 1);
  // With AutoNewEntry an empty ID takes a fresh one, which becomes the active ID.
  nb.AutoNewEntry = true;
  nextKey = "2004/03/08";
  nb.Post(QString());
  EXPECT_EQ(nb.ActiveID(), "2004/03/08");
  EXPECT_NE(nb.Data().FindEntry("2004/03/08"), nullptr);
}

TEST_F(NbModule, ActivatingAnEntryPostsTheOldOneAndShowsTheNew) {
  Add("2004/03/01", "First", "First text");
  Add("2004/03/02", "Second", "Second text");
  list.SetSortStyle(soDiaryDescending);
  nb.SetShowAll(true);
  EXPECT_EQ(Listed(), QStringList({"Second", "First"}));
  EXPECT_EQ(nb.ActiveID(), "2004/03/02");  // the first listed is shown
  EXPECT_EQ(PlainEditor(), "Second text");
  EXPECT_FALSE(editor.Modified());

  Type("Second text, edited");
  changing = changed = 0;
  nb.SetActiveID("2004/03/01");
  EXPECT_EQ(changing, 1);
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(NbPlainText(nb.Data().FindEntry("2004/03/02")->Text), "Second text, edited");
  EXPECT_EQ(PlainEditor(), "First text");
  EXPECT_EQ(list.Strings(list.ItemIndex()), "First");
  nb.SetActiveID("2004/03/01");  // the same: nothing happens
  EXPECT_EQ(changed, 1);

  // A day without an entry gives an empty editor for a new entry under that day.
  nextKey = "2004/03/05";
  nb.SetActiveID("2004/03/05");
  EXPECT_EQ(nb.ActiveID(), "2004/03/05");
  EXPECT_EQ(editor.GetTextLen(), 0);
  EXPECT_EQ(list.ItemIndex(), -1);
  EXPECT_EQ(nb.Data().Items(0)->Count(), 2);  // nothing stored until something is typed

  // A click in the list activates the clicked entry.
  list.SetItemIndex(0);
  nb.SearchBoxClick();
  EXPECT_EQ(nb.ActiveID(), "2004/03/02");
}

// The diary's new entry is keyed by the day selected, which may have an entry already: after a
// search that found nothing, say. What is typed then must add to that entry, not replace it.
TEST_F(NbModule, ANewEntryUnderAStoredEntrysIDShowsThatEntryForEditing) {
  Add("2004/03/07", "Dentist", "Dentist at nine");
  Add("2004/03/08", "Garden", "Garden and dentist");
  nb.SetShowAll(true);
  nb.SetActiveID("2004/03/07");
  nb.SearchKeywords = nbsAny;
  search.setText("zebra");
  nb.SetShowAll(false);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(nb.ActiveID(), "2004/03/07");
  EXPECT_EQ(PlainEditor(), "Dentist at nine");
  EXPECT_FALSE(editor.ReadOnly());
  EXPECT_FALSE(editor.Modified());

  editor.setFocus();
  editor.SetSelection(0, 0, false);
  QTest::keyClicks(&editor, "Also: ");
  nb.Post();
  EXPECT_EQ(NbPlainText(nb.Data().FindEntry("2004/03/07")->Text), "Also: Dentist at nine");

  // Any day: the key of another stored entry shows that one; a day without one stays blank.
  nextKey = "2004/03/08";
  nb.NewEntry();
  EXPECT_EQ(nb.ActiveID(), "2004/03/08");
  EXPECT_EQ(PlainEditor(), "Garden and dentist");
  nb.SetShowAll(true);
  nb.SetActiveID("2004/03/08");
  EXPECT_EQ(list.Strings(list.ItemIndex()), "Garden");
  nextKey = "2004/03/09";
  nb.NewEntry();
  EXPECT_EQ(nb.ActiveID(), "2004/03/09");
  EXPECT_EQ(editor.GetTextLen(), 0);
  EXPECT_EQ(list.ItemIndex(), -1);
  EXPECT_EQ(nb.Data().Items(0)->Count(), 2);
}

TEST_F(NbModule, ShowAllOnAnEmptySectionStartsANewEntryOrClears) {
  nb.SetShowAll(true);
  EXPECT_EQ(nb.ActiveID(), "2004/03/07");
  EXPECT_FALSE(editor.ReadOnly());
  nb.AutoNewEntry = false;
  nb.SetShowAll(true);
  EXPECT_TRUE(editor.ReadOnly());  // no entry and none to be made
  // Without a search list the same holds.
  nb.SetSearchBox(nullptr);
  nb.AutoNewEntry = true;
  nextKey = "9";
  nb.SetShowAll(true);
  EXPECT_EQ(nb.ActiveID(), "9");
}

TEST_F(NbModule, SearchesExactAllAndAnyKeywords) {
  Add("1", "a", "Apple and banana\\par");
  Add("2", "b", "banana\\par cherry");
  Add("3", "c", "Cherry pie, with cream");
  Add("4", "d", "\\f1 \\'cf\\'f0\\'e8\\'e2\\'e5\\'f2");  // Cyrillic greeting
  nb.SetShowAll(true);
  ASSERT_EQ(list.Count(), 4);
  EXPECT_EQ(Find(nbsExact, "BANANA"), QStringList({"a", "b"}));
  EXPECT_EQ(Find(nbsExact, "cherry pie, with"), QStringList({"c"}));  // commas are part of the text
  EXPECT_EQ(Find(nbsExact, "banana,cherry"), QStringList());
  EXPECT_EQ(Find(nbsAll, "banana,cherry"), QStringList({"b"}));
  EXPECT_EQ(Find(nbsAny, "apple,pie"), QStringList({"a", "c"}));
  EXPECT_EQ(Find(nbsAll, QString::fromUtf8("\u043f\u0440\u0438")), QStringList({"d"}));
  // The markup is not text.
  EXPECT_EQ(Find(nbsAny, "fonttbl,rtf1,par"), QStringList());
  // Words are parted by blanks as well as commas, however many.
  EXPECT_EQ(Find(nbsAll, "pie, cream"), QStringList({"c"}));
  EXPECT_EQ(Find(nbsAll, "pie,  cream"), QStringList({"c"}));

  // Empty keywords (stray commas) are left out; a text of commas alone finds nothing.
  EXPECT_EQ(Find(nbsAll, "banana,,cherry,"), QStringList({"b"}));
  EXPECT_EQ(Find(nbsAny, ",apple,"), QStringList({"a"}));
  EXPECT_EQ(Find(nbsAll, ",,"), QStringList());
  EXPECT_EQ(NbSearchKeywords(",a,,b,", nbsAll), QStringList({"a", "b"}));
  EXPECT_EQ(NbSearchKeywords(",a,", nbsExact), QStringList({",a,"}));

  // An empty search text leaves the list as it is.
  Find(nbsAny, "apple");
  EXPECT_EQ(Find(nbsAny, ""), QStringList({"a"}));

  // SearchAll off: only the active section.
  nb.Data().AddSection();
  nb.Data().StoreEntry("5", "e", Rtf("apple in another section"), clBlack, 1, nbsmKeep);
  EXPECT_EQ(Find(nbsAny, "apple"), QStringList({"a", "e"}));
  nb.SearchAll = false;
  EXPECT_EQ(Find(nbsAny, "apple"), QStringList({"a"}));
}

// What users type: words parted by blanks, in any case, with accented letters however composed.
TEST_F(NbModule, AllOrAnyOfSeveralWordsAreFoundWhateverTheirCaseAndAccents) {
  Add("1", "shopping", "Shopping: milk and bread\\par");
  Add("2", "christmas", "Christmas at grandmother's");
  Add("3", "dentist", "Dentist on Monday");
  Add("4", "cafe", "Cr\\'e8me br\\'fbl\\'e9e at the Caf\\'e9 \\u8211? Z\\'fcrich");
  nb.SetShowAll(true);
  EXPECT_EQ(Find(nbsAll, "milk bread"), QStringList({"shopping"}));
  EXPECT_EQ(Find(nbsAny, "milk bread"), QStringList({"shopping"}));
  EXPECT_EQ(Find(nbsAll, "bread milk"), QStringList({"shopping"}));  // in any order
  EXPECT_EQ(Find(nbsAll, "milk dentist"), QStringList());
  EXPECT_EQ(Find(nbsAny, "Christmas dentist"), QStringList({"christmas", "dentist"}));
  EXPECT_EQ(Find(nbsAny, "  CHRISTMAS\tDENTIST  "), QStringList({"christmas", "dentist"}));
  EXPECT_EQ(Find(nbsAny, QString::fromUtf8("christmas\u00a0dentist")), QStringList({"christmas", "dentist"}));
  EXPECT_EQ(Find(nbsExact, "milk bread"), QStringList());  // the phrase is not there
  EXPECT_EQ(Find(nbsExact, "MILK AND bread"), QStringList({"shopping"}));

  // Accented letters in upper case, and typed as a letter with a combining accent.
  EXPECT_EQ(Find(nbsAll, QString::fromUtf8("CAF\u00c9 CR\u00c8ME z\u00fcrich")), QStringList({"cafe"}));
  EXPECT_EQ(Find(nbsAll, QString::fromUtf8("cafe\u0301 bru\u0302le\u0301e")), QStringList({"cafe"}));
  EXPECT_EQ(Find(nbsExact, QString::fromUtf8("Caf\u00e9 \u2013 Z")), QStringList({"cafe"}));
  EXPECT_EQ(Find(nbsExact, QString::fromUtf8("CAFE\u0301")), QStringList({"cafe"}));
  // An accent is part of its letter.
  EXPECT_EQ(Find(nbsAny, "cafe creme"), QStringList());

  EXPECT_EQ(NbSearchKeywords(" milk,\tbread\r\nand , jam ", nbsAll), QStringList({"milk", "bread", "and", "jam"}));
  EXPECT_EQ(NbSearchKeywords(" milk bread ", nbsExact), QStringList({" milk bread "}));
  EXPECT_TRUE(NbSearchKeywords(" , \t", nbsAny).isEmpty());
}

// Each entry's plain text is kept between searches: every way its text changes must be seen.
TEST_F(NbModule, SearchSeesEveryChangeOfAnEntrysText) {
  Add("1", "a", "apple");
  Add("2", "b", "banana");
  nb.SearchKeywords = nbsAny;
  auto find = [&](const QString& text) {
    search.setText(text);
    nb.SetShowAll(false);
    QStringList found = Listed();
    found.sort();
    return found;
  };
  EXPECT_EQ(find("apple"), QStringList({"a"}));
  // Stored anew, set directly, changed in place, emptied.
  nb.Data().StoreEntry("2", "b", Rtf("apple pie"), clBlack, 0, nbsmOverwrite);
  EXPECT_EQ(find("apple"), QStringList({"a", "b"}));
  nb.Data().FindEntry("1")->Text = Rtf("cherry");
  EXPECT_EQ(find("apple"), QStringList({"b"}));
  TNbObject* b = nb.Data().FindEntry("2");
  b->Text.replace("apple", "grape");
  EXPECT_EQ(find("apple"), QStringList());
  EXPECT_EQ(find("grape"), QStringList({"b"}));
  b->Text.clear();
  EXPECT_EQ(find("grape"), QStringList());
  // Plain text as it stands, and the editor's edits posted back.
  b->Text = "plain grape";
  EXPECT_EQ(find("grape"), QStringList({"b"}));
  nb.SetActiveID("1");
  editor.SetRTFText(Rtf("grape jam"));
  editor.SetModified(true);
  nb.Post();
  EXPECT_EQ(find("grape"), QStringList({"b", "grape jam"}));  // posting titles it by its first line

  // Texts are compared case-folded beforehand: the answers are those of NbTextMatches.
  b->Text = QString::fromUtf8("Stra\u00dfe \u039f\u0394\u039f\u03a3 \U0001D400 \u0130stanbul \u01c5");
  for (const char* k : {"STRASSE", "stra\u00dfe", "\u03bf\u03b4\u03bf\u03c2", "\u03bf\u03b4\u03bf\u03c3",
                        "\U0001D400", "istanbul", "i\u0307stanbul", "\u01c6", "\u01c4"}) {
    const QString key = QString::fromUtf8(k);
    EXPECT_EQ(find(key).contains("b"), NbTextMatches(b->Text, {key}, nbsAny)) << key.toStdString();
  }
}

TEST_F(NbModule, TextsReadBeforeTheFirstSearchGiveWayToEveryChangeMadeMeanwhile) {
  for (int i = 0; i < 200; ++i) Add(QString::number(i), "t" + QString::number(i), i % 2 ? "apple" : "banana");
  nb.PrepareSearch();
  // While the texts are read, entries change, go and come.
  nb.Data().FindEntry("1")->Text = Rtf("cherry");
  nb.Data().StoreEntry("2", "t2", Rtf("apple tart"), clBlack, 0, nbsmOverwrite);
  nb.Data().Items(0)->Remove(nb.Data().FindEntry("3"));
  Add("new", "fresh", "apple");
  QStringList expected;
  for (int i = 5; i < 200; i += 2) expected << "t" + QString::number(i);
  expected << "fresh" << "t2";
  expected.sort();
  EXPECT_EQ(Find(nbsAny, "APPLE"), expected);
  // A second load's preparation replaces the first; the notebook may go before either is read.
  nb.PrepareSearch();
  nb.Data().FindEntry("2")->Text = Rtf("plum");
  nb.PrepareSearch();
  expected.removeAll("t2");
  EXPECT_EQ(Find(nbsAny, "apple"), expected);
  {
    TNbModule other;
    for (int i = 0; i < 500; ++i) other.Data().StoreEntry(QString::number(i), "x", Rtf("pear"), clBlack, 0, nbsmKeep);
    other.PrepareSearch();
  }
  // A search typed the moment a large diary loaded reads the rest together with the preparing
  // threads: every entry is found once, none is missed between their shares.
  for (int i = 0; i < 5000; ++i)
    Add("many" + QString::number(i), "m" + QString::number(i), i % 7 ? "kiwi" : "kiwi \\b Fig\\b0");
  nb.PrepareSearch();
  QStringList figs;
  for (int i = 0; i < 5000; i += 7) figs << "m" + QString::number(i);
  figs.sort();
  EXPECT_EQ(Find(nbsAll, "fig kiwi"), figs);
  EXPECT_EQ(Find(nbsAny, "fig"), figs);
}

// A search typed while the texts are still being prepared reads the rest itself, on the shorter
// or the longer way through the RTF: it finds what a search finds once they are ready, which is
// what the editor's text of each entry holds.
TEST_F(NbModule, ASearchWhileTheTextsArePreparedFindsWhatOneAfterwardsFinds) {
  const QStringList bodies = {
      "\\f1 \\'cf\\'f0\\'e8\\'e2\\'e5\\'f2, \\'cc\\'c8\\'d0!",          // Cyrillic by the font
      "{\\f2 \\'c1\\'e8\\'e2\\'eb\\'df\\'ef\\'f2} Gr\\'fc\\'dfe",         // Greek, German
      "\\uc1 \\u1057?\\u1086?\\u1083\\'ed\\u1094\\u1077? \\uc0 \\u937\\u956\\u941\\u947\\u945",
      "Stra\\'dfe \\u7838? \\u304?stanbul \\u453? caf\\u101?\\u769?",     // folding beyond ASCII
      "den\\b tist\\b0  at {\\i ten}\\par {\\*\\secret dentist}{\\info{\\title coffee}}",
      "{\\field{\\*\\fldinst HYPERLINK \"garden\"}{\\fldrslt {\\ul Market}}} \\v coffee\\v0  tea",
      "a{\\pict\\pngblip 00}b\\tab c\\line MEETING\\~room \\emdash x",
      "\\trowd a\\cell concert\\cell\\row {\\object{\\*\\objclass garden}{\\result x}}",
      "{\\upr{old}{\\*\\ud{\\u1044?\\u1072?}}} birthday",
  };
  QStringList texts;
  for (const QString& body : bodies) texts << Rtf(body);
  texts << "plain Dentist text" << QString::fromUtf8("{\\rtf1 \\'e0 Привет wide}") << "{\\rtf1 \\'e0\\'e9 x";
  // Enough entries that every thread takes its part, and that they are kept in shared rooms.
  const int count = 4500;
  for (int i = 0; i < count; ++i)
    nb.Data().StoreEntry(QString::number(i), "e" + QString::number(i), texts[i % texts.size()], clBlack, 0, nbsmKeep);
  const QStringList keywords = {"привет", "МИР", "ΒΊΒΛΟΣ", "grüsse", "СОЛНЦЕ", "ωμέγα", "STRASSE", "straße", "ss",
                                "istanbul", "i\u0307stanbul", "ǆ", "café", "dentist", "secret", "coffee", "garden",
                                "market", "tea", "b c", "meeting\u00a0room", "concert", "да", "birthday", "wide",
                                "\u00e0 ", "x"};
  std::vector<QString> editorText;
  for (const QString& t : texts) {
    QTextDocument doc;
    editorText.push_back(KVReadRtf(KVRtfBytes(t), doc) ? KVDocumentText(doc) : t);
  }
  for (const TNbSearchKeywords mode : {nbsExact, nbsAny}) {
    for (const QString& k : keywords) {
      QStringList expected;
      for (int i = 0; i < count; ++i)
        if (NbTextMatches(editorText[size_t(i % texts.size())], NbSearchKeywords(k, mode), mode))
          expected << "e" + QString::number(i);
      expected.sort();
      nb.ReleaseSearch();
      nb.PrepareSearch();
      EXPECT_EQ(Find(mode, k), expected) << k.toStdString();
      EXPECT_EQ(Find(mode, k), expected) << k.toStdString();
    }
  }
}

TEST_F(NbModule, DeleteKeyRemovesEntriesAfterAsking) {
  Add("1", "one", "one");
  Add("2", "two", "two");
  Add("3", "three", "three");
  list.SetSortStyle(soAscending);
  nb.SetShowAll(true);
  list.SetItemIndex(list.IndexOf("two"));
  nb.SearchBoxClick();
  ASSERT_EQ(nb.ActiveID(), "2");

  answer = 7;  // No
  nb.SearchBoxKeyUp(Qt::Key_Delete, Qt::NoModifier);
  EXPECT_EQ(messages, QStringList({"Are you sure you want to delete selected entry?"}));
  EXPECT_EQ(list.Count(), 3);
  nb.SearchBoxKeyUp(Qt::Key_Delete, Qt::ControlModifier);  // with a shift key: not the command
  EXPECT_EQ(messages.size(), 1);

  answer = 6;
  nextKey = "new";
  nb.SearchBoxKeyUp(Qt::Key_Delete, Qt::NoModifier);
  EXPECT_EQ(Listed(), QStringList({"one", "three"}));
  EXPECT_EQ(nb.Data().FindEntry("2"), nullptr);
  EXPECT_EQ(nb.ActiveID(), "new");
  EXPECT_EQ(editor.GetTextLen(), 0);

  // Read-only notebooks delete nothing; without confirmation nothing is asked.
  nb.ReadOnly = true;
  list.SetItemIndex(0);
  nb.SearchBoxKeyUp(Qt::Key_Delete, Qt::NoModifier);
  EXPECT_EQ(list.Count(), 2);
  nb.ReadOnly = false;
  nb.DeleteConfirmation = false;
  list.SetMultiSelect(true);
  list.SetSelected(0, true);
  list.SetSelected(1, true);
  messages.clear();
  nb.SearchBoxKeyUp(Qt::Key_Delete, Qt::NoModifier);
  EXPECT_TRUE(messages.isEmpty());
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(nb.Data().Items(0)->Count(), 0);
}

TEST_F(NbModule, OpensNotebooksWithDefaultEntries) {
  const QString file = dir.filePath("diary.dat");
  kvtest::WriteFile(file, NbEntry("d1", "Mine", Rtf("mine")) + NbEntry("2", "Two", Rtf("two")));
  nb.SetDefaultData(QString::fromUtf8(NbEntry("d1", "Built in", Rtf("built in"))).split("\r\n"));
  nb.LoadDefault = true;
  nb.DefaultColor = clGreen;
  nextKey = "fresh";
  nb.OpenNotebook(file);
  EXPECT_EQ(nb.DefaultIDs(), QStringList({"d1"}));
  QStringList ids;
  for (int i = 0; i < nb.Data().Items(0)->Count(); ++i) ids << nb.Data().Items(0)->Items(i)->ID;
  EXPECT_EQ(ids, QStringList({"d1", "fresh", "2"}));  // the file's d1 came under a fresh ID
  EXPECT_FALSE(nb.Data().Items(0)->Modified);
  EXPECT_EQ(nb.Data().FindEntry("d1")->DisplayColor, clGreen);
  EXPECT_EQ(nb.Data().FindEntry("2")->DisplayColor, clWindowText);
  EXPECT_EQ(list.Count(), 3);
  // The default entry is shown first and cannot be changed or deleted.
  EXPECT_EQ(nb.ActiveID(), "d1");
  EXPECT_TRUE(editor.ReadOnly());
  list.SetItemIndex(0);
  nb.SearchBoxKeyUp(Qt::Key_Delete, Qt::NoModifier);
  EXPECT_EQ(list.Count(), 3);
  EXPECT_NE(nb.Data().FindEntry("d1"), nullptr);
  // Own colours in the list.
  nb.SearchBoxColor = true;
  nb.RefreshColors();
  EXPECT_EQ(nb.Data().FindEntry("d1")->DisplayColor, clBlack);
}

TEST_F(NbModule, AFailedOpenLeavesAConsistentEmptyNotebook) {
  Add("1", "one", "one");
  nb.SetShowAll(true);
  Type("edited but never posted");
  const QString file = dir.filePath("secret.dat");
  kvtest::WriteFile(file, DescrambleNotebookText(NbEntry("1", "x", "y"), "pwd"));
  nb.Data().FilePassword = "wrong";
  EXPECT_THROW(nb.OpenNotebook(file), ENbDataCrypt);
  EXPECT_EQ(nb.Data().Count(), 1);
  EXPECT_EQ(nb.Data().Items(0)->Count(), 0);  // the old editor content went nowhere
  EXPECT_EQ(list.Count(), 0);
  nb.Data().FilePassword = "pwd";
  nb.OpenNotebook(file);
  EXPECT_EQ(Listed(), QStringList({"x"}));
}

TEST_F(NbModule, ExportsEntriesToFiles) {
  Add("1", "Same", "first \\b bold\\b0");
  Add("2", "Same", "second");
  Add("3", "", "untitled");
  nb.SetShowAll(true);
  const QString out = dir.filePath("out") + "/";
  QDir().mkpath(out);
  nb.Export(out, 0, 1);
  EXPECT_TRUE(QFile::exists(out + "Same.rtf"));
  EXPECT_TRUE(QFile::exists(out + "Same1.rtf"));
  EXPECT_TRUE(QFile::exists(out + "3.rtf"));  // no title: named after the ID
  EXPECT_EQ(kvtest::ReadFile(out + "Same.rtf"), KVRtfBytes(nb.Data().FindEntry("1")->Text));
  nb.Export(out, 1, 1);
  EXPECT_EQ(kvtest::ReadFile(out + "Same.txt"), "first bold");

  nb.Export(dir.filePath("all.rtf"), 2, 1);
  const QString joined = KVRtfToText(kvtest::ReadFile(dir.filePath("all.rtf"))).value_or(QString());
  const QString sep = "===>>> NEXT <<<===";
  EXPECT_EQ(joined, "first bold\r\r\r\r" + sep + "\r\r\r\rsecond\r\r\r\r" + sep + "\r\r\r\runtitled\r\r\r\r" + sep +
                        "\r\r\r");
  nb.Export(dir.filePath("all.txt"), 3, 1);
  EXPECT_EQ(kvtest::ReadFile(dir.filePath("all.txt")),
            ("first bold\r\n\r\n\r\n\r\n" + sep + "\r\n\r\n\r\n\r\n" + "second\r\n\r\n\r\n\r\n" + sep +
             "\r\n\r\n\r\n\r\nuntitled\r\n\r\n\r\n\r\n" + sep + "\r\n\r\n\r\n\r\n")
                .toUtf8());

  // The found set when nothing was found: one-file kinds write an empty file, others nothing.
  search.setText("no such words");
  nb.SetShowAll(false);
  ASSERT_EQ(list.Count(), 0);
  const QString none = dir.filePath("none") + "/";
  QDir().mkpath(none);
  nb.Export(none, 0, 2);
  nb.Export(none, 1, 2);
  EXPECT_TRUE(QDir(none).isEmpty());
  nb.Export(dir.filePath("none.txt"), 3, 2);
  EXPECT_EQ(kvtest::ReadFile(dir.filePath("none.txt")), "");
  nb.Export(dir.filePath("none.rtf"), 2, 2);
  EXPECT_EQ(KVRtfToText(kvtest::ReadFile(dir.filePath("none.rtf"))).value_or("x"), "");
}

TEST_F(NbModule, PrintsEntriesOnePerPageOrMerged) {
  Add("1", "one", "First note");
  Add("2", "two", "Second note");
  Add("3", "three", "Third note");
  nb.SetShowAll(true);
  nb.Print("Diary", true, 1, 1, 1, 1, 1, false, 1);
  EXPECT_TRUE(messages.isEmpty());
  EXPECT_EQ(PdfPages(Pdf()), 3);
  nb.Print("Diary", true, 1, 1, 1, 1, 1, true, 1);
  EXPECT_EQ(PdfPages(Pdf()), 1);

  // The found set, and the active entry alone.
  search.setText("second");
  nb.SetShowAll(false);
  nb.Print("Diary", false, 2, 2, 2, 2, 3, false, 1);
  EXPECT_EQ(PdfPages(Pdf()), 1);
  nb.Print("Diary", true, 1, 1, 1, 1, 0, false, 1);
  EXPECT_EQ(PdfPages(Pdf()), 1);
  EXPECT_TRUE(messages.isEmpty());

  // A long entry runs over pages; merged entries after it share its last page.
  QString body;
  for (int i = 0; i < 120; ++i) body += QStringLiteral("Line %1 of a long note\\par ").arg(i);
  TNbObject* longOne = Add("0", "a long one", body);
  nb.SetShowAll(true);
  nb.PrintEntry(longOne, "Diary", 1, 1, 1, 1, true, 1);
  const int longPages = PdfPages(Pdf());
  EXPECT_GE(longPages, 2);
  nb.Print("Diary", true, 1, 1, 1, 1, 1, false, 1);
  EXPECT_EQ(PdfPages(Pdf()), longPages + 3);
  nb.Print("Diary", true, 1, 1, 1, 1, 1, true, 1);
  const int merged = PdfPages(Pdf());
  EXPECT_GE(merged, longPages);
  EXPECT_LE(merged, longPages + 1);
  // With the ID as the first line the long entry grows by a line, never by less.
  nb.TitleFormat = "i";
  nb.PrintEntry(longOne, "Diary", 1, 1, 1, 1, true, 1);
  EXPECT_GE(PdfPages(Pdf()), longPages);
}

// A printed diary is read on paper: each entry begins with its date, in the list's date format.
TEST_F(NbModule, PrintedEntriesBeginWithTheirDate) {
  KV_REQUIRE_PROGRAM("pdftotext");
  const QString text = [] {
    QString t;
    for (int i = 0; i < 60; ++i) t += QStringLiteral("Line %1 of the day\\par ").arg(i);
    return t;
  }();
  Add("2004/03/07", "Dentist", "\\qc\\cf1 Dentist at nine\\par");
  Add("2004/03/08", "Garden", text);
  Add("17", "Other", "An entry keyed by no date");
  const auto printed = [&](const QString& format, bool merge) {
    nb.TitleFormat = format;
    nb.SetShowAll(true);
    nb.Print("Diary", true, 1, 1, 1, 1, 1, merge, 1);
    QProcess p;
    p.start("pdftotext", {"-layout", Pdf(), "-"});
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAllStandardOutput()).simplified();
  };
  const QLocale l;
  const QString mar7 = l.toString(QDate(2004, 3, 7), QLocale::LongFormat);
  const QString mar8 = l.toString(QDate(2004, 3, 8), QLocale::LongFormat);
  for (bool merge : {true, false}) {
    const QString all = printed("ddt", merge);
    EXPECT_TRUE(all.contains(mar7 + " Dentist at nine")) << all.toStdString();
    EXPECT_TRUE(all.contains(mar8 + " Line 0 of the day")) << all.toStdString();
    EXPECT_TRUE(all.contains("17 An entry keyed by no date")) << all.toStdString();
    EXPECT_EQ(all.count(mar8), 1);  // a heading per entry, not per page
  }
  const QString shortDates = printed("dt", true);
  EXPECT_TRUE(shortDates.contains(l.toString(QDate(2004, 3, 7), QLocale::ShortFormat) + " Dentist at nine"))
      << shortDates.toStdString();
  // Titles only (the quick notes): no heading.
  const QString titled = printed("t", true);
  EXPECT_TRUE(titled.contains("Dentist at nine")) << titled.toStdString();
  EXPECT_FALSE(titled.contains(mar7));
  EXPECT_FALSE(titled.contains("17 An entry"));
  EXPECT_TRUE(messages.isEmpty());
}

TEST_F(NbModule, ImpossibleMarginsEndInAPrintingError) {
  Add("1", "one", "First note");
  nb.SetShowAll(true);
  QFile::remove(Pdf());
  nb.Print("Diary", true, 5, 1, 5, 1, 1, false, 1);  // wider than the paper
  EXPECT_EQ(messages, QStringList({"Printing Error!"}));
  EXPECT_FALSE(QFile::exists(Pdf()));
  // A sliver of a page that holds not one line: an error, not page after page.
  messages.clear();
  const double h = Printer().paperRect(QPrinter::Inch).height();
  nb.Print("Diary", true, 1, h / 2 - 0.01, 1, h / 2 - 0.01, 0, false, 1);
  EXPECT_EQ(messages, QStringList({"Printing Error!"}));
  EXPECT_THROW(nb.PrintEntry(nb.Data().FindEntry("1"), "Diary", 1, h / 2 - 0.01, 1, h / 2 - 0.01, true, 1), EKVError);
  // No printer at all.
  messages.clear();
  Printer().setOutputFileName(QString());
  nb.Print("Diary", true, 1, 1, 1, 1, 0, false, 1);
  EXPECT_EQ(messages, QStringList({"Printing Error!"}));
}

TEST_F(NbModule, NothingToPrintStartsNoJob) {
  nb.SetShowAll(true);
  QFile::remove(Pdf());
  nb.Print("Diary", true, 1, 1, 1, 1, 1, true, 1);  // no entries
  nb.Print("Diary", true, 1, 1, 1, 1, 0, true, 1);  // no active entry stored
  nb.PrintEntries("Diary", true, 1, 1, 1, 1, 0, true, 1);  // a scope the dialog never gives
  EXPECT_FALSE(QFile::exists(Pdf()));
  EXPECT_TRUE(messages.isEmpty());
}

TEST_F(NbModule, TheListLetsGoOfEntriesThatAreFreed) {
  Add("1", "one", "one");
  Add("2", "two", "two");
  list.SetSortStyle(soDiaryAscending);  // sorting reads every listed entry
  nb.SetShowAll(true);
  ASSERT_EQ(list.Count(), 2);
  nb.Data().Items(0)->Remove(nb.Data().FindEntry("2"));
  EXPECT_EQ(Listed(), QStringList({"one"}));
  nb.Data().Items(0)->Clear();
  EXPECT_EQ(list.Count(), 0);
  Type("typed after the clear");
  nb.Post();
  EXPECT_EQ(list.Count(), 1);
  {
    TKVListBox other;
    auto shortLived = std::make_unique<TNbModule>();
    shortLived->SetSearchBox(&other);
    shortLived->Data().StoreEntry("x", "x", "", clBlack, 0, nbsmKeep);
    shortLived->SetShowAll(true);
    ASSERT_EQ(other.Count(), 1);
    shortLived.reset();
    EXPECT_EQ(other.Count(), 0);
    EXPECT_FALSE(other.OnClick);
  }
  {
    TNbModule outliving;
    auto* gone = new TKVListBox;
    outliving.SetSearchBox(gone);
    delete gone;
    outliving.Data().StoreEntry("x", "x", "", clBlack, 0, nbsmKeep);
    outliving.SetShowAll(true);  // no list any more: nothing to fill
    EXPECT_EQ(outliving.SearchBox(), nullptr);
  }
}

}  // namespace
