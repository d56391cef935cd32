#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonArray>
#include <QJsonObject>
#include <QThread>
#include <gtest/gtest.h>

#include "foundation/KVSysUtils.h"
#include "tests/common/TestUtil.h"

namespace {

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = kvtest::TestRoot() + "/config/KelVoro/registry.json";
    QFile::remove(file_);
    QFile::remove(file_ + ".bak");
    for (int i = 1; i < 12; ++i) QFile::remove(file_ + ".bak" + QString::number(i));
    RegistryStore::ResetAll();
  }
  QString file_;
};

const QString kKey = "Software\\Kel Voro\\Test";

}  // namespace

TEST_F(RegistryTest, DefaultedReadsNeverRaise) {
  TKVRegistry r;
  ASSERT_TRUE(r.OpenKey(kKey, true));
  r.WriteString("Num", "12");
  r.WriteInteger("Int", 5);
  r.WriteBool("Flag", true);
  r.WriteFloat("F", 2.5);
  EXPECT_EQ(r.ReadIntegerDef("Num", 7), 7);  // a string "12" is not an integer
  EXPECT_EQ(r.ReadIntegerDef("Int", 7), 5);
  EXPECT_EQ(r.ReadIntegerDef("Missing", 7), 7);
  EXPECT_EQ(r.ReadStringDef("Int", "d"), "d");
  EXPECT_EQ(r.ReadStringDef("num", "d"), "12");  // names without regard to case
  EXPECT_TRUE(r.ReadBoolDef("Flag", false));
  EXPECT_TRUE(r.ReadBoolDef("Num", true));
  EXPECT_DOUBLE_EQ(r.ReadFloatDef("F", 0), 2.5);
  EXPECT_DOUBLE_EQ(r.ReadFloatDef("Int", 1.5), 1.5);
  r.WriteBinaryData("Nan", QByteArray("\x00\x00\x00\x00\x00\x00\xf8\x7f", 8));
  EXPECT_DOUBLE_EQ(r.ReadFloatDef("Nan", 3.0), 3.0);
  EXPECT_THROW(r.ReadInteger("Missing"), ERegistryError);
  EXPECT_THROW(r.ReadInteger("Num"), ERegistryError);
}

TEST_F(RegistryTest, ColoursAsNamesOrHexText) {
  TKVRegistry r;
  ASSERT_TRUE(r.OpenKey(kKey, true));
  r.WriteColor("C1", clRed);
  r.WriteColor("C2", 0x00459F00);
  r.WriteColor("C3", clNone);
  EXPECT_EQ(r.ReadString("C1"), "clRed");
  EXPECT_EQ(r.ReadString("C2"), "$00459F00");
  EXPECT_EQ(r.ReadString("C3"), "clNone");
  EXPECT_EQ(r.ReadColorDef("C2", 0), 0x00459F00u);
  r.WriteString("S1", "$000000FF");
  r.WriteString("S2", "red");
  r.WriteString("S3", "255");
  r.WriteInteger("S4", 255);
  EXPECT_EQ(r.ReadColorDef("S1", clBlue), clRed);
  EXPECT_EQ(r.ReadColorDef("S2", clBlue), clBlue);
  EXPECT_EQ(r.ReadColorDef("S3", clBlue), clRed);
  EXPECT_EQ(r.ReadColorDef("S4", clBlue), clBlue);
  EXPECT_EQ(r.ReadColorDef("Missing", clBlue), clBlue);
}

