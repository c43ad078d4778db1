#include "config/setuprules.h"

#include "config/integertext.h"

#include <algorithm>

namespace keelwatch {

namespace {

qint64 InRangeOr(const QString &text, qint64 low, qint64 high, qint64 fallback)
{
    const qint64 v = ParseInteger(text).value_or(fallback);
    return v >= low && v <= high ? v : fallback;
}

} // namespace

QString ScanTimerExit(const QString &text)
{
    return QString::number(InRangeOr(text, 1, 60, 5));
}

QString PacketNumberExit(const QString &text)
{
    return QString::number(InRangeOr(text, 1, 10, 3));
}

QString NodeTimerExit(const QString &text)
{
    const qint64 v = ParseInteger(text).value_or(500);
    return QString::number(std::clamp<qint64>(v, 0, 60000));
}

QString SendRateExit(const QString &text)
{
    const qint64 v = ParseInteger(text).value_or(0);
    return QString::number(std::clamp<qint64>(v, 0, MaxSendRate));
}

} // namespace keelwatch
