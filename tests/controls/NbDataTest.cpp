#include <gtest/gtest.h>

#include <QDate>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

#include "controls/KVNbData.h"
#include "foundation/KVRes.h"
#include "tests/common/TestUtil.h"

namespace {

QByteArray Entry(const QByteArray& id, const QByteArray& title, const QByteArray& color, const QByteArray& body) {
  return "<!--*NB*" + id + "*--><!--*NBT*" + title + "*--><!--*NBC*" + color + "*-->\r\n" + body;
}

class NbData : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  TNbDataList list{false};
  void SetUp() override { list.AddSection(); }
  QString File(const QString& name, const QByteArray& data) {
    const QString path = dir.filePath(name);
    kvtest::WriteFile(path, data);
    return path;
  }
  QStringList Ids(int section = 0) const {
    QStringList ids;
    for (int i = 0; i < list.Items(section)->Count(); ++i) ids << list.Items(section)->Items(i)->ID;
    return ids;
  }
};

TEST_F(NbData, WritesTheEntryFormatAndReadsItBack) {
  TNbObject e;
  e.SetData("2005/03/14", "Dentist", "Dentist at 10", clBlack, false);
  EXPECT_EQ(e.SaveToString(), "<!--*NB*2005/03/14*--><!--*NBT*Dentist*--><!--*NBC*clBlack*-->\r\nDentist at 10\r\n");
  e.Color = RGB(1, 2, 3);
  EXPECT_TRUE(e.SaveToString().contains("<!--*NBC*$00030201*-->"));
  e.Color = clBtnFace;
  EXPECT_TRUE(e.SaveToString().contains("<!--*NBC*clBtnFace*-->"));
  e.Color = clNone;
  EXPECT_TRUE(e.SaveToString().contains("<!--*NBC*clNone*-->"));

  // Leading and trailing blank lines are trimmed; the text comes back with one CR LF.
  TNbObject padded;
  padded.SetData("1", "T", "\r\n  \r\nline one\r\nline two\r\n\r\n\t", clRed, false);
  list.ParseLines(SplitNotebookLines(padded.SaveToString()), 0, nbsmKeep);
  ASSERT_EQ(list.Items(0)->Count(), 1);
  const TNbObject& back = *list.Items(0)->Items(0);
  EXPECT_EQ(back.Text, "line one\r\nline two\r\n");
  EXPECT_EQ(back.Color, clRed);
  EXPECT_EQ(back.DisplayColor, clRed);
  EXPECT_FALSE(back.IsFolder);
}

TEST_F(NbData, SavedSectionsRoundTripThroughFiles) {
  const QString rtf = QStringLiteral("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 R\\'e9sum\\'e9\\par\r\nsecond\\par\r\n}");
  list.StoreEntry("2004/02/29", QString::fromUtf8("Caf\u00e9 \u0416"), rtf, RGB(10, 20, 30), 0, nbsmKeep);
  list.StoreEntry("2004/03/01", "", "", clWindowText, 0, nbsmKeep);
  list.StoreEntry("x", "plain", "one\r\ntwo", clNone, 0, nbsmKeep);
  const QString path = dir.filePath("nb.dat");
  list.SaveSection(path, 0);
  EXPECT_FALSE(list.Items(0)->Modified);
  EXPECT_EQ(QFile::permissions(path) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());

  TNbDataList again(false);
  again.AddSection();
  again.LoadSection(path, 0);
  ASSERT_EQ(again.Items(0)->Count(), 3);
  for (int i = 0; i < 3; ++i) {
    const TNbObject &a = *list.Items(0)->Items(i), &b = *again.Items(0)->Items(i);
    EXPECT_EQ(a.ID, b.ID);
    EXPECT_EQ(a.Title, b.Title);
    EXPECT_EQ(a.Color, b.Color);
    EXPECT_EQ(a.Text.trimmed(), b.Text.trimmed());
  }
  EXPECT_EQ(again.Items(0)->Items(1)->Text, "\r\n");
  EXPECT_FALSE(again.Items(0)->Modified);
  EXPECT_TRUE(again.Items(0)->Loaded);
  // Saving what was read gives the same bytes.
  again.SaveSection(dir.filePath("nb2.dat"), 0);
  EXPECT_EQ(kvtest::ReadFile(path), kvtest::ReadFile(dir.filePath("nb2.dat")));
}

