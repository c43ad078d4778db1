#include "config/settingsstore.h"

#include "config/fieldsplit.h"

#include <QVariant>

#include <cstdint>
#include <optional>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

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
std::optional<QString> ReadText(const QSettings &store, const QString &key)
{
    if (!store.contains(key))
        return QString();
    const QVariant value = store.value(key);
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

// A text longer than a MAC field takes would be cut to another address.
// Blanks around it do not count; a text still too long is no valid address,
// so the field stays empty.
QString FitMacField(const QString &text)
{
    if (text.size() <= MacFieldLength)
        return text;
    const QString trimmed = TrimControls(text);
    return trimmed.size() <= MacFieldLength ? trimmed : QString();
}

bool ApplyValue(Settings &settings, const QSettings &store, const StoredSetting &stored,
                const QStringList &adapterItems)
{
    const QString key = QString::fromUtf16(stored.key);
    if (stored.kind == StoredKind::Flag) {
        if (!store.contains(key))
            return false;
        const std::optional<bool> on = ReadFlag(store.value(key));
        if (!on)
            return false;
        SetStoredFlag(stored, settings, *on);
        return true;
    }
    const std::optional<QString> text = ReadText(store, key);
    if (!text)
        return false;
    QString &member = settings.*stored.text;
    switch (stored.kind) {
    case StoredKind::Adapter: {
        const int index = MatchAdapterItem(adapterItems, *text);
        member = index >= 0 ? adapterItems[index] : QString();
        break;
    }
    case StoredKind::OwnMac:
        member = FitMacField(text->isEmpty() ? *text : NormalizeOwnMac(*text));
        break;
    case StoredKind::MacText:
        member = FitMacField(*text);
        break;
    default:
        member = *text;
        break;
    }
    return true;
}

} // namespace

bool StoredFlag(const StoredSetting &stored, const Settings &settings)
{
    return stored.test >= 0 ? settings.tests[size_t(stored.test)] : settings.*stored.flag;
}

void SetStoredFlag(const StoredSetting &stored, Settings &settings, bool on)
{
    if (stored.test >= 0)
        settings.tests[size_t(stored.test)] = on;
    else
        settings.*stored.flag = on;
    // The two delimiter choices are radio buttons: choosing one drops the
    // other, dropping one leaves the other as it is.
    if (on && stored.flag == &Settings::tabDelimiter)
        settings.commaDelimiter = false;
    if (on && stored.flag == &Settings::commaDelimiter)
        settings.tabDelimiter = false;
}

std::unique_ptr<QSettings> OpenSettingsStore()
{
    auto store = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             u"Quillstone"_s, u"keelwatch"_s);
    store->setFallbacksEnabled(false);
    return store;
}

int ReadSettingsStore(Settings &settings, QSettings &store, const QStringList &adapterItems)
{
    int applied = 0;
    if (!store.allKeys().isEmpty()) {
        for (const StoredSetting &stored : StoredSettings) {
            if (!ApplyValue(settings, store, stored, adapterItems))
                break;
            ++applied;
        }
    }
    if (settings.command.isEmpty())
        settings.command = QString::fromUtf16(DefaultCommand);
    if (settings.ownMac.isEmpty())
        settings.ownMac = QString::fromUtf16(DefaultOwnMac);
    return applied;
}

bool WriteSettingsStore(const Settings &settings, QSettings &store, const MessageSink &sink)
{
    if (store.isWritable()) {
        for (const StoredSetting &stored : StoredSettings) {
            const QString key = QString::fromUtf16(stored.key);
            if (stored.kind == StoredKind::Flag)
                store.setValue(key, StoredFlag(stored, settings) ? 1 : 0);
            else
                store.setValue(key, settings.*stored.text);
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

void SettingsModel::Load(const QStringList &adapterItems)
{
    const auto store = OpenSettingsStore();
    ReadSettingsStore(values, *store, adapterItems);
}

bool SettingsModel::Save(const MessageSink &failed) const
{
    const auto store = OpenSettingsStore();
    return WriteSettingsStore(values, *store, failed);
}

} // namespace keelwatch
