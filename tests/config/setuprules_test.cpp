#include "config/settings.h"
#include "config/setuprules.h"

#include <gtest/gtest.h>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

TEST(SetupRules, NumberFieldsAreForcedIntoRange)
{
    EXPECT_EQ(ScanTimerExit(u"0"_s), u"5"_s);
    EXPECT_EQ(ScanTimerExit(u"61"_s), u"5"_s);
    EXPECT_EQ(ScanTimerExit(u"060"_s), u"60"_s);
    EXPECT_EQ(ScanTimerExit(QString()), u"5"_s);
    EXPECT_EQ(PacketNumberExit(u"11"_s), u"3"_s);
    EXPECT_EQ(PacketNumberExit(u"10"_s), u"10"_s);
    EXPECT_EQ(NodeTimerExit(u"70000"_s), u"60000"_s);
    EXPECT_EQ(NodeTimerExit(u"-5"_s), u"0"_s);
    EXPECT_EQ(NodeTimerExit(u"abc"_s), u"500"_s);
    EXPECT_EQ(NodeTimerExit(u"0"_s), u"0"_s);
}

TEST(Settings, AdapterNameIsTextAfterFirstSeparator)
{
    Settings s;
    s.adapterItem = u"10.9.0.1 : kw0 : x"_s;
    EXPECT_EQ(s.AdapterName(), u"kw0 : x"_s);
    s.adapterItem = u"kw0"_s;
    EXPECT_EQ(s.AdapterName(), QString());
}

} // namespace