TEST_F(RegistryTest, FontsAsFiveValues) {
  TKVRegistry r;
  ASSERT_TRUE(r.OpenKey(kKey, true));
  TFont f;
  f.Name = "Arial";
  f.Size = 14;
  f.Charset = 204;
  f.Color = clRed;
  f.Style = FontStyle(fsBold) | FontStyle(fsItalic);
  r.WriteFont("Cal", f);
  EXPECT_EQ(r.ReadString("CalName"), "Arial");
  EXPECT_EQ(r.ReadString("CalCharSet"), "204");
  EXPECT_EQ(r.ReadString("CalColor"), "clRed");
  EXPECT_EQ(r.ReadInteger("CalSize"), 14);
  EXPECT_EQ(r.ReadString("CalStyle"), "BI");
  TFont back, def;
  r.ReadFont("Cal", back, def);
  EXPECT_TRUE(back == f);

  r.WriteString("XStyle", "SB");
  r.ReadFont("X", back, def);
  EXPECT_EQ(back.Style, FontStyle(fsBold) | FontStyle(fsStrikeOut));
  EXPECT_EQ(back.Name, def.Name);
  r.WriteString("YStyle", "");
  def.Style = FontStyle(fsItalic);
  r.ReadFont("Y", back, def);
  EXPECT_EQ(back.Style, 0u);

  // Only the size present: the default font with that size.
  r.WriteInteger("ZSize", 20);
  TFont z;
  r.ReadFont("Z", z, def);
  EXPECT_EQ(z.Size, 20);
  EXPECT_EQ(z.Style, def.Style);

  // A bad value ends the reading there; what came before stays.
  r.WriteString("WName", "Courier");
  r.WriteString("WColor", "nonsense");
  r.WriteInteger("WSize", 30);
  TFont w;
  r.ReadFont("W", w, def);
  EXPECT_EQ(w.Name, "Courier");
  EXPECT_EQ(w.Size, def.Size);
  // Absurd sizes and character sets fall back.
  r.WriteInteger("VSize", -5);
  r.WriteString("VCharSet", "4000");
  TFont v;
  r.ReadFont("V", v, def);
  EXPECT_EQ(v.Size, def.Size);
  EXPECT_EQ(v.Charset, 0);
}

TEST_F(RegistryTest, StoreIsWrittenAtomicallyAndOnlyOnChange) {
  {
    TKVRegistry r;
    ASSERT_TRUE(r.OpenKey(kKey, true));
    r.WriteInteger("A", 1);
    r.WriteString("Multi", "line1\r\nline2");
    r.CloseKey();
  }
  ASSERT_TRUE(QFileInfo::exists(file_));
  EXPECT_EQ(QFileInfo(file_).permissions() & (QFile::ReadGroup | QFile::ReadOther), 0);
  const QDateTime first = QFileInfo(file_).lastModified();
  QThread::msleep(20);
  {
    TKVRegistry r;
    ASSERT_TRUE(r.OpenKey(kKey, false));
    r.WriteInteger("A", 1);  // unchanged
    r.CloseKey();
  }
  EXPECT_EQ(QFileInfo(file_).lastModified(), first);
  RegistryStore::ResetAll();
  TKVRegistry r;
  ASSERT_TRUE(r.OpenKeyReadOnly("\\software\\KEL VORO\\test"));
  EXPECT_EQ(r.ReadString("Multi"), "line1\r\nline2");
  EXPECT_THROW(r.WriteInteger("A", 2), ERegistryError);
  EXPECT_FALSE(r.OpenKey("Software\\Nowhere", false));
  // Relative paths open below the open key.
  ASSERT_TRUE(r.OpenKey("\\Software\\Kel Voro", false));
  ASSERT_TRUE(r.OpenKey("Test", false));
  EXPECT_EQ(r.CurrentPath(), "Software\\Kel Voro\\Test");
}

TEST_F(RegistryTest, UnreadableStoreIsKeptAside) {
  QDir().mkpath(QFileInfo(file_).absolutePath());
  kvtest::WriteFile(file_, "{ not json");
  TKVRegistry r;
  EXPECT_FALSE(r.OpenKey(kKey, false));
  EXPECT_EQ(kvtest::ReadFile(file_ + ".bak"), "{ not json");
  ASSERT_TRUE(r.OpenKey(kKey, true));
  r.WriteInteger("A", 3);
  r.CloseKey();
  EXPECT_EQ(kvtest::ReadFile(file_ + ".bak"), "{ not json");
}

