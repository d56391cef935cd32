#include <gtest/gtest.h>

#include "foundation/KVObjectText.h"

namespace {

const char* kLayoutText =
    "object DiaryBase: TMDiaryBase\r\n"
    "  DocType = 'Kel Voro Diary'\r\n"
    "  DocVer = 1\r\n"
    "  Data = <\r\n"
    "    item\r\n"
    "      idx = '2007/12/24'\r\n"
    "      Lines = 'It'#39's Christmas Eve'#13#10'Second line'\r\n"
    "      Color = clRed\r\n"
    "    end\r\n"
    "    item\r\n"
    "      idx = '2008/01/01'\r\n"
    "    end>\r\n"
    "  Anchors = [akLeft, akTop]\r\n"
    "  Empty = []\r\n"
    "  Ratio = 0.5\r\n"
    "  Big = -2147483648\r\n"
    "  Lines.Strings = (\r\n"
    "    'one'\r\n"
    "    'two')\r\n"
    "  Picture.Data = {\r\n"
    "    000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F\r\n"
    "    2021}\r\n"
    "  Small = {0A0B}\r\n"
    "  object Child: TChild\r\n"
    "    Visible = False\r\n"
    "  end\r\n"
    "end\r\n";

}  // namespace

TEST(ObjectText, ReadsEveryValueKind) {
  const TextObject o = ParseObjectText(QString::fromLatin1(kLayoutText));
  EXPECT_EQ(o.name, "DiaryBase");
  EXPECT_EQ(o.className, "TMDiaryBase");
  ASSERT_EQ(o.props.size(), 10u);
  EXPECT_EQ(o.props[0].value.text, "Kel Voro Diary");
  const TextValue& data = o.props[2].value;
  ASSERT_EQ(data.type, TextValue::Type::Collection);
  ASSERT_EQ(data.items.size(), 2u);
  EXPECT_EQ(data.items[0].props[1].value.text, QString("It's Christmas Eve\r\nSecond line"));
  EXPECT_TRUE(data.items[0].props[2].value.IsIdent("clred"));
  EXPECT_EQ(o.props[3].value.set, QStringList({"akLeft", "akTop"}));
  EXPECT_TRUE(o.props[4].value.set.isEmpty());
  EXPECT_EQ(o.props[5].value.type, TextValue::Type::Float);
  EXPECT_DOUBLE_EQ(o.props[5].value.number, 0.5);
  EXPECT_EQ(o.props[6].value.integer, -2147483648LL);
  EXPECT_EQ(o.props[7].name, "Lines.Strings");
  ASSERT_EQ(o.props[7].value.list.size(), 2u);
  EXPECT_EQ(o.props[8].value.bytes.size(), 34);
  EXPECT_EQ(uchar(o.props[8].value.bytes[33]), 0x21);
  ASSERT_EQ(o.children.size(), 1u);
  EXPECT_EQ(o.children[0].props[0].value.text, "False");
}

TEST(ObjectText, WritesTheClassLibraryLayout) {
  const QString text = QString::fromLatin1(kLayoutText);
  EXPECT_EQ(FormatObjectText(ParseObjectText(text)), text);
}

TEST(ObjectText, LongStringsContinueEvery64Characters) {
  TextObject o;
  o.name = "n";
  o.className = "TN";
  o.props.push_back({"Short", TextValue::Str(QString(64, 'a')), 0});
  o.props.push_back({"Long", TextValue::Str(QString(130, 'b')), 0});
  o.props.push_back({"Mixed", TextValue::Str(QString(63, 'c') + "\r\n" + "d" + QString::fromUtf8("\xC3\xA9\xE2\x82\xAC\xE4\xB8\xAD")), 0});
  const QString out = FormatObjectText(o);
  const QString expected =
      "object n: TN\r\n"
      "  Short = '" + QString(64, 'a') + "'\r\n"
      "  Long = \r\n"
      "    '" + QString(64, 'b') + "' +\r\n"
      "    '" + QString(64, 'b') + "' +\r\n"
      "    'bb'\r\n"
      "  Mixed = \r\n"
      "    '" + QString(63, 'c') + "'#13 +\r\n"
      "    #10'd'#233#128#20013\r\n"
      "end\r\n";
  EXPECT_EQ(out, expected);
  // And it reads back to the same characters.
  const TextObject back = ParseObjectText(out);
  EXPECT_EQ(back.props[1].value.text, QString(130, 'b'));
  EXPECT_EQ(back.props[2].value.text, o.props[2].value.text);
  EXPECT_EQ(FormatObjectText(back), out);
}

