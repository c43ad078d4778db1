#include "config/settingsstore.h"

#include "config/addresstext.h"
#include "config/settingsscreen.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>
#include <QVariant>

#include <cstdint>
#include <optional>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

// INI files hold every value as text; other backends, and a value this
// process wrote, give real integers.
std::optional<qint64> ReadInteger(const QVariant &value)
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
    return number;
}

std::optional<bool> ReadFlag(const QVariant &value)
{
    const std::optional<qint64> number = ReadInteger(value);
    if (!number)
        return std::nullopt;
    return *number != 0;
}

// The text after "key=" in the file's general section, blanks around it
// dropped, exactly as written; empty when the file or the line is missing.
QString RawIniValue(const QString &fileName, const QString &key)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    bool general = true;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u'[')) {
            general = line.compare(u"[General]", Qt::CaseInsensitive) == 0;
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (general && equals > 0 && QStringView(line).left(equals).trimmed() == key)
            return line.mid(equals + 1).trimmed();
    }
    return QString();
}

// An absent text reads as empty text. A hand-typed text with a comma is a
// list to QSettings; it is taken as written in the file. Any other type (a
// byte array, a variant) cannot be read as text.
std::optional<QString> ReadText(const QSettings &store, const QString &key)
{
    if (!store.contains(key))
        return QString();
    const QVariant value = store.value(key);
    if (value.typeId() == QMetaType::QString)
        return value.toString();
    if (value.typeId() == QMetaType::QStringList)
        return RawIniValue(store.fileName(), key);
    return std::nullopt;
}

// A missing or unreadable file screens as an empty one.
ScreenedSettings ScreenSettingsFile(const QString &path)
{
    QFile file(path);
    return ScreenSettingsText(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
}

enum class Applied { Yes, Absent, Damaged };

void ApplyText(Settings &settings, const StoredSetting &stored, const QString &text,
               const NetworkAdapters &adapters)
{
    switch (stored.kind) {
    case StoredKind::Text:
        settings.*stored.text = text;
        break;
    case StoredKind::Number:
        settings.*stored.number = NumberFromText(stored.rule, text);
        break;
    case StoredKind::Ip:
        settings.*stored.ip = IpFromText(text);
        break;
    case StoredKind::Mac:
        settings.*stored.mac = MacFromText(text);
        break;
    case StoredKind::OwnMac:
        settings.*stored.mac = OwnMacFromText(text);
        break;
    case StoredKind::Adapter: {
        const int index = MatchAdapterItem(adapters, text);
        settings.adapter = index >= 0 ? adapters[index] : NetworkAdapter{};
        break;
    }
    case StoredKind::Transport:
        settings.*stored.transport = SyslogTransportNamed(text).value_or(SyslogTransport::Udp);
        break;
    case StoredKind::SenderIp:
        settings.*stored.senderIp = ProbeSenderIpNamed(text).value_or(ProbeSenderIp::Zero);
        break;
    case StoredKind::Flag:
        break;
    }
}

Applied ApplyValue(Settings &settings, const QSettings &store, const StoredSetting &stored,
                   const QString &key, const NetworkAdapters &adapters)
{
    if (stored.kind == StoredKind::Flag) {
        if (!store.contains(key))
            return Applied::Absent;
        const std::optional<bool> on = ReadFlag(store.value(key));
        if (!on)
            return Applied::Damaged;
        SetStoredFlag(stored, settings, *on);
        return Applied::Yes;
    }
    const std::optional<QString> text = ReadText(store, key);
    if (!text)
        return Applied::Damaged;
    ApplyText(settings, stored, *text, adapters);
    return Applied::Yes;
}

// The file's version; nothing when it is no number this program reads.
std::optional<int> ReadVersion(const QSettings &store)
{
    const QString key = QString::fromUtf16(SettingsVersionKey);
    if (!store.contains(key))
        return 1;
    const std::optional<qint64> version = ReadInteger(store.value(key));
    if (!version || *version < 1 || *version > SettingsVersion)
        return std::nullopt;
    return int(*version);
}

template <typename Member>
QString KeyOfMember(Member Settings::*StoredSetting::*field, Member Settings::*member)
{
    for (const StoredSetting &stored : StoredSettings) {
        if (stored.*field == member)
            return QString::fromUtf16(stored.key);
    }
    return QString();
}

} // namespace

QString KeyInVersion(const QString &key, int fileVersion, std::span<const SettingsRename> renames)
{
    QString inFile = key;
    for (auto rename = renames.rbegin(); rename != renames.rend(); ++rename) {
        if (fileVersion < rename->version && inFile == QStringView(rename->key))
            inFile = QString::fromUtf16(rename->before);
    }
    return inFile;
}