TEST_F(RegistryTest, ExternalChangesAreSeen) {
  {
    TKVRegistry r;
    ASSERT_TRUE(r.OpenKey(kKey, true));
    r.WriteInteger("A", 1);
  }
  QByteArray json = kvtest::ReadFile(file_);
  json.replace("\"data\": 1", "\"data\": 42");
  QThread::msleep(20);
  kvtest::WriteFile(file_, json);
  TKVRegistry r;
  ASSERT_TRUE(r.OpenKey(kKey, false));
  EXPECT_EQ(r.ReadInteger("A"), 42);
}

TEST_F(RegistryTest, RunValuesAreAutostartEntries) {
  const QString name = "Kel Voro Mirova Calendar";
  TKVRegistry r;
  ASSERT_TRUE(r.OpenKey("\\" + RunKeyPath(), true));
  EXPECT_FALSE(r.ValueExists(name));
  r.WriteString(name, "\"/opt/my apps/mirova\" /a");
  const QString desktop = kvtest::TestRoot() + "/config/autostart/kel-voro-mirova-calendar.desktop";
  const QString text = QString::fromUtf8(kvtest::ReadFile(desktop));
  EXPECT_TRUE(text.contains("Exec=\"/opt/my apps/mirova\" /a\n")) << text.toStdString();
  EXPECT_TRUE(r.ValueExists(name));
  EXPECT_EQ(r.ReadString(name), "\"/opt/my apps/mirova\" /a");
  EXPECT_TRUE(r.GetValueNames().contains(name));
  // Other programs' autostart files are not ours to see or delete.
  kvtest::WriteFile(kvtest::TestRoot() + "/config/autostart/other.desktop", "[Desktop Entry]\nExec=other\n");
  EXPECT_EQ(r.GetValueNames().size(), 1);
  EXPECT_FALSE(r.DeleteValue("other"));
  EXPECT_TRUE(r.DeleteValue(name));
  EXPECT_FALSE(QFileInfo::exists(desktop));
}

namespace {

QJsonObject ReadJson(const QString& file) { return QJsonDocument::fromJson(kvtest::ReadFile(file)).object(); }

QJsonObject KeyAt(QJsonObject o, const QStringList& path) {
  for (const QString& k : path) o = o["keys"].toObject()[k].toObject();
  return o;
}

}  // namespace

TEST_F(RegistryTest, WhatTheStoreDoesNotUnderstandIsKeptAsItWas) {
  // Values of other types or out of range, a key nested 70 deep, a member of a newer program.
  QJsonObject deep{{"values", QJsonObject{{"Leaf", QJsonObject{{"type", "string"}, {"data", "bottom"}}}}}};
  for (int i = 0; i < 70; ++i) deep = QJsonObject{{"keys", QJsonObject{{"Level", deep}}}};
  const QJsonObject odd{
      {"Known", QJsonObject{{"type", "dword"}, {"data", 7}}},
      {"Many", QJsonObject{{"type", "multi"}, {"data", QJsonArray{"a", "b"}}}},
      {"Huge", QJsonObject{{"type", "dword"}, {"data", 1e12}}},
      {"Half", QJsonObject{{"type", "dword"}, {"data", 1.5}}},
      {"Text", QJsonObject{{"type", "string"}, {"data", 12}}},
      {"Blob", QJsonObject{{"type", "binary"}, {"data", "***"}}},
      {"Bare", 5},
  };
  const QJsonObject test{{"values", odd}, {"keys", QJsonObject{{"Deep", deep}, {"Plain", QJsonObject{}}}}};
  QJsonObject top{{"version", 2}, {"keys", QJsonObject{{"Software", QJsonObject{{"keys", QJsonObject{{"Kel Voro", QJsonObject{{"keys", QJsonObject{{"Test", test}}}}}}}}}}}};
  QDir().mkpath(QFileInfo(file_).absolutePath());
  kvtest::WriteFile(file_, QJsonDocument(top).toJson());

  TKVRegistry r;
  ASSERT_TRUE(r.OpenKey(kKey, false));  // the deep key no longer costs the whole store
  EXPECT_EQ(r.ReadInteger("Known"), 7);
  EXPECT_TRUE(r.ValueExists("many"));
  EXPECT_EQ(r.GetDataType("Huge"), TRegDataType::rdUnknown);
  EXPECT_EQ(r.ReadIntegerDef("Huge", -1), -1);
  EXPECT_EQ(r.ReadStringDef("Text", "d"), "d");
  EXPECT_TRUE(r.GetValueNames().contains("Bare"));
  EXPECT_TRUE(r.KeyExists("Plain"));
  EXPECT_TRUE(r.KeyExists("Deep\\Level\\Level"));  // only what lies too deep is left unread
  r.WriteInteger("Added", 1);
  r.WriteString("Half", "now a string");  // the program's own write replaces what was kept
  EXPECT_TRUE(r.DeleteValue("Text"));
  r.CloseKey();

  const QJsonObject saved = ReadJson(file_);
  EXPECT_EQ(saved["version"].toInt(), 2);
  const QJsonObject key = KeyAt(saved, {"Software", "Kel Voro", "Test"});
  const QJsonObject values = key["values"].toObject();
  for (const char* kept : {"Many", "Huge", "Blob", "Bare"}) EXPECT_EQ(values[kept], odd[kept]) << kept;
  EXPECT_FALSE(values.contains("Text"));
  EXPECT_EQ(values["Half"].toObject()["data"].toString(), "now a string");
  EXPECT_EQ(values["Added"].toObject()["data"].toInt(), 1);
  QJsonObject bottom = key["keys"].toObject()["Deep"].toObject();
  for (int i = 0; i < 70; ++i) bottom = bottom["keys"].toObject()["Level"].toObject();
  EXPECT_EQ(bottom["values"].toObject()["Leaf"].toObject()["data"].toString(), "bottom");
}

