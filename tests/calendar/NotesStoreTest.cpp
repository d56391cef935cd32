#include "calendar/MirNotesStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "calendar/KVXSkinBaseM1.h"
#include "calendar/MirModel.h"
#include "foundation/KVSysUtils.h"
#include "tests/common/FormTestKit.h"
#include "tests/common/MainFormComponent.h"
#include "tests/common/TestUtil.h"

namespace {

using kvtest::FormComponent;

const QString kNote = QStringLiteral("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\r\n\\f0 Buy milk \\'e9\\par\r\n}");

class NotesStore : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  kvtest::ScopedOverride<QString> exe{ExeDir, dir.path() + "/"};
  FormComponent form;
  TMirModel model{form};
  QString File() const { return dir.filePath("mnotes.dat"); }
};

}  // namespace

TEST_F(NotesStore, NotesSavedAreReadByAFreshModelAndMissingNotesAreEmpty) {
  EXPECT_TRUE(LoadQuickNotes(model));  // no file yet: empty notes, no error
  EXPECT_EQ(model.Notes->QuickNote.size(), 0);
  model.Notes->QuickNote.SetText(kNote);
  ASSERT_TRUE(SaveQuickNotes(model));
  EXPECT_EQ(QFile::permissions(File()) & (QFile::ReadOther | QFile::ReadGroup), 0);  // owner-only

  FormComponent otherForm;
  TMirModel fresh(otherForm);
  ASSERT_TRUE(LoadQuickNotes(fresh));
  EXPECT_EQ(fresh.Notes->QuickNote.Text(), model.Notes->QuickNote.Text());
  EXPECT_TRUE(fresh.Notes->QuickNote.Text().contains("Buy milk"));
  // Stored compressed, as the program always stores the notes.
  EXPECT_FALSE(kvtest::ReadFile(File()).contains("QuickNote"));
}

TEST_F(NotesStore, AnUnreadableFileGivesEmptyNotesAndIsKeptAsideBeforeTheNextSave) {
  const QByteArray damaged = "object NotesBase: TMNotesBase\r\n  QuickNote.Strings = (\r\n";
  kvtest::WriteFile(File(), damaged);
  EXPECT_FALSE(LoadQuickNotes(model));
  EXPECT_EQ(model.Notes->QuickNote.size(), 0);
  model.Notes->QuickNote.SetText(kNote);
  ASSERT_TRUE(SaveQuickNotes(model));
  EXPECT_EQ(kvtest::ReadFile(File() + ".bak"), damaged);
  // Once saved, the next save replaces the file and keeps nothing more aside.
  ASSERT_TRUE(SaveQuickNotes(model));
  EXPECT_EQ(QDir(dir.path()).entryList({"mnotes.dat.bak*"}).size(), 1);

  // A document of another kind is no quick notes either.
  TMIconBase icons;
  icons.SaveToFile(dir.filePath("icons.dat"), false);
  QFile::remove(File());
  QFile::copy(dir.filePath("icons.dat"), File());
  FormComponent otherForm;
  TMirModel fresh(otherForm);
  EXPECT_FALSE(LoadQuickNotes(fresh));
  EXPECT_TRUE(fresh.Notes->LoadFailed);
}

TEST_F(NotesStore, AFailedSaveIsReportedOnceAndTheProgramGoesOn) {
  model.Notes->QuickNote.SetText(kNote);
  const QString missing = dir.filePath("gone/");
  kvtest::ScopedOverride<QString> nowhere(ExeDir, missing);
  kvtest::MessageBoxes boxes;
  {
    const TSaveReport command;
    EXPECT_FALSE(SaveQuickNotes(model));
  }
  ASSERT_EQ(boxes.Count(), 1);
  // The system's own reason, not a guess.
  EXPECT_EQ(boxes.Texts()[0], "Cannot save " + missing + "mnotes.dat.\nNo such file or directory");
  EXPECT_TRUE(model.Notes->QuickNote.Text().contains("Buy milk"));  // nothing the user wrote is lost
}

TEST(SaveReport, FailuresInsideAReportAreToldTogetherOnceWhenTheOutermostEnds) {
  {
    kvtest::MessageBoxes boxes;
    {
      const TSaveReport outer;
      ReportSaveFailure("/ro/mdiary.dat");
      {
        const TSaveReport inner;  // a step that reports on its own joins the outer report
        ReportSaveFailure("/ro/mnotes.dat");
        ReportSaveFailure("/ro/mdiary.dat");
      }
      EXPECT_EQ(boxes.Count(), 0);
      EXPECT_EQ(TSaveReport::Pending(), QStringList({"/ro/mdiary.dat", "/ro/mnotes.dat"}));
    }
    ASSERT_EQ(boxes.Count(), 1);
    EXPECT_EQ(boxes.Texts()[0], "Cannot save /ro/mdiary.dat, /ro/mnotes.dat.\nDisk may be full or write protected!");
    EXPECT_TRUE(TSaveReport::Pending().isEmpty());
  }
  // Outside a report (a drawing, the rotation tick) a failure is only logged: no box opens while
  // the user types. A report with nothing to tell shows nothing.
  kvtest::MessageBoxes boxes;
  { const TSaveReport quiet; }
  ReportSaveFailure("/ro/mholiday.dat");
  EXPECT_EQ(boxes.Count(), 0);
}