QString StoredKeyOf(QString Settings::*member)
{
    return KeyOfMember(&StoredSetting::text, member);
}

QString StoredKeyOf(std::optional<IpAddress> Settings::*member)
{
    return KeyOfMember(&StoredSetting::ip, member);
}

QString StoredKeyOf(std::optional<MacAddress> Settings::*member)
{
    return KeyOfMember(&StoredSetting::mac, member);
}

QString StoredKeyOf(SyslogTransport Settings::*member)
{
    return KeyOfMember(&StoredSetting::transport, member);
}

QString StoredAdapterKey()
{
    for (const StoredSetting &stored : StoredSettings) {
        if (stored.kind == StoredKind::Adapter)
            return QString::fromUtf16(stored.key);
    }
    return QString();
}

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

QString StoredValueText(const StoredSetting &stored, const Settings &settings)
{
    switch (stored.kind) {
    case StoredKind::Text:
        return settings.*stored.text;
    case StoredKind::Flag:
        return StoredFlag(stored, settings) ? u"1"_s : u"0"_s;
    case StoredKind::Number:
        return QString::number(settings.*stored.number);
    case StoredKind::Ip: {
        const std::optional<IpAddress> &ip = settings.*stored.ip;
        return ip ? ip->ToText() : QString();
    }
    case StoredKind::Mac:
    case StoredKind::OwnMac: {
        const std::optional<MacAddress> &mac = settings.*stored.mac;
        return mac ? mac->ToText(u' ') : QString();
    }
    case StoredKind::Adapter:
        return settings.adapter.name.isEmpty() ? QString() : settings.adapter.ItemText();
    case StoredKind::Transport:
        return SyslogTransportWord(settings.*stored.transport);
    case StoredKind::SenderIp:
        return ProbeSenderIpWord(settings.*stored.senderIp);
    }
    return QString();
}

std::unique_ptr<QSettings> OpenSettingsStore()
{
    auto store = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             u"Quillstone"_s, u"keelwatch"_s);
    store->setFallbacksEnabled(false);
    return store;
}

SettingsRead ReadSettingsStore(Settings &settings, QSettings &store,
                               const NetworkAdapters &adapters, const QStringList &damagedKeys)
{
    SettingsRead read;
    const QString versionKey = QString::fromUtf16(SettingsVersionKey);
    if (!store.allKeys().isEmpty()) {
        const std::optional<int> version = ReadVersion(store);
        if (!version)
            read.damagedKeys.append(versionKey);
        read.version = version.value_or(SettingsVersion);
        read.found += store.contains(versionKey) ? 1 : 0;
        for (const StoredSetting &stored : StoredSettings) {
            const QString key = QString::fromUtf16(stored.key);
            const QString inFile = KeyInVersion(key, read.version);
            read.found += store.contains(inFile) ? 1 : 0;
            const bool damaged = damagedKeys.contains(inFile);
            switch (damaged ? Applied::Damaged
                            : ApplyValue(settings, store, stored, inFile, adapters)) {
            case Applied::Yes:
                ++read.applied;
                break;
            case Applied::Damaged:
                read.damagedKeys.append(inFile);
                break;
            case Applied::Absent:
                break;
            }
        }
    }
    for (const QString &key : damagedKeys) {
        if (!read.damagedKeys.contains(key))
            read.damagedKeys.append(key);
    }
    if (settings.command.isEmpty())
        settings.command = QString::fromUtf16(DefaultCommand);
    read.ownMacKept = settings.ownMac && settings.ownMac != Settings::DefaultOwnMac();
    if (!settings.ownMac)
        settings.ownMac = Settings::DefaultOwnMac();
    return read;
}

SettingsRead ReadSettingsFile(Settings &settings, const QString &path,
                              const NetworkAdapters &adapters)
{
    const auto readFrom = [&](const QString &fileName, const QStringList &damagedKeys) {
        QSettings store(fileName, QSettings::IniFormat);
        SettingsRead read = ReadSettingsStore(settings, store, adapters, damagedKeys);
        read.malformed = store.status() == QSettings::FormatError;
        return read;
    };
    const ScreenedSettings screened = ScreenSettingsFile(path);
    if (screened.droppedKeys.isEmpty())
        return readFrom(path, {});
    // The reader is given a copy without the dropped lines; the user's file
    // stays as it is until the next save.
    QTemporaryFile copy;
    if (copy.open() && copy.write(screened.kept) == screened.kept.size() && copy.flush())
        return readFrom(copy.fileName(), screened.droppedKeys);
    // Nothing can be read safely: every value keeps what it had.
    QStringList everyKey{QString::fromUtf16(SettingsVersionKey)};
    for (const StoredSetting &stored : StoredSettings)
        everyKey.append(QString::fromUtf16(stored.key));
    return readFrom(QString(), everyKey + screened.droppedKeys);
}

