#include <gtest/gtest.h>

#include "foundation/KVObjectText.h"

TEST(ObjectText, ParsesAndFormatsRoundTrip) {
  const QString text = QStringLiteral(
      "object ini: Tini\r\n"
      "  DayColor = clRed\r\n"
      "  Count = -12\r\n"
      "end\r\n");
  const TextObject o = ParseObjectText(text);
  EXPECT_EQ(o.name, "ini");
  EXPECT_EQ(o.className, "Tini");
  ASSERT_EQ(o.props.size(), 2u);
  EXPECT_EQ(o.props[1].value.integer, -12);
  EXPECT_EQ(FormatObjectText(o), text);
}