TEST_F(NbData, TextThatLooksLikeAMarkerLineStaysInItsEntry) {
  const QString rtf = QStringLiteral("{\\rtf1\\ansi\\f0 Hello\\par\r\n<!--*NB*evil*--><!--*NBC*nonsense*-->\\par\r\n}");
  list.StoreEntry("a", "A", rtf, clBlack, 0, nbsmKeep);
  list.StoreEntry("b", "B", "plain\r\n<!--*NB*evil*-->", clBlack, 0, nbsmKeep);
  // Header fields cannot end themselves early or leave their line.
  list.StoreEntry("c", "x*--><!--*NBC*junk\r\nnext", "", clBlack, 0, nbsmKeep);
  TNbDataList again(false);
  again.AddSection();
  again.LoadSectionFromStrings(SplitNotebookLines(list.SectionText(0)), 0);
  ASSERT_EQ(again.Items(0)->Count(), 3);
  EXPECT_TRUE(again.Items(0)->Items(0)->Text.contains("\\'3c!--*NB*evil"));
  EXPECT_TRUE(again.Items(0)->Items(1)->Text.contains(" <!--*NB*evil"));
  EXPECT_EQ(again.Items(0)->Items(2)->Color, clBlack);
  EXPECT_EQ(again.Items(0)->Items(2)->Title, "x*- -><!- -*NBC*junk  next");
}

TEST_F(NbData, ReadsLinesAndEntriesAsTheFormatSays) {
  // CR, LF and CR LF all end lines; lines before the first marker are ignored; a marker line
  // with leading blanks is body text.
  const QString path =
      File("a.dat", Entry("1", "One", "clRed", "a\rb\n") + " <!--*NB*2*--><!--*NBT*x*--><!--*NBC*0*-->\r\n" +
                        Entry("3", "Three", "$00FF0000", "c"));
  list.LoadSection(path, 0);
  ASSERT_EQ(Ids(), QStringList({"1", "3"}));
  EXPECT_EQ(list.Items(0)->Items(0)->Text, "a\r\nb\r\n <!--*NB*2*--><!--*NBT*x*--><!--*NBC*0*-->\r\n");
  EXPECT_EQ(list.Items(0)->Items(1)->Color, clBlue);
  EXPECT_EQ(list.Items(0)->Items(1)->Text, "c\r\n");

  // An empty file is an empty section; a blank first line is no notebook.
  list.LoadSection(File("empty.dat", ""), 0);
  EXPECT_EQ(list.Items(0)->Count(), 0);
  list.StoreEntry("keep", "", "", 0, 0, nbsmKeep);
  EXPECT_THROW(list.LoadSection(File("blank.dat", "\r\n" + Entry("1", "", "0", "")), 0), ENbDataCrypt);
  EXPECT_EQ(list.Items(0)->Count(), 0);  // cleared before the error
  try {
    list.LoadSection(File("junk.dat", "hello"), 0);
    FAIL();
  } catch (const ENbDataCrypt& e) {
    EXPECT_EQ(e.Message(), "Invalid password for crypted file");
  }
  // A missing file leaves the section empty without an error.
  list.StoreEntry("keep", "", "", 0, 0, nbsmKeep);
  list.LoadSection(dir.filePath("missing.dat"), 0);
  EXPECT_EQ(list.Items(0)->Count(), 0);
}

TEST_F(NbData, BadColoursStopTheLoadKeepingWhatCameBefore) {
  const QString path = File("c.dat", Entry("1", "", "clRed", "x\r\n") + Entry("2", "", "reddish", "y\r\n") +
                                         Entry("3", "", "clBlue", "z\r\n"));
  EXPECT_THROW(list.LoadSection(path, 0), EConvertError);
  EXPECT_EQ(Ids(), QStringList({"1"}));
  // A decimal colour is accepted, so is a name in any case.
  list.LoadSection(File("d.dat", Entry("1", "", "255", "") + Entry("2", "", "CLLIME", "")), 0);
  EXPECT_EQ(list.Items(0)->Items(0)->Color, clRed);
  EXPECT_EQ(list.Items(0)->Items(1)->Color, clLime);
}

