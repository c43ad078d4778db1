#include "config/settingsstore.h"

#include <QFile>
#include <QHash>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdint>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

class MapControls : public SettingsControls
{
  public:
    QString Text(QStringView value) const override { return texts.value(value.toString()); }
    void SetText(QStringView value, const QString &text) override
    {
        texts.insert(value.toString(), text);
    }
    bool Flag(QStringView value) const override { return flags.value(value.toString()); }
    void SetFlag(QStringView value, bool on) override { flags.insert(value.toString(), on); }
    QStringList AdapterItems() const override { return {u"10.0.0.1 : eth0"_s, u"lo"_s}; }
    int AdapterIndex() const override { return adapter; }
    void SetAdapterIndex(int index) override { adapter = index; }

  private:
    QHash<QString, QString> texts;
    QHash<QString, bool> flags;
    int adapter = -1;
};

} // namespace

// The input is the settings file, read as the program reads its store.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(u"keelwatch.conf"_s);
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    QSettings store(path, QSettings::IniFormat);
    MapControls controls;
    ReadSettingsStore(controls, store);
    return 0;
}
