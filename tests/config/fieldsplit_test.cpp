#include "config/fieldsplit.h"

#include <gtest/gtest.h>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

TEST(SplitFields, BlanksAndDelimitersSeparate)
{
    EXPECT_EQ(SplitFields(u"  a, b ,c"_s, u','), (QStringList{u"a"_s, u"b"_s, u"c"_s}));
    EXPECT_EQ(SplitFields(u"a b,c"_s, u','), (QStringList{u"a"_s, u"b"_s, u"c"_s}));
    EXPECT_EQ(SplitFields(u"a,,c"_s, u','), (QStringList{u"a"_s, QString(), u"c"_s}));
}

TEST(SplitFields, TrailingDelimiterAddsOneEmptyField)
{
    EXPECT_EQ(SplitFields(u"a,b,"_s, u','), (QStringList{u"a"_s, u"b"_s, QString()}));
    // A delimiter followed by blanks up to the end adds nothing.
    EXPECT_EQ(SplitFields(u"a,b, "_s, u','), (QStringList{u"a"_s, u"b"_s}));
    // A TAB delimiter is skipped like a blank, so a trailing TAB adds nothing.
    EXPECT_EQ(SplitFields(u"a\tb\t"_s, u'\t'), (QStringList{u"a"_s, u"b"_s}));
}

TEST(SplitFields, QuotesGroupAndDouble)
{
    EXPECT_EQ(SplitFields(u"\"a b\",\"say \"\"hi\"\"\""_s, u','),
              (QStringList{u"a b"_s, u"say \"hi\""_s}));
    // A missing closing quote takes the rest.
    EXPECT_EQ(SplitFields(u"x,\"rest, of"_s, u','), (QStringList{u"x"_s, u"rest, of"_s}));
}

TEST(TrimControls, RemovesBlanksAndControlsAtBothEnds)
{
    EXPECT_EQ(TrimControls(u"\t a b \r\n"_s), u"a b"_s);
    EXPECT_EQ(TrimControls(u"   "_s), QString());
}

} // namespace