TEST_F(NbData, StoreModesDecideOnExistingIDs) {
  const QString path = File("dup.dat", Entry("7", "first", "0", "one\r\n") + Entry("7", "second", "0", "two\r\n"));
  list.LoadSection(path, 0);
  ASSERT_EQ(Ids(), QStringList({"7"}));
  EXPECT_EQ(list.Items(0)->Items(0)->Title, "first");

  list.Items(0)->Clear();
  list.ParseLines(SplitNotebookLines(QString::fromLatin1(kvtest::ReadFile(path))), 0, nbsmOverwrite);
  ASSERT_EQ(Ids(), QStringList({"7"}));
  EXPECT_EQ(list.Items(0)->Items(0)->Title, "second");

  list.Items(0)->Clear();
  list.ParseLines(SplitNotebookLines(QString::fromLatin1(kvtest::ReadFile(path))), 0, nbsmAddNew);
  EXPECT_EQ(Ids(), QStringList({"7", "8"}));
  EXPECT_EQ(list.Items(0)->Items(1)->Title, "second");

  // StoreEntry: mode 0 keeps, 1 overwrites in the entry's own section, 2 adds under a fresh ID.
  list.AddSection();
  TNbObject* kept = list.StoreEntry("7", "new", "t", clRed, 1, nbsmKeep);
  EXPECT_EQ(kept, list.Items(0)->Items(0));
  EXPECT_EQ(kept->Title, "first");
  EXPECT_TRUE(list.Items(1)->Modified);
  list.StoreEntry("7", "over", "t", clRed, 1, nbsmOverwrite);
  EXPECT_EQ(list.Items(0)->Items(0)->Title, "over");
  EXPECT_EQ(list.Items(1)->Count(), 0);
  list.OnNextID.Set([](QString& id) { id = "fresh"; });
  EXPECT_EQ(list.StoreEntry("7", "added", "t", clRed, 1, nbsmAddNew)->ID, "fresh");
  EXPECT_EQ(list.Items(1)->Count(), 1);
}

TEST_F(NbData, FindsEntriesByIdentifierAndPosition) {
  list.AddSection();
  list.StoreEntry("2005/03/14", "a", "", 0, 0, nbsmKeep);
  list.StoreEntry("b", "b", "", 0, 1, nbsmKeep);
  list.Items(1)->Add(list.NewObject())->SetData("2005/03/14", "", "", 0, false);  // a later duplicate is never found
  int s, i;
  EXPECT_EQ(list.FindEntry("2005/03/14"), list.Items(0)->Items(0));
  EXPECT_EQ(list.FindEntryPos("b", s, i), list.Items(1)->Items(0));
  EXPECT_EQ(s, 1);
  EXPECT_EQ(i, 0);
  EXPECT_EQ(list.FindEntryPos("B", s, i), nullptr);
  EXPECT_EQ(s, -1);
  EXPECT_EQ(i, -1);
  EXPECT_TRUE(list.LocateEntry(list.Items(1)->Items(1), s, i));
  EXPECT_EQ(i, 1);
  TNbObject stranger;
  EXPECT_FALSE(list.LocateEntry(&stranger, s, i));
  EXPECT_EQ(list.IndexOfSectionHeader(&list.Items(1)->Header()), 1);
  EXPECT_TRUE(list.Items(1)->Header().IsFolder);
  EXPECT_EQ(list.IndexOfSectionHeader(list.Items(0)->Items(0)), -1);

  list.Items(0)->Modified = false;
  list.Items(0)->Remove(list.Items(0)->Items(0));
  EXPECT_TRUE(list.Items(0)->Modified);
  EXPECT_EQ(list.FindEntry("2005/03/14"), list.Items(1)->Items(1));
  EXPECT_THROW(list.StoreEntry("z", "", "", 0, 5, nbsmKeep), EKVError);
}

