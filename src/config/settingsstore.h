#pragma once

#include "config/addresstext.h"
#include "config/settings.h"

#include <QDateTime>
#include <QSettings>
#include <QString>
#include <QStringList>

#include <array>
#include <memory>

namespace keelwatch {

// A terminal keeps the answers in view, as the console of the original
// command did; x-terminal-emulator is on every Debian desktop.
inline constexpr auto DefaultCommand = u"x-terminal-emulator -e ping $IP";
inline constexpr auto DefaultOwnMac = u"00 11 22 33 44 50";
// The Setup dialog's MAC fields take no more characters than this.
constexpr int MacFieldLength = 17;

enum class StoredKind {
    Text,    // stored as is
    MacText, // a text too long for a MAC field is trimmed, or emptied
    OwnMac,  // as MacText, and normalised to "00 11 22 33 44 50" form
    Adapter, // an adapter item, matched to the adapters found
    Flag,    // 1 or 0
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
};

constexpr StoredSetting StoredText(const char16_t *key, QString Settings::*member,
                                   StoredKind kind = StoredKind::Text)
{
    return {key, kind, member, nullptr, -1};
}

constexpr StoredSetting StoredBool(const char16_t *key, bool Settings::*member)
{
    return {key, StoredKind::Flag, nullptr, member, -1};
}

// A test address's check box, stored under the key its table entry gives.
constexpr StoredSetting StoredTest(std::u16string_view label)
{
    const int test = TestIndex(label);
    return {TestAddresses[size_t(test)].settingsKey, StoredKind::Flag, nullptr, nullptr, test};
}

// The stored settings in the order they are read and written. A new
// setting is a member of Settings and one line here.
inline constexpr std::array StoredSettings{
    StoredText(u"TIPF", &Settings::from),
    StoredText(u"TIPT", &Settings::to),
    StoredText(u"NIC", &Settings::adapterItem, StoredKind::Adapter),
    StoredText(u"OIP", &Settings::ownIp),
    StoredText(u"OMAC", &Settings::ownMac, StoredKind::OwnMac),
    StoredText(u"FS1MAC", &Settings::sp1Mac, StoredKind::MacText),
    StoredText(u"FS2MAC", &Settings::sp2Mac, StoredKind::MacText),
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
    StoredText(u"IVTIME", &Settings::scanTimer),
    StoredText(u"PNUM", &Settings::packetNumber),
    StoredText(u"PacketTIME", &Settings::nodeTimer),
    StoredBool(u"Scroll", &Settings::autoScroll),
    StoredBool(u"Beep", &Settings::beep),
    StoredText(u"Logpath", &Settings::logPath),
    StoredBool(u"DTAB", &Settings::tabDelimiter),
    StoredBool(u"DCOM", &Settings::commaDelimiter),
    StoredBool(u"showall", &Settings::showAll),
    StoredText(u"Command", &Settings::command),
    StoredBool(u"Syslog", &Settings::syslog),
    StoredText(u"SyslogServ", &Settings::syslogServer),
    // Absent from stores written before pacing existed: read as empty, so
    // those users keep their Node Timer; a first run gets the default rate.
    StoredText(u"SendRate", &Settings::sendRate),
    StoredBool(u"Syslog5424", &Settings::syslogRfc5424),
    StoredText(u"WindowGeometry", &Settings::windowGeometry),
    StoredBool(u"ConfirmSuspects", &Settings::confirmSuspects),
    StoredText(u"SyslogTransport", &Settings::syslogTransport),
    StoredText(u"SyslogCA", &Settings::syslogCaFile),
    StoredText(u"SyslogCert", &Settings::syslogCertFile),
    StoredText(u"SyslogSpoolKB", &Settings::syslogSpoolKib),
    StoredText(u"SyslogMaxBytes", &Settings::syslogMaxBytes),
};

// A stored flag's value in settings, and setting it.
bool StoredFlag(const StoredSetting &stored, const Settings &settings);
void SetStoredFlag(const StoredSetting &stored, Settings &settings, bool on);

// The user's store: Quillstone/keelwatch.conf in the user's config folder
// ($XDG_CONFIG_HOME or ~/.config). System-wide fallbacks are not read, so a
// run depends on the user's own file only.
std::unique_ptr<QSettings> OpenSettingsStore();

struct SettingsRead
{
    int applied = 0;
    // Stored but unreadable: they kept the values settings had.
    QStringList damagedKeys;
    // The file is not in the settings format; what could be read was.
    bool malformed = false;
};

// Reads the stored settings into settings in table order. An absent text
// empties its member; an absent flag keeps its value. A flag that is not a
// 32-bit integer, or a text stored as another type (a byte array), keeps its
// value and is listed as damaged, and reading goes on. A text QSettings
// would take for a list (a comma in it) is read as written in the file. An
// empty store reads nothing. The stored adapter item selects the one of
// adapterItems that equals it without regard to case (none when no item
// does). Keys in damagedKeys are not read but listed as damaged, after the
// others. Afterwards an empty command line and an empty own MAC get their
// defaults.
SettingsRead ReadSettingsStore(Settings &settings, QSettings &store,
                               const QStringList &adapterItems,
                               const QStringList &damagedKeys = {});

// Reads the settings file at path as ReadSettingsStore does, after taking
// out the lines ScreenSettingsText drops; their keys count as damaged. A
// missing file reads as an empty one.
SettingsRead ReadSettingsFile(Settings &settings, const QString &path,
                              const QStringList &adapterItems);

// What the user is told once after a read with damaged values.
QString DamagedSettingsText(const QString &fileName, const QStringList &damagedKeys);

// The copy of a damaged settings file kept at the next save: beside it,
// named after the time, so that no earlier copy is replaced.
QString SettingsBackupName(const QString &fileName, const QDateTime &when);

// Writes every stored setting, texts unchanged and flags as 1 or 0, and
// makes sure they reached the file. On failure the sink hears which file
// could not be written and false is returned.
bool WriteSettingsStore(const Settings &settings, QSettings &store, const MessageSink &sink);

// The index of the item that equals text without regard to letter case, or -1
// (also for empty text).
int MatchAdapterItem(const QStringList &items, const QString &text);

// The program's settings while it runs: read by whoever needs a value,
// replaced by the windows that edit them, loaded at start and saved at exit.
// Main thread only.
class SettingsModel : public LiveSettings
{
  public:
    Settings Read() const override { return values; }
    void Replace(const Settings &edited) { values = edited; }

    // From the user's store; see ReadSettingsStore. Damaged values are told
    // to the sink, once, naming their keys.
    void Load(const QStringList &adapterItems, const MessageSink &damaged);
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
