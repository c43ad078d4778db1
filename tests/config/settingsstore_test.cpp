#include "config/settingsstore.h"
#include "support/confighome.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

ConfigHome *const configHome = RegisterConfigHome();

// The controls as the Setup dialog starts: the defaults of every value.
class FakeControls : public SettingsControls
{
  public:
    FakeControls()
    {
        for (const StoredValue &v : LoadOrder) {
            if (v.kind == StoredKind::Text)
                texts[QString::fromUtf16(v.name)] = QString();
        }
        texts.remove(u"NIC"_s);
        texts[u"OMAC"_s] = u"00 11 22 33 44 50"_s;
        texts[u"IVTIME"_s] = u"5"_s;
        texts[u"PNUM"_s] = u"3"_s;
        texts[u"PacketTIME"_s] = u"500"_s;
        texts[u"Logpath"_s] = u"keelwatch.log"_s;
        for (const char16_t *on : {u"FBR", u"F31", u"F016", u"F8", u"FG", u"FastScan",
                                   u"CyclicScan", u"Scroll", u"DTAB"})
            flags[QString::fromUtf16(on)] = true;
        for (const char16_t *off :
             {u"FM", u"M1", u"M2", u"FS1", u"FS2", u"Beep", u"DCOM", u"showall", u"Syslog"})
            flags[QString::fromUtf16(off)] = false;
        items = {u"10.77.0.1 : kw-scan"_s, u"192.168.1.4 : eth0"_s};
    }

    QString Text(QStringView value) const override { return texts.value(Known(texts, value)); }
    void SetText(QStringView value, const QString &text) override
    {
        texts[Known(texts, value)] = text;
    }
    bool Flag(QStringView value) const override { return flags.value(Known(flags, value)); }
    void SetFlag(QStringView value, bool on) override { flags[Known(flags, value)] = on; }
    QStringList AdapterItems() const override { return items; }
    int AdapterIndex() const override { return index; }
    void SetAdapterIndex(int i) override { index = i; }

    QMap<QString, QString> texts;
    QMap<QString, bool> flags;
    QStringList items;
    int index = -1;

  private:
    template <typename Map> static QString Known(const Map &map, QStringView value)
    {
        EXPECT_TRUE(map.contains(value.toString())) << value.toString().toStdString();
        return value.toString();
    }
};

// Every value away from its default, with texts that an INI file must quote
// or escape.
FakeControls Changed()
{
    FakeControls c;
    c.texts = {
        {u"TIPF"_s, u"10.77.0.1"_s},
        {u"TIPT"_s, u"10.77.0.254"_s},
        {u"OIP"_s, u"10.77.0.100"_s},
        {u"OMAC"_s, u"02 AA BB CC DD E0"_s},
        {u"FS1MAC"_s, u"01 00 5E 00 00 02"_s},
        {u"FS2MAC"_s, u"1 2 3 4 5 6"_s},
        {u"IVTIME"_s, u"60"_s},
        {u"PNUM"_s, u"010"_s},
        {u"PacketTIME"_s, u"0"_s},
        {u"Logpath"_s, u"/var/log/kw, test/ünïcode=1;#x.log"_s},
        {u"Command"_s, u"net send $IP \"Don't Sniff\""_s},
        {u"SyslogServ"_s, u" 10.77.0.9 "_s},
    };
    for (auto it = c.flags.begin(); it != c.flags.end(); ++it)
        it.value() = !it.value();
    c.index = 1;
    return c;
}

std::unique_ptr<QSettings> EmptyStore()
{
    auto store = OpenSettingsStore();
    store->clear();
    store->sync();
    return store;
}

void Save(const FakeControls &c)
{
    auto store = EmptyStore();
    ASSERT_TRUE(WriteSettingsStore(c, *store, [](const QString &m) { FAIL() << m.toStdString(); }));
}

FakeControls Load(int *applied = nullptr)
{
    FakeControls c;
    auto store = OpenSettingsStore();
    const int n = ReadSettingsStore(c, *store);
    if (applied)
        *applied = n;
    return c;
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
    const FakeControls loaded = Load(&applied);
    EXPECT_EQ(applied, 0);
    FakeControls expected;
    expected.texts[u"Command"_s] = u"cmd /K nbtstat -A $IP"_s;
    EXPECT_EQ(loaded.texts, expected.texts);
    EXPECT_EQ(loaded.flags, expected.flags);
    EXPECT_EQ(loaded.index, -1);
    EXPECT_FALSE(QFile::exists(OpenSettingsStore()->fileName()));
}

