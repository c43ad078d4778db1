#pragma once

#include <QCoreApplication>
#include <QString>

namespace keelwatch {

// The scan mode as status panel 1 shows it.
inline QString ScanModeText(bool listMode, bool cyclic)
{
    if (listMode && cyclic)
        return QCoreApplication::translate("keelwatch::ScanMode", "List & Cyclic");
    if (listMode)
        return QCoreApplication::translate("keelwatch::ScanMode", "List");
    return cyclic ? QCoreApplication::translate("keelwatch::ScanMode", "Cyclic")
                  : QCoreApplication::translate("keelwatch::ScanMode", "Normal");
}

} // namespace keelwatch
