#include "config/datetimetext.h"

#include <array>

using namespace Qt::StringLiterals;

namespace keelwatch {

QString EnglishMonth(int month)
{
    static const std::array<QString, 12> Names = {u"Jan"_s, u"Feb"_s, u"Mar"_s, u"Apr"_s,
                                                  u"May"_s, u"Jun"_s, u"Jul"_s, u"Aug"_s,
                                                  u"Sep"_s, u"Oct"_s, u"Nov"_s, u"Dec"_s};
    return month >= 1 && month <= 12 ? Names[size_t(month - 1)] : QString();
}

QString DateTimeText(const QDateTime &when)
{
    const QDate date = when.date();
    const QTime time = when.time();
    const int year = date.year();
    const QString month = EnglishMonth(date.month());
    if (year < 0 || year > 9999 || month.size() != 3 || !time.isValid())
        return u"%1/%2/%3 %4:%5:%6"_s.arg(date.day(), 2, 10, QChar(u'0'))
            .arg(month)
            .arg(year, 4, 10, QChar(u'0'))
            .arg(time.hour(), 2, 10, QChar(u'0'))
            .arg(time.minute(), 2, 10, QChar(u'0'))
            .arg(time.second(), 2, 10, QChar(u'0'));
    // Every event line carries one: written digit by digit, as arg() would,
    // at a fraction of its cost.
    QString text(20, Qt::Uninitialized);
    QChar *out = text.data();
    const auto two = [&out](int n) {
        *out++ = QChar(u'0' + n / 10);
        *out++ = QChar(u'0' + n % 10);
    };
    two(date.day());
    *out++ = u'/';
    for (const QChar c : month)
        *out++ = c;
    *out++ = u'/';
    two(year / 100);
    two(year % 100);
    *out++ = u' ';
    two(time.hour());
    *out++ = u':';
    two(time.minute());
    *out++ = u':';
    two(time.second());
    return text;
}

} // namespace keelwatch
