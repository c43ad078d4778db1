#include "config/settingsstore.h"
#include "support/confighome.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

ConfigHome *const configHome = RegisterConfigHome();

const QStringList AdapterItems = {u"10.77.0.1 : kw-scan"_s, u"192.168.1.4 : eth0"_s};

QString KeyOf(const StoredSetting &stored)
{
    return QString::fromUtf16(stored.key);
}

// Every stored setting away from its first-run value, with texts that an INI
// file must quote or escape.
Settings Changed()
{
    Settings s;
    s.from = u"10.77.0.1"_s;
    s.to = u"10.77.0.254"_s;
    s.adapterItem = AdapterItems[1];
    s.ownIp = u"10.77.0.100"_s;
    s.ownMac = u"02 AA BB CC DD E0"_s;
    s.sp1Mac = u"01 00 5E 00 00 02"_s;
    s.sp2Mac = u"1 2 3 4 5 6"_s;
    s.scanTimer = u"60"_s;
    s.packetNumber = u"010"_s;
    s.nodeTimer = u"0"_s;
    s.logPath = u"/var/log/kw, test/ünïcode=1;#x.log"_s;
    s.command = u"net send $IP \"Don't Sniff\""_s;
    s.syslogServer = u" 10.77.0.9 "_s;
    for (const StoredSetting &stored : StoredSettings) {
        if (stored.kind == StoredKind::Flag)
            SetStoredFlag(stored, s, !StoredFlag(stored, Settings{}));
    }
    return s;
}

std::unique_ptr<QSettings> EmptyStore()
{
    auto store = OpenSettingsStore();
    store->clear();
    store->sync();
    return store;
}

void Save(const Settings &s)
{
    auto store = EmptyStore();
    ASSERT_TRUE(WriteSettingsStore(s, *store, [](const QString &m) { FAIL() << m.toStdString(); }));
}

Settings Load(int *applied = nullptr)
{
    Settings s;
    auto store = OpenSettingsStore();
    const int n = ReadSettingsStore(s, *store, AdapterItems);
    if (applied)
        *applied = n;
    return s;
}

TEST(SettingsStore, LivesInTheUsersConfigFolder)
{
    EXPECT_EQ(QDir::cleanPath(OpenSettingsStore()->fileName()),
              QDir::cleanPath(configHome->Path() + u"/Quillstone/keelwatch.conf"_s));
}

TEST(SettingsStore, FirstRunKeepsDefaultsAndCreatesNothing)
{
    QFile::remove(OpenSettingsStore()->fileName());
    int applied = -1;
    const Settings loaded = Load(&applied);
    EXPECT_EQ(applied, 0);
    Settings expected;
    expected.command = u"cmd /K nbtstat -A $IP"_s;
    EXPECT_EQ(loaded, expected);
    EXPECT_FALSE(QFile::exists(OpenSettingsStore()->fileName()));
}

TEST(SettingsStore, RoundTripRestoresAll32Values)
{
    const Settings saved = Changed();
    Save(saved);
    int applied = 0;
    const Settings loaded = Load(&applied);
    EXPECT_EQ(applied, 32);
    EXPECT_EQ(loaded, saved);
    EXPECT_EQ(OpenSettingsStore()->allKeys().size(), 32);
}

TEST(SettingsStore, FlagsAreWrittenAsOneAndZeroAndTextsUnchanged)
{
    Settings c;
    c.scanTimer = u"0061"_s; // not validated on saving
    Save(c);
    QFile file(OpenSettingsStore()->fileName());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString ini = QString::fromUtf8(file.readAll());
    for (const char16_t *line :
         {u"\nFBR=1\n", u"\nFM=0\n", u"\nDCOM=0\n", u"\nIVTIME=0061\n", u"\nNIC=\n", u"\nTIPF=\n"})
        EXPECT_TRUE(ini.contains(QStringView(line))) << QString::fromUtf16(line).toStdString();
}

// A damaged value ends the reading there; what came before stays applied.
struct Damage
{
    const char *name;
    const char16_t *value; // nullptr: the value is removed
    int applied;
};

