#pragma once

#include <QString>

namespace keelwatch {

// What a number field of the Setup dialog shows after the user leaves it: the
// text read as an integer (the default when it is none), forced into range.
QString ScanTimerExit(const QString &text);    // 1 to 60, else 5
QString PacketNumberExit(const QString &text); // 1 to 10, else 3
QString NodeTimerExit(const QString &text);    // 0 to 60000, clamped; 500 when not a number
// 0 (off) to MaxSendRate, clamped; 0 when not a number.
QString SendRateExit(const QString &text);
// Beyond what a gigabit card sends in 60-byte frames.
constexpr int MaxSendRate = 1000000;

} // namespace keelwatch
