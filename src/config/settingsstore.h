#pragma once

#include "config/addresstext.h"

#include <QSettings>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>
#include <memory>

namespace keelwatch {

inline constexpr auto DefaultCommand = u"cmd /K nbtstat -A $IP";
inline constexpr auto DefaultOwnMac = u"00 11 22 33 44 50";

enum class StoredKind { Text, Flag };

struct StoredValue
{
    const char16_t *name;
    StoredKind kind;
};

constexpr int StoredValueCount = 31;

// The stored values in the order they are read. Reading stops at the first
// one that cannot be read, so this order decides what survives a damaged file.
extern const std::array<StoredValue, StoredValueCount> LoadOrder;
// The order they are written in.
extern const std::array<const char16_t *, StoredValueCount> SaveOrder;

// The controls behind the stored values, addressed by the value's name
// ("TIPF", "FBR", ...). The Setup dialog implements it over its widgets; tests
// over plain maps. "NIC" is not a text value here: it is the adapter list.
class SettingsControls
{
  public:
    virtual ~SettingsControls() = default;
    virtual QString Text(QStringView value) const = 0;
    virtual void SetText(QStringView value, const QString &text) = 0;
    virtual bool Flag(QStringView value) const = 0;
    virtual void SetFlag(QStringView value, bool on) = 0;
    virtual QStringList AdapterItems() const = 0;
    virtual int AdapterIndex() const = 0; // -1: none selected
    virtual void SetAdapterIndex(int index) = 0;
};

// The user's store: Quillstone/keelwatch.conf in the user's config folder
// ($XDG_CONFIG_HOME or ~/.config). System-wide fallbacks are not read, so a
// run depends on the user's own file only.
std::unique_ptr<QSettings> OpenSettingsStore();

// Loads the controls in LoadOrder and returns how many values were applied.
// An absent text value empties its control; an absent flag, a flag that is not
// a 32-bit integer, or a text stored as another type ends the reading there,
// silently. An empty store loads nothing. Afterwards an empty command line and
// an empty own MAC get their defaults.
int ReadSettingsStore(SettingsControls &controls, QSettings &store);

// Writes all 31 values in SaveOrder, texts unchanged and flags as 1 or 0, and
// makes sure they reached the file. On failure the sink hears which file could
// not be written and false is returned.
bool WriteSettingsStore(const SettingsControls &controls, QSettings &store,
                        const MessageSink &sink);

// The index of the item that equals text without regard to letter case, or -1
// (also for empty text).
int MatchAdapterItem(const QStringList &items, const QString &text);

} // namespace keelwatch