// Look-ups go through an index of IDs: it must follow every way entries come, change and go.
TEST_F(NbData, TheIndexFollowsAddingRenamingAndRemoving) {
  list.AddSection();
  TNbObject* late = list.StoreEntry("k", "late", "", 0, 1, nbsmKeep);
  // A duplicate appended to an earlier section comes first; one in a later section does not.
  TNbObject* early = list.Items(0)->Add(list.NewObject());
  early->SetData("k", "early", "", 0, false);
  EXPECT_EQ(list.FindEntry("k"), early);
  list.AddSection();
  list.Items(2)->Add(list.NewObject())->SetData("k", "later", "", 0, false);
  EXPECT_EQ(list.FindEntry("k"), early);
  // Renamed through SetData or LoadFromStrings: found under the new ID only, and the others
  // of the old ID take its place in order.
  early->SetData("m", "early", "", 0, false);
  EXPECT_EQ(list.FindEntry("m"), early);
  EXPECT_EQ(list.FindEntry("k"), late);
  late->LoadFromStrings("<!--*NB*a*--><!--*NBT*late*--><!--*NBC*clBlack*-->", {});
  EXPECT_EQ(list.FindEntry("a"), late);
  EXPECT_EQ(list.FindEntry("k")->Title, "later");
  // Renamed onto an ID that an earlier entry carries: the earlier stays first.
  list.Items(2)->Items(0)->SetData("m", "later", "", 0, false);
  EXPECT_EQ(list.FindEntry("m"), early);
  EXPECT_EQ(list.FindEntry("k"), nullptr);
  // Removed: the next of its ID is found; none when it was the last.
  list.Items(0)->Remove(early);
  EXPECT_EQ(list.FindEntry("m")->Title, "later");
  list.Items(1)->Remove(late);
  EXPECT_EQ(list.FindEntry("a"), nullptr);
  // Overwriting and adding anew through StoreEntry keep the index whole.
  list.StoreEntry("m", "over", "", 0, 0, nbsmOverwrite);
  EXPECT_EQ(list.FindEntry("m")->Title, "over");
  TNbObject* fresh = list.StoreEntry("m", "new", "", 0, 0, nbsmAddNew);
  EXPECT_EQ(list.FindEntry(fresh->ID), fresh);
  // A cleared section's entries are gone from it, others stay.
  list.StoreEntry("z", "z", "", 0, 1, nbsmKeep);
  list.Items(2)->Clear();
  EXPECT_EQ(list.FindEntry("m"), nullptr);
  EXPECT_EQ(list.FindEntry("z")->Title, "z");
  int s = 0, i = 0;
  EXPECT_EQ(list.FindEntryPos(fresh->ID, s, i), fresh);
  EXPECT_EQ(s, 0);
  EXPECT_EQ(i, 0);
  // A found entry whose ID was set directly is not returned for its old ID.
  list.FindEntry("z")->ID = "y";
  EXPECT_EQ(list.FindEntry("z"), nullptr);
  EXPECT_EQ(list.FindEntry("y")->Title, "z");
  // An entry of another notebook is not located in this one.
  TNbDataList other(false);
  other.AddSection();
  EXPECT_FALSE(list.LocateEntry(other.StoreEntry("y", "", "", 0, 0, nbsmKeep), s, i));
  list.Clear();
  EXPECT_EQ(list.FindEntry("y"), nullptr);
  list.AddSection();
  EXPECT_EQ(list.FindEntry("y"), nullptr);
}

TEST_F(NbData, NextIDIsOneAboveTheLargestNumber) {
  QString id;
  list.NextID(id);
  EXPECT_EQ(id, "1");
  for (const char* s : {"3", "abc", "10"}) list.StoreEntry(s, "", "", 0, 0, nbsmKeep);
  list.NextID(id);
  EXPECT_EQ(id, "11");
  TNbDataList dates(false);
  dates.AddSection();
  dates.StoreEntry("2005/03/14", "", "", 0, 0, nbsmKeep);
  dates.NextID(id);
  EXPECT_EQ(id, "1");
  list.StoreEntry("2147483647", "", "", 0, 0, nbsmKeep);
  list.NextID(id);
  EXPECT_EQ(id, "2147483648");
}

TEST_F(NbData, CaptionsFollowTheFormat) {
  TNbObject e;
  e.SetData("2005/03/14", "Dentist", "", 0, false);
  EXPECT_EQ(e.GetCaption("i"), "2005/03/14");
  EXPECT_EQ(e.GetCaption("t"), "Dentist");
  EXPECT_EQ(e.GetCaption("x"), "2005/03/14 - Dentist");
  EXPECT_EQ(e.GetCaption("dt"), QLocale().toString(QDate(2005, 3, 14), QLocale::ShortFormat) + " - Dentist");
  EXPECT_EQ(e.GetCaption("ddt"), QLocale().toString(QDate(2005, 3, 14), QLocale::LongFormat) + " - Dentist");
  e.ID = "x";
  EXPECT_EQ(e.GetCaption("dt"), QLocale().toString(QDate(2000, 1, 1), QLocale::ShortFormat) + " - Dentist");
  e.ID = "2005/02/30";  // no such day: the ID as it stands
  EXPECT_EQ(e.GetCaption("ddt"), "2005/02/30 - Dentist");
  e.IsFolder = true;
  EXPECT_EQ(e.GetCaption("i"), "Dentist");

  TNbThnObject t;
  t.SetData("1", "Sea", "", 0, false);
  t.Image = "sea.jpg";
  EXPECT_EQ(t.GetCaption("t"), "Sea");
  EXPECT_EQ(t.GetCaption("i"), "sea.jpg");
  EXPECT_EQ(t.GetCaption("dt"), "sea.jpg - Sea");
}

