#pragma once

#include "config/addresstext.h"
#include "config/settings.h"
#include "config/setuprules.h"

#include <QDateTime>
#include <QSettings>
#include <QString>
#include <QStringList>

#include <array>
#include <memory>
#include <optional>
#include <span>

namespace keelwatch {

// A terminal keeps the answers in view, as the console of the original
// command did; x-terminal-emulator is on every Debian desktop.
inline constexpr auto DefaultCommand = u"x-terminal-emulator -e ping $IP";
// The Setup dialog's MAC fields take no more characters than this.
constexpr int MacFieldLength = 17;

enum class StoredKind {
    Text,      // stored as is
    Flag,      // 1 or 0
    Number,    // decimal; a stored text is read through the number's rule
    Ip,        // dotted decimal, empty for none
    Mac,       // six two-digit hex bytes between blanks, empty for none
    OwnMac,    // as Mac; one that cannot be used reads as the default
    Adapter,   // "IPv4 : name", matched to the adapters found
    Transport, // "udp", "tcp" or "tls"; any other word reads as udp
    SenderIp,  // "zero" or "own"; any other word reads as zero
};

// One stored setting: its key in the file and the member that holds it. A
// flag is a bool member or, for a test address, the test's entry in
// Settings::tests.
struct StoredSetting
{
    const char16_t *key;
    StoredKind kind;
    QString Settings::*text = nullptr;
    bool Settings::*flag = nullptr;
    int test = -1;
    int Settings::*number = nullptr;
    NumberRule rule{};
    std::optional<IpAddress> Settings::*ip = nullptr;
    std::optional<MacAddress> Settings::*mac = nullptr;
    SyslogTransport Settings::*transport = nullptr;
    ProbeSenderIp Settings::*senderIp = nullptr;
};

constexpr StoredSetting StoredText(const char16_t *key, QString Settings::*member)
{
    return {.key = key, .kind = StoredKind::Text, .text = member};
}

constexpr StoredSetting StoredBool(const char16_t *key, bool Settings::*member)
{
    return {.key = key, .kind = StoredKind::Flag, .flag = member};
}

// A test address's check box, stored under the key its table entry gives.
constexpr StoredSetting StoredTest(std::u16string_view label)
{
    const int test = TestIndex(label);
    return {.key = TestAddresses[size_t(test)].settingsKey, .kind = StoredKind::Flag, .test = test};
}

constexpr StoredSetting StoredNumber(const char16_t *key, int Settings::*member, NumberRule rule)
{
    return {.key = key, .kind = StoredKind::Number, .number = member, .rule = rule};
}

constexpr StoredSetting StoredIp(const char16_t *key, std::optional<IpAddress> Settings::*member)
{
    return {.key = key, .kind = StoredKind::Ip, .ip = member};
}

constexpr StoredSetting StoredMac(const char16_t *key, std::optional<MacAddress> Settings::*member,
                                  StoredKind kind = StoredKind::Mac)
{
    return {.key = key, .kind = kind, .mac = member};
}

constexpr StoredSetting StoredTransport(const char16_t *key, SyslogTransport Settings::*member)
{
    return {.key = key, .kind = StoredKind::Transport, .transport = member};
}

constexpr StoredSetting StoredSenderIp(const char16_t *key, ProbeSenderIp Settings::*member)
{
    return {.key = key, .kind = StoredKind::SenderIp, .senderIp = member};
}

// The stored settings in the order they are read and written. A new
// setting is a member of Settings and one line here; renaming a key is a
// new settings version and an entry in SettingsRenames.
inline constexpr std::array StoredSettings{
    StoredText(u"TIPF", &Settings::from),
    StoredText(u"TIPT", &Settings::to),
    StoredSetting{.key = u"NIC", .kind = StoredKind::Adapter},
    StoredIp(u"OIP", &Settings::ownIp),
    StoredMac(u"OMAC", &Settings::ownMac, StoredKind::OwnMac),
    StoredMac(u"FS1MAC", &Settings::sp1Mac),
    StoredMac(u"FS2MAC", &Settings::sp2Mac),
    StoredTest(u"Br"),
    StoredTest(u"B47"),
    StoredTest(u"B16"),
    StoredTest(u"B8"),
    StoredTest(u"M0"),
    StoredTest(u"M1"),
    StoredTest(u"M3"),
    StoredTest(u"Gr"),
    StoredTest(u"SP1"),
    StoredTest(u"SP2"),
    StoredBool(u"FastScan", &Settings::listMode),
    StoredBool(u"CyclicScan", &Settings::cyclic),
    StoredNumber(u"IVTIME", &Settings::scanTimerSeconds, ScanTimerRule),
    StoredNumber(u"PNUM", &Settings::packetCount, PacketCountRule),
    StoredNumber(u"PacketTIME", &Settings::nodeTimerMs, NodeTimerRule),
    StoredBool(u"Scroll", &Settings::autoScroll),
    StoredBool(u"Beep", &Settings::beep),
    StoredText(u"Logpath", &Settings::logPath),
    StoredBool(u"DTAB", &Settings::tabDelimiter),
    StoredBool(u"DCOM", &Settings::commaDelimiter),
    StoredBool(u"showall", &Settings::showAll),
    StoredText(u"Command", &Settings::command),
    StoredBool(u"Syslog", &Settings::syslog),
    StoredIp(u"SyslogServ", &Settings::syslogServer),
    // Absent from stores written before pacing existed: read as empty, which
    // is off, so those users keep their Node Timer; a first run gets the
    // default rate.
    StoredNumber(u"SendRate", &Settings::sendRate, SendRateRule),
    StoredBool(u"Syslog5424", &Settings::syslogRfc5424),
    StoredText(u"WindowGeometry", &Settings::windowGeometry),
    StoredBool(u"ConfirmSuspects", &Settings::confirmSuspects),
    // Absent from stores written before streams existed: datagrams, the
    // first-run spool and message size.
    StoredTransport(u"SyslogTransport", &Settings::syslogTransport),
    StoredText(u"SyslogCA", &Settings::syslogCaFile),
    StoredText(u"SyslogCert", &Settings::syslogCertFile),
    StoredNumber(u"SyslogSpoolKB", &Settings::syslogSpoolKib, SyslogSpoolRule),
    StoredNumber(u"SyslogMaxBytes", &Settings::syslogMaxBytes, SyslogMessageRule),
    // Absent from stores written before address probes: those users get
    // them too, as probes from the own IP rewrite every host's entry for it.
    StoredSenderIp(u"ProbeSenderIp", &Settings::probeSenderIp),
};

// The version of the stored settings' keys and formats, kept under its own
// key. A file without it was written before it existed: version 1.
inline constexpr auto SettingsVersionKey = u"SettingsVersion";
inline constexpr int SettingsVersion = 1;

// A key renamed in a settings version: files older than version hold the
// value of key under before.
struct SettingsRename
{
    int version;
    const char16_t *before;
    const char16_t *key;
};

// Every rename so far, oldest first.
inline constexpr std::array<SettingsRename, 0> SettingsRenames{};

// The key that holds a setting's value in a file of that version.
QString KeyInVersion(const QString &key, int fileVersion,
                     std::span<const SettingsRename> renames = SettingsRenames);

// The stored key of a member of Settings, for messages that name it.
QString StoredKeyOf(QString Settings::*member);
QString StoredKeyOf(std::optional<IpAddress> Settings::*member);
QString StoredKeyOf(std::optional<MacAddress> Settings::*member);
QString StoredKeyOf(SyslogTransport Settings::*member);
// "NIC", the adapter's key.
QString StoredAdapterKey();

// A stored flag's value in settings, and setting it.
bool StoredFlag(const StoredSetting &stored, const Settings &settings);
void SetStoredFlag(const StoredSetting &stored, Settings &settings, bool on);
// A stored setting's value as the file holds it: flags as "1" or "0".
QString StoredValueText(const StoredSetting &stored, const Settings &settings);

// The user's store: Quillstone/keelwatch.conf in the user's config folder
// ($XDG_CONFIG_HOME or ~/.config). System-wide fallbacks are not read, so a
// run depends on the user's own file only.
std::unique_ptr<QSettings> OpenSettingsStore();

struct SettingsRead
{
    int applied = 0;
    // Keys of Keelwatch found in the store, the version's included.
    int found = 0;
    // The version the store was written in.
    int version = SettingsVersion;
    // Stored but unreadable: they kept the values settings had.
    QStringList damagedKeys;
    // The file is not in the settings format; what could be read was.
    bool malformed = false;
    // The store held an own MAC of the installation's: a usable one other
    // than the one earlier versions gave every installation.
    bool ownMacKept = false;
};

// Reads the stored settings into settings in table order, each under the
// key its file's version gives it. An absent value reads as empty text: a
// text member is emptied, a number takes its rule's value for no number, an
// address becomes none; an absent flag keeps its value. A flag that is not a
// 32-bit integer, or a value stored as another type than text (a byte
// array), keeps its value and is listed as damaged, and reading goes on; so
// is a version that is no number or newer than this program's (the keys are
// then read as this version's). A text QSettings would take for a list (a
// comma in it) is read as written in the file. An empty store reads nothing.
// The stored adapter selects the one of adapters whose item text equals it
// without regard to case (none when none does). Keys in damagedKeys are not
// read but listed as damaged, after the others. Afterwards an empty command
// line and an own MAC that cannot be used get their defaults.
SettingsRead ReadSettingsStore(Settings &settings, QSettings &store,
                               const NetworkAdapters &adapters,
                               const QStringList &damagedKeys = {});

// Reads the settings file at path as ReadSettingsStore does, after taking
// out the lines ScreenSettingsText drops; their keys count as damaged. A
// missing file reads as an empty one.
SettingsRead ReadSettingsFile(Settings &settings, const QString &path,
                              const NetworkAdapters &adapters);

// What the user is told once after a read with damaged values.
QString DamagedSettingsText(const QString &fileName, const QStringList &damagedKeys);

// The copy of a damaged settings file kept at the next save: beside it,
// named after the time, so that no earlier copy is replaced.
QString SettingsBackupName(const QString &fileName, const QDateTime &when);

// Writes every stored setting as StoredValueText gives it and the settings
// version, drops keys renamed since, and makes sure they reached the file. On failure the sink
// hears which file could not be written and false is returned.
bool WriteSettingsStore(const Settings &settings, QSettings &store, const MessageSink &sink);

// The own MAC kept in the file at path (its text, "02 1A 2B 3C 4D 50"): the
// one it holds when usable, else a drawn one (Settings::DrawOwnMac), written
// there. A file that cannot be written is told to the sink; the drawn MAC
// serves all the same.
MacAddress KeptOwnMac(const QString &path, const MessageSink &failed);

// The index of the adapter whose item text equals text without regard to
// letter case, or -1 (also for empty text).
int MatchAdapterItem(const NetworkAdapters &adapters, const QString &text);

// The program's settings while it runs: read by whoever needs a value,
// replaced by the windows that edit them, loaded at start and saved at exit.
// Main thread only.
class SettingsModel : public LiveSettings
{
  public:
    Settings Read() const override { return values; }
    void Replace(const Settings &edited) { values = edited; }

    // From the user's store; see ReadSettingsStore. Damaged values are told
    // to the sink, once, naming their keys. A store without an own MAC of
    // the installation's gets a drawn one (Settings::DrawOwnMac), kept from
    // the next save on.
    void Load(const NetworkAdapters &adapters, const MessageSink &damaged);
    // To the user's store; a failure is told to the sink. The first save
    // after a damaged read first copies the old file (SettingsBackupName),
    // and so does a save that finds lines ScreenSettingsText drops; those
    // are taken out of the store before it is written.
    bool Save(const MessageSink &failed);

  private:
    Settings values;
    bool backupPending = false;
};

} // namespace keelwatch
