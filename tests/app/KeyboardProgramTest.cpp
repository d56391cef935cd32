// The keyboard as a user uses it on the real program (tests/app/ProgramUser.h): layouts and
// pictures chosen with the arrow keys, pictures checked with the space bar, dialogs answered with
// Esc and Enter, a favourite icon picked at once by a new user.
#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include "calendar/KVXSkinBaseM1.h"
#include "calendar/MDataDM.h"
#include "calendar/iniData.h"
#include "foundation/KVRStream.h"
#include "foundation/KVSysUtils.h"
#include "platform/KVRegistry.h"
#include "tests/app/ProgramUser.h"

using namespace kvtest;

namespace {

// The settings window's controls.
const QPoint kLayoutList(535, 110), kFirstThumbnail(84, 150), kCreateSet(490, 74);
// The quick-notes window's Insert Icon button and OK, from its frame.
const QPoint kInsertIcon(316, 15), kNotesOk(-130, -18);

// The ids of the built-in layouts, as the list shows them: ascending.
QList<int> BuiltinLayoutIds() {
  QBuffer pack;
  pack.setData(BuiltinDataBlock(QStringLiteral("DefaultLayouts")));
  pack.open(QIODevice::ReadOnly);
  TKVResReader reader;
  reader.SetStream(&pack);
  QList<int> ids;
  if (!reader.ReadDirectory()) return ids;
  for (int i = 0; i < reader.Count(); ++i) {
    const QString text = QString::fromLatin1(reader.ReadBuffer(i));
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("LayoutID = (\\d+)")).match(text);
    if (m.hasMatch()) ids << m.captured(1).toInt();
  }
  std::sort(ids.begin(), ids.end());
  return ids;
}

class KeyboardProgram : public TProgramUser {
 protected:
  // A setting stored before the program starts, as an earlier run would have left it.
  void StoreSetting(const QString& name, bool value) {
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", home.Path("config").toUtf8());
    RegistryStore::ResetAll();
    {
      TKVRegistry r;
      ASSERT_TRUE(r.OpenKey(kSettingsKey, true));
      r.WriteBool(name, value);
      r.CloseKey();
    }
    qputenv("XDG_CONFIG_HOME", saved);
    RegistryStore::ResetAll();
  }
};

}  // namespace

TEST_F(KeyboardProgram, LayoutsArePickedWithTheArrowKeysAndThePreviewFollows) {
  TMirova m;
  ASSERT_TRUE(m.Start(env));
  ASSERT_TRUE(WaitForSettings()) << m.Output().toStdString();
  const QList<int> ids = BuiltinLayoutIds();
  ASSERT_GE(ids.size(), 3);
  Tab(pgStyle);
  ASSERT_TRUE(WaitUntil([&] { return FullScreenViewShown(); }, 5000));
  const QRect free(700, 500, 1200, 560);
  // A click gives the list the keys; Home takes the first layout, Down the next.
  Click(At(kLayoutList), 1200);
  Keys({"Home"}, 1500);
  const QImage first = x.Grab();
  Keys({"Down"});
  EXPECT_TRUE(WaitUntil([&] { return DifferentShare(first, x.Grab(), free) > 0.01; }, 5000))
      << "the preview did not follow the key";
  Keys({"End"}, 1500);
  Ok();
  ASSERT_TRUE(SettingsClosed());
  EXPECT_TRUE(WaitUntil([&] { return Setting("LayoutID").toInt() == ids.last(); }, 5000))
      << Setting("LayoutID").toInt();
}

TEST_F(KeyboardProgram, PicturesAreChosenWithTheArrowKeysAndLeftOutWithTheSpaceBar) {
  TMirova m;
  ASSERT_TRUE(m.Start(env));
  ASSERT_TRUE(WaitForSettings()) << m.Output().toStdString();
  Tab(pgImages);
  Click(At(kFirstThumbnail), 600);
  // The second and third pictures unchecked.
  Keys({"Right", "space", "Right", "space"}, 600);
  Ok();
  ASSERT_TRUE(SettingsClosed());
  const QString sel = ExeFile("landscapes.sel");
  ASSERT_TRUE(WaitUntil([&] { return QFileInfo::exists(sel); }, 5000));
  const QStringList used = QString::fromUtf8(ReadAll(sel)).split("\r\n", Qt::SkipEmptyParts);
  const QStringList order = QString::fromUtf8(ReadAll(ExeFile("landscapes.mcl"))).split("\r\n", Qt::SkipEmptyParts);
  ASSERT_GE(order.size(), 4);
  QStringList expected = order;
  expected.removeAt(2);
  expected.removeAt(1);
  EXPECT_EQ(used, expected);
}