TEST_F(NbData, PictureEntriesCarryImageAndLink) {
  TNbDataList thn(true);
  thn.AddSection();
  TNbObject* e = thn.StoreEntry("1", "Sea", "waves", clAqua, 0, nbsmKeep);
  auto* t = dynamic_cast<TNbThnObject*>(e);
  ASSERT_NE(t, nullptr);
  t->Image = "sea.jpg";
  t->Link = true;
  EXPECT_EQ(t->SaveToString(),
            "<!--*NB*1*--><!--*NBT*Sea*--><!--*NBC*clAqua*--><!--*NBIMG*sea.jpg*--><!--*NBL*true*-->\r\nwaves\r\n");
  TNbDataList back(true);
  back.AddSection();
  back.LoadSectionFromStrings(SplitNotebookLines(thn.SectionText(0)), 0);
  auto* r = dynamic_cast<TNbThnObject*>(back.Items(0)->Items(0));
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->Image, "sea.jpg");
  EXPECT_TRUE(r->Link);
  EXPECT_NE(dynamic_cast<TNbThnObject*>(&back.Items(0)->Header()), nullptr);
  for (const auto& [text, value] : std::vector<std::pair<QString, bool>>{{"F", false}, {"t", true}, {"2", true}, {"", false}}) {
    TNbThnObject o;
    o.LoadFromStrings("<!--*NB*1*--><!--*NBC*0*--><!--*NBL*" + text + "*-->", {});
    EXPECT_EQ(o.Link, value) << text.toStdString();
  }
}

TEST_F(NbData, ScrambledFilesOpenWithTheirPassword) {
  const QByteArray plain = Entry("1", "Secret", "0", "hidden text\r\n");
  const QString pwd = "open sesame";
  const QByteArray scrambled = DescrambleNotebookText(plain, pwd);
  EXPECT_NE(scrambled, plain);
  EXPECT_EQ(scrambled.size(), plain.size());
  EXPECT_EQ(DescrambleNotebookText(scrambled, pwd), plain);
  const QString path = File("s.dat", scrambled);

  list.FilePassword = pwd;
  list.LoadSection(path, 0);
  ASSERT_EQ(Ids(), QStringList({"1"}));
  EXPECT_EQ(list.Items(0)->Items(0)->Text, "hidden text\r\n");
  list.FilePassword = "wrong";
  EXPECT_THROW(list.LoadSection(path, 0), ENbDataCrypt);
  list.FilePassword.clear();
  EXPECT_THROW(list.LoadSection(path, 0), ENbDataCrypt);

  // A plain file opens with any password: its marker stands in the first 10 characters.
  list.FilePassword = "anything";
  list.LoadSection(File("p.dat", plain), 0);
  EXPECT_EQ(Ids(), QStringList({"1"}));

  // Only the first 223 password characters count.
  const QString longPwd = QString(223, QLatin1Char('k')) + "tail";
  const QByteArray longText = plain.repeated(20);
  EXPECT_EQ(DescrambleNotebookText(longText, longPwd), DescrambleNotebookText(longText, longPwd.left(223)));
  EXPECT_NE(DescrambleNotebookText(longText, longPwd.left(222)), DescrambleNotebookText(longText, longPwd.left(223)));
}