TEST(ObjectText, BinaryBlocksBreakEvery32Bytes) {
  TextObject o;
  o.name = "n";
  o.className = "TN";
  QByteArray b;
  for (int i = 0; i < 70; ++i) b.append(char(i * 3));
  o.props.push_back({"Data", TextValue::Binary(b), 0});
  o.props.push_back({"Tiny", TextValue::Binary(QByteArray("\xAB", 1)), 0});
  o.props.push_back({"None", TextValue::Binary(QByteArray()), 0});
  const QString out = FormatObjectText(o);
  const QStringList lines = out.split("\r\n");
  EXPECT_EQ(lines[1], "  Data = {");
  EXPECT_EQ(lines[2].size(), 4 + 64);
  EXPECT_EQ(lines[3].size(), 4 + 64);
  EXPECT_TRUE(lines[4].endsWith("}"));
  EXPECT_EQ(lines[5], "  Tiny = {AB}");
  EXPECT_EQ(lines[6], "  None = {}");
  EXPECT_EQ(ParseObjectText(out).props[0].value.bytes, b);
}

TEST(ObjectText, BinaryDigitsAreReadAcrossLinesAndBlanks) {
  const QString text = "object a: TA\n  X = {\n    0A 1b\r\n\t  FF}\n  Y = {}\n  Z = {AB\n  }\nend\n";
  const TextObject o = ParseObjectText(text);
  ASSERT_EQ(o.props.size(), 3u);
  EXPECT_EQ(o.props[0].value.bytes, QByteArray("\x0A\x1B\xFF", 3));
  EXPECT_EQ(o.props[1].value.bytes, QByteArray());
  EXPECT_EQ(o.props[2].value.bytes, QByteArray("\xAB", 1));
  EXPECT_EQ(o.props[2].line, 6);
  // A block left open fails at the first character that is no digit, on its own line.
  try {
    ParseObjectText("object a: TA\n  X = {\n    0A\n  Y = {}\nend\n");
    FAIL();
  } catch (const EParserError& e) {
    EXPECT_EQ(e.Line(), 4);
  }
  EXPECT_THROW(ParseObjectText("object a: TA\n  X = {0A 1"), EParserError);
}

TEST(ObjectText, ToleratesLegacyForms) {
  // Raw Windows-1252 bytes, #$ hex codes, lower-case keywords, inherited blocks, item indices,
  // float suffixes and blank lines are all accepted.
  const QByteArray raw =
      "\r\n\r\ninherited Form1: TForm1 [2]\n"
      "  Caption = 'Caf\xE9 \x80'#$41 + \n"
      "   'z'\n"
      "  When = 39440.5d\n"
      "  Items = <\n"
      "    item [3]\n"
      "    END>\n"
      "  Color = $00FF00\n"
      "END\n"
      "trailing text is not looked at";
  const TextObject o = ParseObjectText(DecodeObjectTextBytes(raw));
  EXPECT_EQ(o.kind, TextObject::Kind::Inherited);
  EXPECT_EQ(o.position.value_or(-1), 2);
  EXPECT_EQ(o.props[0].value.text, QString::fromUtf8("Caf\xC3\xA9 \xE2\x82\xAC" "Az"));
  EXPECT_EQ(o.props[1].value.floatSuffix, 'd');
  EXPECT_EQ(o.props[2].value.items.at(0).index.value_or(-1), 3);
  EXPECT_EQ(o.props[3].value.integer, 0xFF00);
}

TEST(ObjectText, MalformedTextRaisesWithTheLine) {
  const char* bad[] = {
      "",
      "object",
      "object a: TA\n  X = 'unterminated\nend\n",
      "object a: TA\n  X = \nend\n",
      "object a: TA\n  X = 1\n",                 // no end
      "object a: TA\n  X = {ABC}\nend\n",        // odd hex
      "object a: TA\n  X = {GG}\nend\n",         // bad hex
      "object a: TA\n  X = [a b]\nend\n",        // set without comma
      "object a: TA\n  X = <item X = 1>\nend\n", // item without end
      "object a: TA\n  X = 'a' +\nend\n",        // dangling +
      "object a: TA\n  X = #99999\nend\n",
      "object a: TA\n  X = 12abc\nend\n",
      "object a: TA\n  = 1\nend\n",
      "thing a: TA\nend\n",
  };
  for (const char* t : bad) EXPECT_THROW(ParseObjectText(QString::fromLatin1(t)), EParserError) << t;
  try {
    ParseObjectText("object a: TA\n  X = 1\n  Y = ?\nend\n");
    FAIL();
  } catch (const EParserError& e) {
    EXPECT_EQ(e.Line(), 3);
  }
}