class DamagedStore : public ::testing::TestWithParam<Damage>
{
};

TEST_P(DamagedStore, StopsAtTheFirstValueThatCannotBeRead)
{
    const Settings saved = Changed();
    Save(saved);
    {
        auto store = OpenSettingsStore();
        const QString name = QString::fromLatin1(GetParam().name);
        if (GetParam().value)
            store->setValue(name, QString::fromUtf16(GetParam().value));
        else
            store->remove(name);
    }
    int applied = 0;
    const Settings loaded = Load(&applied);
    EXPECT_EQ(applied, GetParam().applied);
    Settings defaults;
    defaults.command = u"cmd /K nbtstat -A $IP"_s;
    for (int i = 0; i < int(StoredSettings.size()); ++i) {
        const StoredSetting &stored = StoredSettings[size_t(i)];
        const Settings &want = i < applied ? saved : defaults;
        if (stored.kind == StoredKind::Flag)
            EXPECT_EQ(StoredFlag(stored, loaded), StoredFlag(stored, want))
                << KeyOf(stored).toStdString();
        else
            EXPECT_EQ(loaded.*stored.text, want.*stored.text) << KeyOf(stored).toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Values, DamagedStore,
                         ::testing::Values(Damage{"FBR", nullptr, 7}, Damage{"FBR", u"on", 7},
                                           Damage{"F8", u"4294967296", 10},
                                           Damage{"showall", u"", 27},
                                           Damage{"Syslog", nullptr, 29}),
                         [](const auto &info) {
                             return std::string(info.param.name) +
                                    (info.param.value ? "Bad" : "Absent");
                         });

TEST(SettingsStore, AbsentTextEmptiesItsFieldAndReadingGoesOn)
{
    Save(Changed());
    OpenSettingsStore()->remove(u"IVTIME"_s);
    int applied = 0;
    const Settings loaded = Load(&applied);
    EXPECT_EQ(applied, 32);
    EXPECT_EQ(loaded.scanTimer, QString());
    EXPECT_EQ(loaded.packetNumber, u"010"_s);
}

TEST(SettingsStore, TextStoredAsAListEndsTheReading)
{
    Save(Changed());
    OpenSettingsStore()->setValue(u"TIPT"_s, QStringList{u"10.0.0.1"_s, u"10.0.0.2"_s});
    int applied = 0;
    const Settings loaded = Load(&applied);
    EXPECT_EQ(applied, 1);
    EXPECT_EQ(loaded.from, u"10.77.0.1"_s);
    EXPECT_EQ(loaded.to, QString());
}

struct LoadedText
{
    const char *name;
    const char16_t *stored;
    const char16_t *shown;
};

class LoadedTexts : public ::testing::TestWithParam<LoadedText>
{
};

TEST_P(LoadedTexts, AreNormalisedOrDefaulted)
{
    Save(Settings{});
    const QString key = QString::fromLatin1(GetParam().name);
    OpenSettingsStore()->setValue(key, QString::fromUtf16(GetParam().stored));
    const auto stored = std::find_if(StoredSettings.begin(), StoredSettings.end(),
                                     [&](const StoredSetting &s) { return KeyOf(s) == key; });
    ASSERT_NE(stored, StoredSettings.end());
    EXPECT_EQ(Load().*stored->text, QString::fromUtf16(GetParam().shown));
}

INSTANTIATE_TEST_SUITE_P(
    Values, LoadedTexts,
    ::testing::Values(LoadedText{"OMAC", u"00-11-22-33-44-5A", u"00 11 22 33 44 50"},
                      LoadedText{"OMAC", u"0a:1b:2c:3d:4e:5f", u"0A 1B 2C 3D 4E 50"},
                      LoadedText{"OMAC", u"00112233445A", u"00 11 22 33 44 50"},
                      LoadedText{"OMAC", u"", u"00 11 22 33 44 50"},
                      LoadedText{"Command", u"", u"cmd /K nbtstat -A $IP"},
                      LoadedText{"TIPF", u"10.0.0.300", u"10.0.0.300"},
                      LoadedText{"FS1MAC", u"1-2-3-4-5-6", u"1-2-3-4-5-6"},
                      // A MAC field takes 17 characters: blanks around a
                      // longer text go, a text still too long is no address.
                      LoadedText{"FS2MAC", u"  01 00 5E 00 00 04\t", u"01 00 5E 00 00 04"},
                      LoadedText{"FS1MAC", u"01 00 5E 00 00 02 03", u""},
                      LoadedText{"OMAC", u"00 11 22 33 44 55 66", u"00 11 22 33 44 50"},
                      LoadedText{"Logpath", u"  spaced.log  ", u"  spaced.log  "}));

TEST(SettingsStore, AdapterIsMatchedWithoutRegardToCase)
{
    Save(Settings{});
    OpenSettingsStore()->setValue(u"NIC"_s, u"10.77.0.1 : KW-SCAN"_s);
    EXPECT_EQ(Load().adapterItem, AdapterItems[0]);
    OpenSettingsStore()->setValue(u"NIC"_s, u"10.77.0.2 : kw-scan"_s);
    EXPECT_EQ(Load().adapterItem, QString());
}

TEST(SettingsStore, UnwritableFileIsReportedByName)
{
    QTemporaryDir dir;
    const QString blocker = dir.filePath(u"Quillstone"_s);
    QFile file(blocker);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)); // a file where the folder should be
    file.close();
    QSettings store(blocker + u"/keelwatch.conf"_s, QSettings::IniFormat);
    QStringList messages;
    EXPECT_FALSE(
        WriteSettingsStore(Settings{}, store, [&](const QString &m) { messages.append(m); }));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(blocker + u"/keelwatch.conf"_s)) << messages[0].toStdString();
}