TEST_F(NbData, HostileAndOddFilesFailCleanly) {
  // Larger than any notebook may be: refused before anything is read.
  const QString big = dir.filePath("big.dat");
  {
    QFile f(big);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("<!--*NB*1*--><!--*NBC*0*-->\r\n");
    ASSERT_TRUE(f.resize(NbMaxFileSize + 1));
  }
  EXPECT_THROW(list.LoadSection(big, 0), EFOpenError);
  QFile::remove(big);

  // A header cut short: fields without their end are empty, the colour field then fails.
  EXPECT_THROW(list.LoadSection(File("cut.dat", "<!--*NB*1*--><!--*NBT*tit"), 0), EConvertError);
  list.LoadSection(File("cut2.dat", "<!--*NB*1*--><!--*NBT*tit*--><!--*NBC*0*-->\r\nbody without end"), 0);
  EXPECT_EQ(list.Items(0)->Items(0)->Text, "body without end\r\n");
  // NUL bytes and stray high bytes are text like any other.
  list.LoadSection(File("bin.dat", Entry("1", "\xff\xfe", "0", QByteArray("a\0b\x81", 4))), 0);
  EXPECT_EQ(list.Items(0)->Items(0)->Title, QString::fromUtf8("\u00ff\u00fe"));
  EXPECT_EQ(list.Items(0)->Items(0)->Text.size(), 6);
}

TEST_F(NbData, TextIsUtf8WhenValidElseWindows1252) {
  EXPECT_EQ(DecodeNotebookBytes("caf\xc3\xa9"), QString::fromUtf8("caf\u00e9"));
  EXPECT_EQ(DecodeNotebookBytes("caf\xe9 \x80"), QString::fromUtf8("caf\u00e9 \u20ac"));
  EXPECT_EQ(SplitNotebookLines("a\r\n\r\nb\n"), QStringList({"a", "", "b"}));
  EXPECT_EQ(SplitNotebookLines("\r\n"), QStringList({""}));
  EXPECT_TRUE(SplitNotebookLines("").isEmpty());
}

TEST_F(NbData, MergingAddsWithoutClearing) {
  list.StoreEntry("1", "mine", "", 0, 0, nbsmKeep);
  list.Items(0)->Modified = false;
  list.Items(0)->Loaded = false;
  list.MergeFile(File("m.dat", Entry("1", "theirs", "0", "") + Entry("2", "two", "0", "")), 0, nbsmAddNew);
  EXPECT_EQ(Ids(), QStringList({"1", "2", "3"}));
  EXPECT_EQ(list.Items(0)->Items(0)->Title, "mine");
  EXPECT_EQ(list.Items(0)->Items(2)->Title, "two");
  EXPECT_TRUE(list.Items(0)->Modified);
  EXPECT_TRUE(list.Items(0)->Loaded);
  list.LoadSectionFromStrings({"<!--*NB*9*--><!--*NBC*0*-->"}, 0);
  EXPECT_EQ(Ids(), QStringList({"9"}));
  EXPECT_FALSE(list.Items(0)->Modified);
}

TEST_F(NbData, FolderSectionsHaveUniqueTitlesPathsAndFiles) {
  TNbData* root = list.Items(0);
  root->Header().Title = "Work";
  TNbData* child = list.AddSection();
  child->Header().Title = "Mail";
  child->Parent = root;
  root->Children.push_back(child);
  TNbData* grand = list.AddSection();
  grand->Header().Title = "Old";
  grand->Parent = child;
  child->Children.push_back(grand);
  list.UpdateSectionPaths(root);
  EXPECT_EQ(root->Header().Text, "");
  EXPECT_EQ(child->Header().Text, "Work");
  EXPECT_EQ(grand->Header().Text, "Work\tMail");

  EXPECT_FALSE(list.SectionTitleExists(""));
  EXPECT_EQ(list.UniqueSectionTitle("Mail"), "Mail1");
  EXPECT_EQ(list.UniqueSectionTitle("Home"), "Home");

  child->FileName = File("Mail.DAT", Entry("1", "", "0", ""));
  File("Mail.HDR", "<!--*NBT*Mail*-->");
  File("Mail.FLD", "f");
  File("Post.HDR", "stale");
  list.RenameSection(child, "Post");
  EXPECT_EQ(child->Header().Title, "Post");
  EXPECT_EQ(child->FileName, dir.filePath("Post.DAT"));
  EXPECT_EQ(grand->Header().Text, "Work\tPost");
  EXPECT_EQ(kvtest::ReadFile(dir.filePath("Post.HDR")), "<!--*NBT*Mail*-->");
  EXPECT_TRUE(QFile::exists(dir.filePath("Post.FLD")));
  EXPECT_FALSE(QFile::exists(dir.filePath("Mail.DAT")));
  list.RenameSection(grand, "Work");  // taken: made unique
  EXPECT_EQ(grand->Header().Title, "Work1");

  const QString hdr = File("h.HDR", "<!--*NBP*Work*--><!--*NBC*clRed*--><!--*NBO*true*--><!--*NBT*Post*-->");
  list.LoadSectionHeader(hdr, 2);
  // Renamed because "Post" belongs to another section, and its path follows its parent again.
  EXPECT_EQ(grand->Header().Text, "Work\tPost");
  EXPECT_EQ(grand->Header().Color, clRed);
  EXPECT_TRUE(grand->Open);
  EXPECT_EQ(grand->Header().Title, "Post1");
}

}  // namespace

