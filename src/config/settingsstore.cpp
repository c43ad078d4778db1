#include "config/settingsstore.h"

#include <QVariant>

#include <algorithm>
#include <cstdint>
#include <optional>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

constexpr auto Text = StoredKind::Text;
constexpr auto Flag = StoredKind::Flag;

QString ValueName(const char16_t *name)
{
    return QString::fromUtf16(name);
}

StoredKind KindOf(const char16_t *name)
{
    const auto at = std::find_if(LoadOrder.begin(), LoadOrder.end(), [name](const StoredValue &v) {
        return QStringView(v.name) == QStringView(name);
    });
    return at->kind;
}

// INI files hold every value as text; other backends give real integers.
std::optional<bool> ReadFlag(const QVariant &value)
{
    bool ok = false;
    qint64 number = 0;
    switch (value.typeId()) {
    case QMetaType::QString:
        number = value.toString().toLongLong(&ok);
        break;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        number = value.toLongLong(&ok);
        break;
    default:
        break;
    }
    if (!ok || number < INT32_MIN || number > qint64(UINT32_MAX))
        return std::nullopt;
    return number != 0;
}

// An absent text reads as empty text; a value of another type (a list, a
// byte array) cannot be read as text.
std::optional<QString> ReadText(const QSettings &store, const QString &name)
{
    if (!store.contains(name))
        return QString();
    const QVariant value = store.value(name);
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

bool ApplyValue(SettingsControls &controls, const QSettings &store, const StoredValue &stored)
{
    const QString name = ValueName(stored.name);
    if (stored.kind == Flag) {
        if (!store.contains(name))
            return false;
        const std::optional<bool> on = ReadFlag(store.value(name));
        if (!on)
            return false;
        controls.SetFlag(name, *on);
        return true;
    }
    std::optional<QString> text = ReadText(store, name);
    if (!text)
        return false;
    if (name == u"NIC")
        controls.SetAdapterIndex(MatchAdapterItem(controls.AdapterItems(), *text));
    else if (name == u"OMAC" && !text->isEmpty())
        controls.SetText(name, NormalizeOwnMac(*text));
    else
        controls.SetText(name, *text);
    return true;
}

} // namespace

const std::array<StoredValue, StoredValueCount> LoadOrder = {{
    {u"TIPF", Text},    {u"TIPT", Text},       {u"NIC", Text},        {u"OIP", Text},
    {u"OMAC", Text},    {u"FS1MAC", Text},     {u"FS2MAC", Text},     {u"FBR", Flag},
    {u"F31", Flag},     {u"F016", Flag},       {u"F8", Flag},         {u"FM", Flag},
    {u"M1", Flag},      {u"M2", Flag},         {u"FG", Flag},         {u"FS1", Flag},
    {u"FS2", Flag},     {u"FastScan", Flag},   {u"CyclicScan", Flag}, {u"IVTIME", Text},
    {u"PNUM", Text},    {u"PacketTIME", Text}, {u"Scroll", Flag},     {u"Beep", Flag},
    {u"Logpath", Text}, {u"DTAB", Flag},       {u"DCOM", Flag},       {u"showall", Flag},
    {u"Command", Text}, {u"Syslog", Flag},     {u"SyslogServ", Text},
}};

const std::array<const char16_t *, StoredValueCount> SaveOrder = {
    u"TIPF",       u"TIPT",     u"NIC",        u"OIP",     u"OMAC", u"FS1MAC", u"FS2MAC",
    u"FBR",        u"F31",      u"F016",       u"F8",      u"FM",   u"FG",     u"FS1",
    u"FS2",        u"FastScan", u"CyclicScan", u"M1",      u"M2",   u"IVTIME", u"PNUM",
    u"PacketTIME", u"Scroll",   u"Beep",       u"Logpath", u"DTAB", u"DCOM",   u"showall",
    u"Command",    u"Syslog",   u"SyslogServ",
};

std::unique_ptr<QSettings> OpenSettingsStore()
{
    auto store = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             u"Quillstone"_s, u"keelwatch"_s);
    store->setFallbacksEnabled(false);
    return store;
}

int ReadSettingsStore(SettingsControls &controls, QSettings &store)
{
    int applied = 0;
    if (!store.allKeys().isEmpty()) {
        for (const StoredValue &stored : LoadOrder) {
            if (!ApplyValue(controls, store, stored))
                break;
            ++applied;
        }
    }
    if (controls.Text(u"Command").isEmpty())
        controls.SetText(u"Command", QString::fromUtf16(DefaultCommand));
    if (controls.Text(u"OMAC").isEmpty())
        controls.SetText(u"OMAC", QString::fromUtf16(DefaultOwnMac));
    return applied;
}

bool WriteSettingsStore(const SettingsControls &controls, QSettings &store, const MessageSink &sink)
{
    if (store.isWritable()) {
        for (const char16_t *value : SaveOrder) {
            const QString name = ValueName(value);
            if (name == u"NIC") {
                const int index = controls.AdapterIndex();
                const QStringList items = controls.AdapterItems();
                store.setValue(name, index >= 0 && index < items.size() ? items[index] : QString());
            } else if (KindOf(value) == Flag) {
                store.setValue(name, controls.Flag(name) ? 1 : 0);
            } else {
                store.setValue(name, controls.Text(name));
            }
        }
        store.sync();
        if (store.status() == QSettings::NoError)
            return true;
    }
    sink(u"Cannot save the settings to "_s + store.fileName() + u"."_s);
    return false;
}

int MatchAdapterItem(const QStringList &items, const QString &text)
{
    if (text.isEmpty())
        return -1;
    for (int i = 0; i < items.size(); ++i) {
        if (items[i].compare(text, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

} // namespace keelwatch
