#include "config/datetimetext.h"

#include <gtest/gtest.h>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

TEST(DateTimeText, TwoDigitDayEnglishMonthAnd24HourTime)
{
    EXPECT_EQ(DateTimeText(QDateTime(QDate(2004, 1, 5), QTime(14, 3, 27))),
              u"05/Jan/2004 14:03:27"_s);
    EXPECT_EQ(DateTimeText(QDateTime(QDate(2026, 12, 6), QTime(0, 0, 7))),
              u"06/Dec/2026 00:00:07"_s);
    EXPECT_EQ(DateTimeText(QDateTime(QDate(1999, 9, 30), QTime(23, 59, 59))),
              u"30/Sep/1999 23:59:59"_s);
}

} // namespace