TEST_F(KeyboardProgram, TheImageSetNameDialogAnswersEscAndEnter) {
  TMirova m;
  ASSERT_TRUE(m.Start(env));
  ASSERT_TRUE(WaitForSettings()) << m.Output().toStdString();
  Tab(pgImages);
  const QString dialog = QStringLiteral("Create New Image Set");
  Click(At(kCreateSet), 300);
  ASSERT_FALSE(WaitForWindow(dialog, 5000).isEmpty()) << m.Output().toStdString();
  Type("Trips");
  Keys({"Escape"});
  EXPECT_TRUE(WaitUntil([&] { return Windows(dialog).isEmpty(); }, 5000)) << "Esc left the dialog open";
  EXPECT_FALSE(QFileInfo::exists(ExeFile("Trips.mcl")));
  Click(At(kCreateSet), 300);
  ASSERT_FALSE(WaitForWindow(dialog, 5000).isEmpty());
  Type("Trips");
  Keys({"Return"});
  EXPECT_TRUE(WaitUntil([&] { return Windows(dialog).isEmpty(); }, 5000)) << "Enter left the dialog open";
  EXPECT_TRUE(WaitUntil([&] { return QFileInfo::exists(ExeFile("Trips.mcl")); }, 5000));
}

TEST_F(KeyboardProgram, ANewUserInsertsAFavouriteIconIntoTheQuickNotes) {
  // Started at log-on with the quick notes to open.
  StoreSetting("StartupOpenQuickNotes", true);
  TMirova m;
  ASSERT_TRUE(m.Start(env, {"/a"}));
  const QRect notes = WaitForWindow(QStringLiteral("Quick Notes"));
  ASSERT_FALSE(notes.isEmpty()) << m.Output().toStdString();
  const QString picker = QStringLiteral("Favorite Icons");
  Click(notes.topLeft() + kInsertIcon, 300);
  ASSERT_FALSE(WaitForWindow(picker, 5000).isEmpty()) << m.Output().toStdString();
  Keys({"Escape"});
  EXPECT_TRUE(WaitUntil([&] { return Windows(picker).isEmpty(); }, 5000)) << "Esc left the picker open";
  Click(notes.topLeft() + kInsertIcon, 300);
  const QRect icons = WaitForWindow(picker, 5000);
  ASSERT_FALSE(icons.isEmpty());
  const QImage shown = x.Grab().copy(icons);
  // The favourites are there at once: many colours in the list.
  QSet<QRgb> colours;
  for (int y = 10; y < shown.height() - 60; y += 2)
    for (int x0 = 10; x0 < shown.width() - 10; x0 += 2) colours.insert(shown.pixel(x0, y));
  EXPECT_GT(colours.size(), 40) << "the favourites are empty";
  Keys({"Right", "Right", "Return"}, 600);
  EXPECT_TRUE(WaitUntil([&] { return Windows(picker).isEmpty(); }, 5000)) << "Enter left the picker open";
  Click(notes.bottomRight() + kNotesOk, 1000);
  // The stored notes hold the picture.
  const auto storedNotes = [&] {
    TMNotesBase doc;
    doc.OnVerify.Set([](TPersistent*, const QString&, bool& accept) { accept = true; });
    doc.LoadFromFile(ExeFile("mnotes.dat"));
    return doc.QuickNote.Text();
  };
  EXPECT_TRUE(WaitUntil([&] { return storedNotes().contains("\\pict"); }, 5000)) << "no picture in the stored notes";
  EXPECT_TRUE(QFileInfo::exists(ExeFile("mficons.dat")));
}