TEST(ObjectText, DeepNestingIsRefusedNotOverflowed) {
  QString t = "object a: TA\n  X = ";
  for (int i = 0; i < 100000; ++i) t += '(';
  EXPECT_THROW(ParseObjectText(t), EParserError);
  QString objs;
  for (int i = 0; i < 5000; ++i) objs += "object a: TA\n";
  EXPECT_THROW(ParseObjectText(objs), EParserError);
}

TEST(ObjectText, Windows1252RoundTrip) {
  QByteArray all;
  for (int i = 0; i < 256; ++i) all.append(char(i));
  EXPECT_EQ(EncodeObjectTextBytes(DecodeObjectTextBytes(all)), all);
  EXPECT_EQ(DecodeObjectTextBytes("\x80\x99"), QString::fromUtf8("\xE2\x82\xAC\xE2\x84\xA2"));
}

TEST(ObjectText, EveryTruncationFailsCleanly) {
  const QString text = QString::fromLatin1(kLayoutText);
  for (int n = 0; n < text.size() - 2; ++n) {
    try {
      ParseObjectText(text.left(n));
      ADD_FAILURE() << "a text cut after " << n << " characters was accepted";
    } catch (const EParserError&) {
    }
  }
}

TEST(ObjectText, SmallestIntegerIsNoOverflow) {
  const TextObject o = ParseObjectText(
      "object a: TA\n  A = -$8000000000000000\n  B = $8000000000000000\n  C = -$7FFFFFFFFFFFFFFF\n"
      "  D = -9223372036854775808\n  E = 9223372036854775808\nend\n");
  EXPECT_EQ(o.props[0].value.integer, INT64_MIN);
  EXPECT_EQ(o.props[1].value.integer, INT64_MIN);  // the 64 bits as they stand
  EXPECT_EQ(o.props[2].value.integer, -INT64_MAX);
  EXPECT_EQ(o.props[3].value.integer, INT64_MIN);
  EXPECT_EQ(o.props[4].value.type, TextValue::Type::Float);  // past 64 bits
  // Written back as decimal, the smallest integer reads back as itself.
  EXPECT_EQ(ParseObjectText(FormatObjectText(o)).props[0].value.integer, INT64_MIN);
}

TEST(ObjectText, PartialParsingKeepsWhatStandsBeforeTheDamage) {
  const QString text = QString::fromLatin1(kLayoutText);
  // Cut inside the second item: the first whole item stays, the property holding them too.
  TextDamage damage;
  TextObject o = ParseObjectTextPartial(text.left(text.indexOf("2008/01/01")), damage);
  EXPECT_TRUE(damage.damaged);
  EXPECT_EQ(damage.line, 11);
  ASSERT_EQ(o.props.size(), 3u);
  EXPECT_EQ(o.props[2].name, "Data");
  ASSERT_EQ(o.props[2].value.items.size(), 1u);
  EXPECT_EQ(o.props[2].value.items[0].props[0].value.text, "2007/12/24");
  // Cut inside a string list: the whole lines before it stay.
  o = ParseObjectTextPartial(text.left(text.indexOf("'two'") + 3), damage);
  ASSERT_EQ(o.props.back().name, "Lines.Strings");
  ASSERT_EQ(o.props.back().value.list.size(), 1u);
  EXPECT_EQ(o.props.back().value.list[0].text, "one");
  // A bad value ends the properties before it; a whole text is not damaged.
  o = ParseObjectTextPartial("object a: TA\n  X = 1\n  Y = ?\n  Z = 2\nend\n", damage);
  EXPECT_TRUE(damage.damaged);
  EXPECT_EQ(o.props.size(), 1u);
  o = ParseObjectTextPartial(text, damage);
  EXPECT_FALSE(damage.damaged);
  EXPECT_EQ(FormatObjectText(o), FormatObjectText(ParseObjectText(text)));
  // Every cut of the sample gives a block or fails only at its first line.
  for (int n = 0; n < text.size(); ++n) {
    try {
      ParseObjectTextPartial(text.left(n), damage);
    } catch (const EParserError& e) {
      EXPECT_LE(n, 30) << "cut after " << n << ": " << e.what();
    }
  }
}

namespace {

TextParseOptions Budgeted(TextBudget& budget) {
  TextParseOptions o;
  o.budget = &budget;
  return o;
}

QString EmptyItems(int n) {
  QString text = "object a: TA\r\n  Data = <";
  for (int i = 0; i < n; ++i) text += " item end";
  return text + ">\r\nend\r\n";
}

}  // namespace