TEST_F(RegistryTest, EveryUnreadableStoreGetsItsOwnBackup) {
  QDir().mkpath(QFileInfo(file_).absolutePath());
  for (int i = 0; i < 3; ++i) {
    kvtest::WriteFile(file_, "{ broken " + QByteArray::number(i));
    RegistryStore::ResetAll();
    TKVRegistry r;
    ASSERT_TRUE(r.OpenKey(kKey, true));
    r.WriteInteger("A", i);
    r.CloseKey();
  }
  EXPECT_EQ(kvtest::ReadFile(file_ + ".bak"), "{ broken 0");
  EXPECT_EQ(kvtest::ReadFile(file_ + ".bak1"), "{ broken 1");
  EXPECT_EQ(kvtest::ReadFile(file_ + ".bak2"), "{ broken 2");
}

TEST_F(RegistryTest, FullDiskKeepsTheStoreAndThePendingChanges) {
  TKVRegistry r;
  ASSERT_TRUE(r.OpenKey(kKey, true));
  r.WriteString("Name", "first");
  r.CloseKey();
  const QByteArray before = kvtest::ReadFile(file_);
  ASSERT_TRUE(r.OpenKey(kKey, false));
  r.WriteString("Name", "second");
  {
    kvtest::FullDisk full;
    EXPECT_THROW(r.CloseKey(), ERegistryError);
    EXPECT_FALSE(RegistryStore::Of(TRootKey::HKEY_CURRENT_USER).Flush());
  }
  EXPECT_EQ(kvtest::ReadFile(file_), before);
  EXPECT_TRUE(RegistryStore::Of(TRootKey::HKEY_CURRENT_USER).Flush());
  RegistryStore::ResetAll();
  ASSERT_TRUE(r.OpenKey(kKey, false));
  EXPECT_EQ(r.ReadString("Name"), "second");
  // A log-on entry on a full disk is not written either.
  ASSERT_TRUE(r.OpenKey("\\" + RunKeyPath(), true));
  {
    kvtest::FullDisk full;
    EXPECT_THROW(r.WriteString("Kel Voro Mirova Calendar", "mirova /a"), ERegistryError);
  }
  EXPECT_FALSE(r.ValueExists("Kel Voro Mirova Calendar"));
}
