#pragma once
// The built-in layout texts as the program reads them from its data module.
#include <QList>
#include <QStringList>
#include <gtest/gtest.h>

#include "calendar/MDataDM.h"
#include "foundation/KVObjectText.h"
#include "foundation/KVRStream.h"

// The texts in pack order, and each entry's kind when asked.
inline QStringList BuiltinLayoutTexts(QList<qint32>* kinds = nullptr) {
  TMData data;
  TKVResReader r;
  data.DefaultLayouts->BinStream().seek(0);
  r.SetStream(&data.DefaultLayouts->BinStream());
  EXPECT_TRUE(r.ReadDirectory());
  EXPECT_EQ(r.Version(), kLayoutPackVersion);
  QStringList texts;
  for (int i = 0; i < r.Count(); ++i) {
    if (kinds) *kinds << r.GetEntry(i).Kind;
    texts << DecodeObjectTextBytes(r.ReadBuffer(i));
  }
  return texts;
}