// The delimiter flags belong to two radio buttons read one after the other:
// the later one switched on wins, and both may be off (a comma then).
struct DelimiterFlags
{
    int tab;
    int comma;
    bool tabLoaded;
    bool commaLoaded;
    QChar delimiter;
};

class DelimiterStore : public ::testing::TestWithParam<DelimiterFlags>
{
};

TEST_P(DelimiterStore, LoadsAsTheRadioButtonsWould)
{
    Save(Settings{});
    OpenSettingsStore()->setValue(u"DTAB"_s, GetParam().tab);
    OpenSettingsStore()->setValue(u"DCOM"_s, GetParam().comma);
    const Settings loaded = Load();
    EXPECT_EQ(loaded.tabDelimiter, GetParam().tabLoaded);
    EXPECT_EQ(loaded.commaDelimiter, GetParam().commaLoaded);
    EXPECT_EQ(loaded.Delimiter(), GetParam().delimiter);
    Save(loaded);
    EXPECT_EQ(Load(), loaded);
}

INSTANTIATE_TEST_SUITE_P(Values, DelimiterStore,
                         ::testing::Values(DelimiterFlags{1, 0, true, false, u'\t'},
                                           DelimiterFlags{0, 1, false, true, u','},
                                           DelimiterFlags{1, 1, false, true, u','},
                                           DelimiterFlags{0, 0, false, false, u','}));

TEST(SettingsStore, TestFlagsAreStoredUnderTheKeysOfTheTestTable)
{
    Settings s;
    s.tests = {};
    s.tests[size_t(TestIndex(u"M3"))] = true;
    Save(s);
    auto store = OpenSettingsStore();
    for (const TestAddress &test : TestAddresses)
        EXPECT_EQ(store->value(QString::fromUtf16(test.settingsKey)).toInt(),
                  QStringView(test.label) == u"M3" ? 1 : 0)
            << QString::fromUtf16(test.label).toStdString();
    EXPECT_EQ(store->value(u"M2"_s).toInt(), 1);
}

TEST(SettingsModel, SavesAndLoadsTheUsersStore)
{
    EmptyStore();
    SettingsModel saved;
    saved.Replace(Changed());
    ASSERT_TRUE(saved.Save([](const QString &m) { FAIL() << m.toStdString(); }));
    SettingsModel loaded;
    loaded.Load(AdapterItems);
    EXPECT_EQ(loaded.Read(), Changed());
}

} // namespace