QString DamagedSettingsText(const QString &fileName, const QStringList &damagedKeys)
{
    // Shown only in a window at start; the keys stay as stored.
    return QCoreApplication::translate("SettingsStore",
                                       "These settings in %1 could not be read and keep their "
                                       "defaults: %2.\nA copy of the file is kept beside it when "
                                       "the settings are next saved.")
        .arg(fileName, damagedKeys.join(u", "_s));
}

QString SettingsBackupName(const QString &fileName, const QDateTime &when)
{
    return fileName + when.toString(u".yyyyMMdd-HHmmss"_s) + u".bak"_s;
}

bool WriteSettingsStore(const Settings &settings, QSettings &store, const MessageSink &sink)
{
    if (store.isWritable()) {
        for (const SettingsRename &rename : SettingsRenames)
            store.remove(QString::fromUtf16(rename.before));
        for (const StoredSetting &stored : StoredSettings) {
            const QString key = QString::fromUtf16(stored.key);
            if (stored.kind == StoredKind::Flag)
                store.setValue(key, StoredFlag(stored, settings) ? 1 : 0);
            else
                store.setValue(key, StoredValueText(stored, settings));
        }
        store.setValue(QString::fromUtf16(SettingsVersionKey), SettingsVersion);
        store.sync();
        if (store.status() == QSettings::NoError)
            return true;
    }
    sink(QCoreApplication::translate("SettingsStore", "Cannot save the settings to %1.")
             .arg(store.fileName()));
    return false;
}

int MatchAdapterItem(const NetworkAdapters &adapters, const QString &text)
{
    if (text.isEmpty())
        return -1;
    for (int i = 0; i < adapters.size(); ++i) {
        if (adapters[i].ItemText().compare(text, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

MacAddress KeptOwnMac(const QString &path, const MessageSink &failed)
{
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        const std::optional<MacAddress> kept =
            OwnMacFromText(QString::fromLatin1(file.read(64)).trimmed());
        if (kept)
            return *kept;
        file.close();
    }
    const MacAddress drawn = Settings::DrawOwnMac();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(drawn.ToText(u' ').toLatin1() + '\n') < 0 ||
        !out.commit()) {
        if (failed)
            failed(u"Cannot keep the own MAC in "_s + path + u"."_s);
    }
    return drawn;
}

void SettingsModel::Load(const NetworkAdapters &adapters, const MessageSink &damaged)
{
    const QString path = OpenSettingsStore()->fileName();
    const SettingsRead read = ReadSettingsFile(values, path, adapters);
    if (!read.ownMacKept)
        values.ownMac = Settings::DrawOwnMac();
    backupPending = !read.damagedKeys.isEmpty();
    if (backupPending && damaged)
        damaged(DamagedSettingsText(path, read.damagedKeys));
}

bool SettingsModel::Save(const MessageSink &failed)
{
    const QString path = OpenSettingsStore()->fileName();
    const ScreenedSettings screened = ScreenSettingsFile(path);
    // The save rewrites the values that could not be read; what the user
    // wrote there stays in the copy.
    if ((backupPending || !screened.droppedKeys.isEmpty()) && QFile::exists(path)) {
        const QString backup = SettingsBackupName(path, QDateTime::currentDateTime());
        if (!QFile::copy(path, backup)) {
            failed(QCoreApplication::translate("SettingsStore",
                                               "Cannot keep a copy of the settings as %1.")
                       .arg(backup));
            return false;
        }
    }
    // The store must not read the dropped lines back when it writes.
    if (!screened.droppedKeys.isEmpty()) {
        QSaveFile rewritten(path);
        if (!rewritten.open(QIODevice::WriteOnly) ||
            rewritten.write(screened.kept) != screened.kept.size() || !rewritten.commit()) {
            failed(QCoreApplication::translate("SettingsStore", "Cannot save the settings to %1.")
                       .arg(path));
            return false;
        }
    }
    const auto store = OpenSettingsStore();
    if (!WriteSettingsStore(values, *store, failed))
        return false;
    backupPending = false;
    return true;
}

} // namespace keelwatch
