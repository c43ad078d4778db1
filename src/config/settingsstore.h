#pragma once

#include "config/addresstext.h"
#include "config/settings.h"

#include <QSettings>
#include <QString>
#include <QStringList>

#include <array>
#include <memory>

namespace keelwatch {

inline constexpr auto DefaultCommand = u"cmd /K nbtstat -A $IP";
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

constexpr int StoredSettingCount = 31;

// The stored settings in the order they are read and written. Reading stops
// at the first one that cannot be read, so this order decides what survives
// a damaged file.
extern const std::array<StoredSetting, StoredSettingCount> StoredSettings;

// A stored flag's value in settings, and setting it.
bool StoredFlag(const StoredSetting &stored, const Settings &settings);
void SetStoredFlag(const StoredSetting &stored, Settings &settings, bool on);

// The user's store: Quillstone/keelwatch.conf in the user's config folder
// ($XDG_CONFIG_HOME or ~/.config). System-wide fallbacks are not read, so a
// run depends on the user's own file only.
std::unique_ptr<QSettings> OpenSettingsStore();

// Reads the stored settings into settings in table order and returns how
// many were applied. An absent text empties its member; an absent flag, a
// flag that is not a 32-bit integer, or a text stored as another type ends
// the reading there, silently. An empty store reads nothing. The stored
// adapter item selects the one of adapterItems that equals it without
// regard to case (none when no item does). Afterwards an empty command line
// and an empty own MAC get their defaults.
int ReadSettingsStore(Settings &settings, QSettings &store, const QStringList &adapterItems);

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

    // From the user's store; see ReadSettingsStore.
    void Load(const QStringList &adapterItems);
    // To the user's store; a failure is told to the sink.
    bool Save(const MessageSink &failed) const;

  private:
    Settings values;
};

} // namespace keelwatch