TEST(ObjectTextBudget, AParseStopsSoonAfterWhatItBuildsPassesTheBudget) {
  // 200,000 empty items in 1.8 MB of text cost 51 MB as a tree.
  const QString text = EmptyItems(200000);
  TextBudget budget{4 * 1024 * 1024};
  EXPECT_THROW(ParseObjectText(text, Budgeted(budget)), ETextBudgetError);
  EXPECT_LE(budget.used, budget.limit + TextCost::kPerItem);
  // The damage recovery does not take the refusal for damage and keep the items before it.
  TextBudget again{4 * 1024 * 1024};
  TextDamage damage;
  EXPECT_THROW(ParseObjectTextPartial(text, damage, Budgeted(again)), ETextBudgetError);
  // Enough budget: the whole tree, counted as a tree walk counts it.
  TextBudget enough{qint64(1) << 40};
  const TextObject o = ParseObjectText(text, Budgeted(enough));
  ASSERT_EQ(o.props[0].value.items.size(), 200000u);
  EXPECT_EQ(enough.used, TextCost::OfTree(o));
  EXPECT_GE(enough.used, 200000 * TextCost::kPerItem);
}

TEST(ObjectTextBudget, EveryKindOfElementIsCountedAsTheTreeCountsIt) {
  // Items with properties, sets, string lists, lists of lists, child objects and binary data.
  const QString texts[] = {
      QString::fromLatin1(kLayoutText),
      "object a: TA\n  X = ((1 2) ('a' ('b')) ())\n  S = [a, b, c]\n  object b: TB\n    Y = <item Z = <item end> end>\n"
      "    object c: TC\n    end\n  end\nend\n",
  };
  for (const QString& text : texts) {
    TextBudget budget{qint64(1) << 40};
    const TextObject o = ParseObjectText(text, Budgeted(budget));
    EXPECT_EQ(budget.used, TextCost::OfTree(o)) << text.toStdString();
    // What the writer measures of the tree, the next parse of its text counts.
    TextBudget back{qint64(1) << 40};
    const TextObject reread = ParseObjectText(FormatObjectText(o), Budgeted(back));
    EXPECT_EQ(TextCost::OfTree(reread), back.used);
    EXPECT_EQ(back.used, budget.used);
  }
  // One object, two properties, three list elements, a set of two, one item with one property.
  TextBudget small{qint64(1) << 40};
  ParseObjectText("object a: TA\n  L = (1 2 3)\n  S = [x, y]\n  C = <item P = 1 end>\nend\n", Budgeted(small));
  EXPECT_EQ(small.used, TextCost::kPerObject + 4 * TextCost::kPerProperty + 5 * TextCost::kPerElement +
                            TextCost::kPerItem);
}

TEST(ObjectTextBudget, AWrappedParseReadsTheFirstLineAsNamingTheRoot) {
  // As if the first line had been replaced: whatever it held, the rest reads as it would.
  const QString texts[] = {
      QString::fromLatin1(kLayoutText),
      "object Other: TOther [3]\r\n  X = 1\r\nend\r\n",
      "garbage line\n  X = 'a'\nend\n",
      "object a: TA\n  [2]\n  X = 1\nend\n",
      "object a: TA",
      "",
      "object a: TA\n  X = ?\nend\n",
  };
  TextParseOptions wrap;
  wrap.wrap = true;
  wrap.rootName = "Doc";
  wrap.rootClass = "TDoc";
  for (const QString& text : texts) {
    const qsizetype eol = text.indexOf('\n');
    const QString replaced = eol < 0 ? QString("object Doc: TDoc") : "object Doc: TDoc\r" + text.mid(eol);
    QString expected, got;
    try {
      expected = FormatObjectText(ParseObjectText(replaced));
    } catch (const EParserError& e) {
      expected = "error " + QString::number(e.Line());
    }
    try {
      const TextObject o = ParseObjectText(text, wrap);
      EXPECT_EQ(o.line, 1);
      got = FormatObjectText(o);
    } catch (const EParserError& e) {
      got = "error " + QString::number(e.Line());
    }
    EXPECT_EQ(got, expected) << text.toStdString();
  }
}

TEST(ObjectText, LongStringsKeepEveryPieceQuotesAndCodes) {
  // Pieces of every length, doubled quotes at piece ends, codes between them.
  QString s;
  for (int i = 0; i < 3000; ++i) {
    s += QChar('a' + i % 26);
    if (i % 61 == 0) s += '\'';
    if (i % 97 == 0) s += "\r\n";
    if (i % 131 == 0) s += QChar(0x20AC);
  }
  TextObject o;
  o.name = "a";
  o.className = "TA";
  o.props.push_back({"S", TextValue::Str(s), 0});
  const TextObject back = ParseObjectText(FormatObjectText(o));
  EXPECT_EQ(back.props[0].value.text, s);
}
