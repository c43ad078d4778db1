#pragma once

#include <QString>

namespace keelwatch {

// The scan mode as status panel 1 shows it.
inline QString ScanModeText(bool listMode, bool cyclic)
{
    if (listMode && cyclic)
        return QStringLiteral("List & Cyclic");
    if (listMode)
        return QStringLiteral("List");
    return cyclic ? QStringLiteral("Cyclic") : QStringLiteral("Normal");
}

} // namespace keelwatch