TEST(SettingsStore, RoundTripRestoresAll31Values)
{
    const FakeControls saved = Changed();
    Save(saved);
    int applied = 0;
    const FakeControls loaded = Load(&applied);
    EXPECT_EQ(applied, 31);
    EXPECT_EQ(loaded.texts, saved.texts);
    EXPECT_EQ(loaded.flags, saved.flags);
    EXPECT_EQ(loaded.index, 1);
    EXPECT_EQ(OpenSettingsStore()->allKeys().size(), 31);
}

TEST(SettingsStore, FlagsAreWrittenAsOneAndZeroAndTextsUnchanged)
{
    FakeControls c;
    c.texts[u"IVTIME"_s] = u"0061"_s; // not validated on saving
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
    const FakeControls saved = Changed();
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
    const FakeControls loaded = Load(&applied);
    EXPECT_EQ(applied, GetParam().applied);
    const FakeControls defaults;
    for (int i = 0; i < StoredValueCount; ++i) {
        const StoredValue &v = LoadOrder[size_t(i)];
        const QString name = QString::fromUtf16(v.name);
        const FakeControls &want = i < applied ? saved : defaults;
        if (name == u"NIC")
            EXPECT_EQ(loaded.index, i < applied ? 1 : -1);
        else if (name == u"Command")
            EXPECT_EQ(loaded.texts[name],
                      i < applied ? want.texts[name] : u"cmd /K nbtstat -A $IP"_s);
        else if (v.kind == StoredKind::Text)
            EXPECT_EQ(loaded.texts[name], want.texts[name]) << name.toStdString();
        else
            EXPECT_EQ(loaded.flags[name], want.flags[name]) << name.toStdString();
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
    const FakeControls loaded = Load(&applied);
    EXPECT_EQ(applied, 31);
    EXPECT_EQ(loaded.texts[u"IVTIME"_s], QString());
    EXPECT_EQ(loaded.texts[u"PNUM"_s], u"010"_s);
}

TEST(SettingsStore, TextStoredAsAListEndsTheReading)
{
    Save(Changed());
    OpenSettingsStore()->setValue(u"TIPT"_s, QStringList{u"10.0.0.1"_s, u"10.0.0.2"_s});
    int applied = 0;
    const FakeControls loaded = Load(&applied);
    EXPECT_EQ(applied, 1);
    EXPECT_EQ(loaded.texts[u"TIPF"_s], u"10.77.0.1"_s);
    EXPECT_EQ(loaded.texts[u"TIPT"_s], QString());
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
    FakeControls c;
    const QString name = QString::fromLatin1(GetParam().name);
    c.texts[name] = QString::fromUtf16(GetParam().stored);
    Save(c);
    EXPECT_EQ(Load().texts[name], QString::fromUtf16(GetParam().shown));
}

INSTANTIATE_TEST_SUITE_P(
    Values, LoadedTexts,
    ::testing::Values(LoadedText{"OMAC", u"00-11-22-33-44-5A", u"00 11 22 33 44 50"},
                      LoadedText{"OMAC", u"0a:1b:2c:3d:4e:5f", u"0A 1B 2C 3D 4E 50"},
                      LoadedText{"OMAC", u"00112233445A", u"00 11 22 33 44 50"},
                      LoadedText{"OMAC", u"", u"00 11 22 33 44 50"},
                      LoadedText{"Command", u"", u"cmd /K nbtstat -A $IP"},
                      LoadedText{"TIPF", u"10.0.0.300", u"10.0.0.300"},
                      LoadedText{"FS1MAC", u"1-2-3-4-5-6", u"1-2-3-4-5-6"}));

TEST(SettingsStore, AdapterIsMatchedWithoutRegardToCase)
{
    FakeControls c;
    c.index = 0;
    Save(c);
    OpenSettingsStore()->setValue(u"NIC"_s, u"10.77.0.1 : KW-SCAN"_s);
    EXPECT_EQ(Load().index, 0);
    OpenSettingsStore()->setValue(u"NIC"_s, u"10.77.0.2 : kw-scan"_s);
    EXPECT_EQ(Load().index, -1);
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
        WriteSettingsStore(FakeControls(), store, [&](const QString &m) { messages.append(m); }));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(blocker + u"/keelwatch.conf"_s)) << messages[0].toStdString();
}

} // namespace
