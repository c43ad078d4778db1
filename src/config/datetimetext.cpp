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
    return u"%1/%2/%3 %4:%5:%6"_s.arg(date.day(), 2, 10, QChar(u'0'))
        .arg(EnglishMonth(date.month()))
        .arg(date.year(), 4, 10, QChar(u'0'))
        .arg(time.hour(), 2, 10, QChar(u'0'))
        .arg(time.minute(), 2, 10, QChar(u'0'))
        .arg(time.second(), 2, 10, QChar(u'0'));
}

} // namespace keelwatch
