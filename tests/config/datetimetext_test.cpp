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

// Written digit by digit, the text is what formatting every field to its
// width gives, for every month, early years and a second before midnight.
TEST(DateTimeText, EveryMonthAndEarlyYearsAsFieldFormatting)
{
    for (const int year : {1, 99, 999, 1970, 2038, 9999}) {
        for (int month = 1; month <= 12; ++month) {
            const QDateTime when(QDate(year, month, month + 17), QTime(month + 11, 59, 59));
            const QString expected = u"%1/%2/%3 %4:59:59"_s.arg(month + 17)
                                         .arg(EnglishMonth(month))
                                         .arg(year, 4, 10, QChar(u'0'))
                                         .arg(month + 11);
            EXPECT_EQ(DateTimeText(when), expected);
        }
    }
    EXPECT_EQ(DateTimeText(QDateTime(QDate(12345, 3, 1), QTime(1, 2, 3))),
              u"01/Mar/12345 01:02:03"_s);
}

} // namespace