TEST_F(NbData, ADamagedFileIsKeptAsideBeforeItIsSavedOver) {
  const QByteArray original = Entry("1", "one", "clRed", "x\r\n") + Entry("2", "", "reddish", "y\r\n") +
                              Entry("3", "three", "clBlue", "z\r\n");
  const QString path = File("damaged.dat", original);
  EXPECT_THROW(list.LoadSection(path, 0), EConvertError);
  EXPECT_EQ(list.Items(0)->DamagedFile, path);
  list.StoreEntry("4", "added", "new", clBlack, 0, nbsmKeep);
  list.SaveSection(dir.filePath("elsewhere.dat"), 0);  // another file: nothing to keep
  EXPECT_FALSE(QFile::exists(path + ".bak"));
  list.SaveSection(path, 0);
  EXPECT_EQ(kvtest::ReadFile(path + ".bak"), original) << "entries 2 and 3 are not lost";
  EXPECT_TRUE(list.Items(0)->DamagedFile.isEmpty());
  list.SaveSection(path, 0);
  EXPECT_FALSE(QFile::exists(path + "1.bak")) << "kept once";
  // A wrong password empties the section: the scrambled file is kept too.
  const QString scrambled = File("locked.dat", DescrambleNotebookText(original, "secret"));
  list.FilePassword = "wrong";
  EXPECT_THROW(list.LoadSection(scrambled, 0), ENbDataCrypt);
  list.SaveSection(scrambled, 0);
  EXPECT_EQ(kvtest::ReadFile(scrambled + ".bak"), DescrambleNotebookText(original, "secret"));
  // A clean load clears the mark.
  list.FilePassword.clear();
  list.LoadSection(File("good.dat", Entry("1", "", "clRed", "")), 0);
  EXPECT_TRUE(list.Items(0)->DamagedFile.isEmpty());
}

TEST_F(NbData, ManyEntriesWithOneIDMergeInOnePass) {
  // 200,000 entries under one ID, added under fresh IDs: NextID once scanned every entry for each.
  QByteArray text;
  for (int i = 0; i < 200000; ++i) text += "<!--*NB*7*--><!--*NBT*t*--><!--*NBC*0*-->\r\n";
  list.StoreEntry("100", "", "", 0, 0, nbsmKeep);
  list.MergeFile(File("same.dat", text), 0, nbsmAddNew);
  ASSERT_EQ(list.Items(0)->Count(), 200001);
  EXPECT_EQ(list.Items(0)->Items(1)->ID, "7");
  EXPECT_EQ(list.Items(0)->Items(2)->ID, "101");
  EXPECT_EQ(list.Items(0)->Items(200000)->ID, "200099");
  QString id;
  list.NextID(id);
  EXPECT_EQ(id, "200100");
  // A handler set by the program is still asked for every fresh ID.
  int asked = 0;
  list.OnNextID.Set([&asked](QString& fresh) { fresh = "f" + QString::number(++asked); });
  list.MergeFile(File("few.dat", text.left(text.size() / 50000)), 0, nbsmAddNew);
  EXPECT_EQ(asked, 4);
}

TEST_F(NbData, SavingOnAFullDiskKeepsTheOldFile) {
  list.StoreEntry("1", "one", "first", clBlack, 0, nbsmKeep);
  const QString path = dir.filePath("full.dat");
  list.SaveSection(path, 0);
  const QByteArray before = kvtest::ReadFile(path);
  list.StoreEntry("2", "two", "second", clBlack, 0, nbsmKeep);
  {
    kvtest::FullDisk full;
    EXPECT_THROW(list.SaveSection(path, 0), EFCreateError);
  }
  EXPECT_EQ(kvtest::ReadFile(path), before);
  EXPECT_TRUE(list.Items(0)->Modified);
}
