#include "report/nodeviewer.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>

using namespace keelwatch;
using namespace Qt::StringLiterals;

// The input is an event log that the viewer follows 192.168.0.5 through, with
// a TAB delimiter and with a comma.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(u"keelwatch.log"_s);
    {
        QFile log(path);
        if (!log.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        log.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    for (const bool tab : {true, false}) {
        FixedSettings settings;
        settings.values.tabDelimiter = tab;
        NodeViewer viewer(settings, [](const QString &) {});
        viewer.Start(u"192.168.0.5"_s, path);
        viewer.RefreshNodeViewer();
    }
    return 0;
}
