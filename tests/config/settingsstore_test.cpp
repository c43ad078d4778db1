#include "config/settingsstore.h"
#include "support/confighome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

ConfigHome *const configHome = RegisterConfigHome();

const NetworkAdapters Adapters = {{u"kw-scan"_s, IpAddress::FromIpv4(0x0A4D0001)},
                                  {u"eth0"_s, IpAddress::FromIpv4(0xC0A80104)}};

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
    s.adapter = Adapters[1];
    s.ownIp = IpAddress::FromIpv4(0x0A4D0064);
    s.ownMac = MacAddress{{0x02, 0xAA, 0xBB, 0xCC, 0xDD, 0xE0}};
    s.sp1Mac = MacAddress{{0x01, 0x00, 0x5E, 0x00, 0x00, 0x02}};
    s.sp2Mac = MacAddress{{1, 2, 3, 4, 5, 6}};
    s.scanTimerSeconds = 60;
    s.packetCount = 10;
    s.nodeTimerMs = 0;
    s.sendRate = 20000;
    s.logPath = u"/var/log/kw, test/ünïcode=1;#x.log"_s;
    s.command = u"net send $IP \"Don't Sniff\""_s;
    s.syslogServer = IpAddress::FromIpv4(0x0A4D0009);
    s.syslogTransport = SyslogTransport::Tls;
    s.probeSenderIp = ProbeSenderIp::Own;
    s.syslogCaFile = u"/etc/kw/ca, 1.pem"_s;
    s.syslogCertFile = u"/etc/kw/client.pem"_s;
    s.syslogSpoolKib = 16;
    s.syslogMaxBytes = 65000;
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

Settings Load(int *applied = nullptr, QStringList *damaged = nullptr)
{
    Settings s;
    auto store = OpenSettingsStore();
    const SettingsRead read = ReadSettingsStore(s, *store, Adapters);
    if (applied)
        *applied = read.applied;
    if (damaged)
        *damaged = read.damagedKeys;
    return s;
}

// Replaces the line of key in the store's file by key=raw, as a hand edit
// would.
void EditLine(const QString &key, const QString &raw)
{
    QFile file(OpenSettingsStore()->fileName());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    file.close();
    for (QString &line : lines) {
        if (line.startsWith(key + u'='))
            line = key + u'=' + raw;
    }
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(lines.join(u'\n').toUtf8());
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
    expected.command = u"x-terminal-emulator -e ping $IP"_s;
    EXPECT_EQ(loaded, expected);
    EXPECT_FALSE(QFile::exists(OpenSettingsStore()->fileName()));
}

TEST(SettingsStore, RoundTripRestoresAll35Values)
{
    const Settings saved = Changed();
    Save(saved);
    int applied = 0;
    const Settings loaded = Load(&applied);
    EXPECT_EQ(applied, int(StoredSettings.size()));
    EXPECT_EQ(loaded, saved);
    // Every setting and the version.
    EXPECT_EQ(OpenSettingsStore()->allKeys().size(), int(StoredSettings.size()) + 1);
}

TEST(SettingsStore, RatePacingIsOnForAFirstRunAndOffForAStoreWrittenBeforeIt)
{
    QFile::remove(OpenSettingsStore()->fileName());
    EXPECT_EQ(Load().sendRate, 2000);

    const Settings saved = Changed();
    Save(saved);
    OpenSettingsStore()->remove(u"SendRate"_s);
    int applied = 0;
    const Settings loaded = Load(&applied);
    EXPECT_EQ(applied, int(StoredSettings.size()));
    EXPECT_EQ(loaded.sendRate, 0);
    EXPECT_EQ(loaded.nodeTimerMs, saved.nodeTimerMs);
}

QByteArray StoreBytes()
{
    QFile file(OpenSettingsStore()->fileName());
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

// The file other tools and older versions read: every key and value format
// byte for byte, the version last among the keys QSettings sorts.
TEST(SettingsStore, FileIsWrittenByteForByteInTheStoredFormats)
{
    Save(Changed());
    EXPECT_EQ(StoreBytes(), QByteArray("[General]\n"
                                       "Beep=1\n"
                                       "Command=net send $IP \\\"Don't Sniff\\\"\n"
                                       "ConfirmSuspects=0\n"
                                       "CyclicScan=0\n"
                                       "DCOM=1\n"
                                       "DTAB=0\n"
                                       "F016=0\n"
                                       "F31=0\n"
                                       "F8=0\n"
                                       "FBR=0\n"
                                       "FG=0\n"
                                       "FM=1\n"
                                       "FS1=1\n"
                                       "FS1MAC=01 00 5E 00 00 02\n"
                                       "FS2=1\n"
                                       "FS2MAC=01 02 03 04 05 06\n"
                                       "FastScan=0\n"
                                       "IVTIME=60\n"
                                       "Logpath=\"/var/log/kw, test/\xC3\xBCn\xC3\xAF"
                                       "code=1;#x.log\"\n"
                                       "M1=1\n"
                                       "M2=1\n"
                                       "NIC=192.168.1.4 : eth0\n"
                                       "OIP=10.77.0.100\n"
                                       "OMAC=02 AA BB CC DD E0\n"
                                       "PNUM=10\n"
                                       "PacketTIME=0\n"
                                       "ProbeSenderIp=own\n"
                                       "Scroll=0\n"
                                       "SendRate=20000\n"
                                       "SettingsVersion=1\n"
                                       "Syslog=1\n"
                                       "Syslog5424=1\n"
                                       "SyslogCA=\"/etc/kw/ca, 1.pem\"\n"
                                       "SyslogCert=/etc/kw/client.pem\n"
                                       "SyslogMaxBytes=65000\n"
                                       "SyslogServ=10.77.0.9\n"
                                       "SyslogSpoolKB=16\n"
                                       "SyslogTransport=tls\n"
                                       "TIPF=10.77.0.1\n"
                                       "TIPT=10.77.0.254\n"
                                       "WindowGeometry=\n"
                                       "showall=1\n"));
}

TEST(SettingsStore, FirstRunValuesAreWrittenAsBefore)
{
    Save(Settings{});
    const QString ini = QString::fromUtf8(StoreBytes());
    for (const char16_t *line :
         {u"\nFBR=1\n", u"\nFM=0\n", u"\nDCOM=0\n", u"\nIVTIME=5\n", u"\nNIC=\n", u"\nTIPF=\n",
          u"\nOIP=\n", u"\nOMAC=00 11 22 33 44 50\n", u"\nFS1MAC=\n", u"\nSyslogServ=\n",
          u"\nSyslogTransport=udp\n", u"\nSyslogSpoolKB=1024\n", u"\nSyslogMaxBytes=2048\n",
          u"\nProbeSenderIp=zero\n"})
        EXPECT_TRUE(ini.contains(QStringView(line))) << QString::fromUtf16(line).toStdString();
}

// A damaged value keeps its default and reading goes on; an absent flag
// keeps its default too, without being damaged.
struct Damage
{
    const char *name;
    const char16_t *value; // nullptr: the value is removed
};

class DamagedStore : public ::testing::TestWithParam<Damage>
{
};

TEST_P(DamagedStore, KeepsTheDefaultAndReadsEveryOtherValue)
{
    const Settings saved = Changed();
    Save(saved);
    const QString name = QString::fromLatin1(GetParam().name);
    if (GetParam().value)
        EditLine(name, QString::fromUtf16(GetParam().value));
    else
        OpenSettingsStore()->remove(name);
    int applied = 0;
    QStringList damaged;
    const Settings loaded = Load(&applied, &damaged);
    EXPECT_EQ(applied, int(StoredSettings.size()) - 1);
    EXPECT_EQ(damaged, GetParam().value ? QStringList{name} : QStringList());
    Settings defaults;
    defaults.command = u"x-terminal-emulator -e ping $IP"_s;
    for (const StoredSetting &stored : StoredSettings) {
        const Settings &want = KeyOf(stored) == name ? defaults : saved;
        EXPECT_EQ(StoredValueText(stored, loaded), StoredValueText(stored, want))
            << KeyOf(stored).toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, DamagedStore,
    ::testing::Values(Damage{"FBR", nullptr}, Damage{"FBR", u"true"}, Damage{"F8", u"4294967296"},
                      Damage{"showall", u""}, Damage{"Syslog", nullptr},
                      Damage{"Syslog5424", nullptr}, Damage{"TIPF", u"@ByteArray(10.0.0.1)"},
                      Damage{"PNUM", u"@ByteArray(4)"}, Damage{"OIP", u"@ByteArray(10.0.0.1)"},
                      Damage{"Command", u"@Rect(1 2 3 4)"}),
    [](const auto &info) {
        return std::string(info.param.name) + (info.param.value ? "Bad" : "Absent");
    });

// An absent value reads as empty text: a number takes the value its rule
// gives no number, an address becomes none, the probes' sender address is
// 0.0.0.0 (every store written before it was a setting).
TEST(SettingsStore, AbsentValueReadsAsEmptyTextAndReadingGoesOn)
{
    Save(Changed());
    for (const char16_t *key :
         {u"IVTIME", u"PacketTIME", u"OIP", u"FS1MAC", u"Logpath", u"ProbeSenderIp"})
        OpenSettingsStore()->remove(QString::fromUtf16(key));
    int applied = 0;
    const Settings loaded = Load(&applied);
    EXPECT_EQ(applied, int(StoredSettings.size()));
    EXPECT_EQ(loaded.scanTimerSeconds, 5);
    EXPECT_EQ(loaded.nodeTimerMs, 500);
    EXPECT_EQ(loaded.ownIp, std::nullopt);
    EXPECT_EQ(loaded.sp1Mac, std::nullopt);
    EXPECT_EQ(loaded.logPath, QString());
    EXPECT_EQ(loaded.packetCount, 10);
    EXPECT_EQ(loaded.probeSenderIp, ProbeSenderIp::Zero);
}

// A hand-typed comma makes a list of the value for QSettings; the text comes
// back as it stands in the file, and the values after it are read too.
struct RawText
{
    const char *name;
    const char16_t *line;  // what follows "TIPT=" in the file
    const char16_t *shown; // the text read
};

class HandTypedTexts : public ::testing::TestWithParam<RawText>
{
};

TEST_P(HandTypedTexts, AreReadAsPlainText)
{
    Save(Changed());
    EditLine(u"TIPT"_s, QString::fromUtf16(GetParam().line));
    int applied = 0;
    QStringList damaged;
    const Settings loaded = Load(&applied, &damaged);
    EXPECT_EQ(loaded.to, QString::fromUtf16(GetParam().shown));
    EXPECT_EQ(applied, int(StoredSettings.size()));
    EXPECT_TRUE(damaged.isEmpty());
    Settings rest = loaded;
    rest.to = Changed().to;
    EXPECT_EQ(rest, Changed());
    // Saved and read again, the text stays the same.
    Save(loaded);
    EXPECT_EQ(Load().to, loaded.to);
}

INSTANTIATE_TEST_SUITE_P(
    Values, HandTypedTexts,
    ::testing::Values(RawText{"Comma", u"10.0.0.1, 10.0.0.2", u"10.0.0.1, 10.0.0.2"},
                      RawText{"Blanks", u"  10.0.0.1 ,10.0.0.2  ", u"10.0.0.1 ,10.0.0.2"},
                      RawText{"Quotes", u"\"10.0.0.1\", \"x\"", u"\"10.0.0.1\", \"x\""},
                      RawText{"TrailingComma", u"10.0.0.2,", u"10.0.0.2,"},
                      RawText{"QuotedComma", u"\" 10.0.0.1, 2 \"", u" 10.0.0.1, 2 "}),
    [](const auto &info) { return std::string(info.param.name); });

struct LoadedText
{
    const char *name;
    const char16_t *stored;
    const char16_t *shown;
};

// Each stored text is parsed once, here: numbers forced into range as the
// Setup dialog's fields force them, addresses read or dropped.
class LoadedTexts : public ::testing::TestWithParam<LoadedText>
{
};

TEST_P(LoadedTexts, AreParsedNormalisedOrDefaulted)
{
    Save(Settings{});
    const QString key = QString::fromLatin1(GetParam().name);
    OpenSettingsStore()->setValue(key, QString::fromUtf16(GetParam().stored));
    const auto stored = std::find_if(StoredSettings.begin(), StoredSettings.end(),
                                     [&](const StoredSetting &s) { return KeyOf(s) == key; });
    ASSERT_NE(stored, StoredSettings.end());
    EXPECT_EQ(StoredValueText(*stored, Load()), QString::fromUtf16(GetParam().shown));
}

INSTANTIATE_TEST_SUITE_P(
    Values, LoadedTexts,
    ::testing::Values(
        LoadedText{"OMAC", u"00-11-22-33-44-5A", u"00 11 22 33 44 50"},
        LoadedText{"OMAC", u"0a:1b:2c:3d:4e:5f", u"0A 1B 2C 3D 4E 50"},
        LoadedText{"OMAC", u"00112233445A", u"00 11 22 33 44 50"},
        LoadedText{"OMAC", u"", u"00 11 22 33 44 50"},
        LoadedText{"Command", u"", u"x-terminal-emulator -e ping $IP"},
        LoadedText{"TIPF", u"10.0.0.300", u"10.0.0.300"},
        LoadedText{"FS1MAC", u"1-2-3-4-5-6", u"01 02 03 04 05 06"},
        LoadedText{"FS1MAC", u"1-2-3", u""},
        // A group address sends no card's own frames.
        LoadedText{"OMAC", u"01 00 5E 00 00 00", u"00 11 22 33 44 50"},
        LoadedText{"IVTIME", u"0061", u"5"}, LoadedText{"IVTIME", u"007", u"7"},
        LoadedText{"PNUM", u"$A", u"10"}, LoadedText{"PNUM", u"0", u"3"},
        LoadedText{"PacketTIME", u"70000", u"60000"}, LoadedText{"PacketTIME", u"soon", u"500"},
        LoadedText{"SendRate", u"2000000", u"1000000"}, LoadedText{"SendRate", u"fast", u"0"},
        LoadedText{"OIP", u" 10.0.0.1 ", u"10.0.0.1"}, LoadedText{"OIP", u"10.0.0.256", u""},
        LoadedText{"SyslogServ", u"010.000.000.001", u"10.0.0.1"},
        // A transport word from a newer version, or a typing error: datagrams.
        LoadedText{"SyslogTransport", u"TCP", u"tcp"},
        LoadedText{"SyslogTransport", u"relp", u"udp"}, LoadedText{"SyslogTransport", u"", u"udp"},
        // Anything but the two words: address probes, which rewrite no cache.
        LoadedText{"ProbeSenderIp", u" OWN ", u"own"},
        LoadedText{"ProbeSenderIp", u"192.168.0.1", u"zero"},
        LoadedText{"SyslogSpoolKB", u"1", u"16"}, LoadedText{"SyslogSpoolKB", u"lots", u"1024"},
        LoadedText{"SyslogMaxBytes", u"70000", u"65000"},
        LoadedText{"SyslogMaxBytes", u"", u"2048"},
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
    EXPECT_EQ(Load().adapter, Adapters[0]);
    OpenSettingsStore()->setValue(u"NIC"_s, u"10.77.0.2 : kw-scan"_s);
    EXPECT_EQ(Load().adapter, NetworkAdapter{});
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

// A file written before the version existed is version 1 and reads as it
// did; the next save adds the version.
TEST(SettingsVersions, AFileWithoutTheVersionIsVersionOne)
{
    Save(Changed());
    OpenSettingsStore()->remove(QString::fromUtf16(SettingsVersionKey));
    Settings loaded;
    auto store = OpenSettingsStore();
    const SettingsRead read = ReadSettingsStore(loaded, *store, Adapters);
    EXPECT_EQ(read.version, 1);
    EXPECT_TRUE(read.damagedKeys.isEmpty());
    EXPECT_EQ(read.found, int(StoredSettings.size()));
    EXPECT_EQ(loaded, Changed());
    Save(loaded);
    EXPECT_EQ(OpenSettingsStore()->value(QString::fromUtf16(SettingsVersionKey)).toString(),
              QString::number(SettingsVersion));
}

// A version this program cannot read is named, as a damaged value is, and
// the keys it knows are read all the same.
TEST(SettingsVersions, UnknownVersionIsToldAndTheKnownKeysRead)
{
    // Each edit changes the line's length: Qt keeps a file it parsed while its
    // size and time look the same, and the saved "1" was written just now.
    for (const QString &version :
         QStringList{u"0"_s + QString::number(SettingsVersion + 1), u"two"_s, u"00"_s}) {
        Save(Changed());
        EditLine(QString::fromUtf16(SettingsVersionKey), version);
        QStringList damaged;
        EXPECT_EQ(Load(nullptr, &damaged), Changed()) << version.toStdString();
        EXPECT_EQ(damaged, QStringList{QString::fromUtf16(SettingsVersionKey)})
            << version.toStdString();
    }
}

// A rename is an entry of the rename table: older files are read under the
// key their version had, however many renames ago.
TEST(SettingsVersions, RenamedKeysAreReadUnderTheirKeyInTheFilesVersion)
{
    constexpr std::array<SettingsRename, 2> renames{{
        {2, u"IVTIME", u"ScanTimer"},
        {3, u"ScanTimer", u"ScanTimerSeconds"},
    }};
    EXPECT_EQ(KeyInVersion(u"ScanTimerSeconds"_s, 1, renames), u"IVTIME"_s);
    EXPECT_EQ(KeyInVersion(u"ScanTimerSeconds"_s, 2, renames), u"ScanTimer"_s);
    EXPECT_EQ(KeyInVersion(u"ScanTimerSeconds"_s, 3, renames), u"ScanTimerSeconds"_s);
    EXPECT_EQ(KeyInVersion(u"PNUM"_s, 1, renames), u"PNUM"_s);
    // The program's own table: every key is read as written today.
    for (const StoredSetting &stored : StoredSettings)
        EXPECT_EQ(KeyInVersion(KeyOf(stored), 1), KeyOf(stored));
}

TEST(SettingsVersions, AStoreWithoutAnyKeelwatchKeyFindsNothing)
{
    auto store = EmptyStore();
    store->setValue(u"Other/Key"_s, u"1"_s);
    store->setValue(u"colour"_s, u"blue"_s);
    store->sync();
    Settings loaded;
    EXPECT_EQ(ReadSettingsStore(loaded, *store, Adapters).found, 0);
    Save(Changed());
    EXPECT_EQ(ReadSettingsStore(loaded, *OpenSettingsStore(), Adapters).found,
              int(StoredSettings.size()) + 1);
}

TEST(SettingsModel, SavesAndLoadsTheUsersStore)
{
    EmptyStore();
    SettingsModel saved;
    saved.Replace(Changed());
    ASSERT_TRUE(saved.Save([](const QString &m) { FAIL() << m.toStdString(); }));
    SettingsModel loaded;
    loaded.Load(Adapters, [](const QString &m) { FAIL() << m.toStdString(); });
    EXPECT_EQ(loaded.Read(), Changed());
}

// An installation gets an own MAC of its own on its first run and keeps it;
// one the user set stays, and the one every installation once shared is
// replaced.
TEST(SettingsModel, OwnMacIsDrawnForTheInstallationAndKept)
{
    const auto quiet = [](const QString &m) { FAIL() << m.toStdString(); };
    EmptyStore();
    SettingsModel first;
    first.Load(Adapters, quiet);
    const std::optional<MacAddress> drawn = first.Read().ownMac;
    ASSERT_TRUE(drawn);
    EXPECT_EQ(drawn->bytes[0] & 0x03, 0x02); // locally administered, unicast
    EXPECT_EQ(drawn->bytes[5] & 0x0F, 0x00);
    ASSERT_TRUE(first.Save(quiet));
    SettingsModel next;
    next.Load(Adapters, quiet);
    EXPECT_EQ(next.Read().ownMac, drawn);

    for (const MacAddress &stored : {Changed().ownMac.value(), Settings::DefaultOwnMac()}) {
        Settings values = Changed();
        values.ownMac = stored;
        Save(values);
        SettingsModel loaded;
        loaded.Load(Adapters, quiet);
        EXPECT_EQ(loaded.Read().ownMac == stored, stored != Settings::DefaultOwnMac());
    }
}

TEST(KeptOwnMac, IsDrawnOnceAndReadBackWhileTheFileHoldsIt)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(u"state/own-mac"_s);
    QStringList failures;
    const auto failed = [&](const QString &m) { failures.append(m); };
    const MacAddress drawn = KeptOwnMac(path, failed);
    EXPECT_EQ(KeptOwnMac(path, failed), drawn);
    EXPECT_NE(KeptOwnMac(dir.filePath(u"other/own-mac"_s), failed), drawn);
    EXPECT_TRUE(failures.isEmpty());

    // A file that holds no usable own MAC gets a new one.
    QFile group(path);
    ASSERT_TRUE(group.open(QIODevice::WriteOnly));
    group.write("01 00 5E 00 00 00\n");
    group.close();
    const MacAddress redrawn = KeptOwnMac(path, failed);
    EXPECT_NE(redrawn, *MacAddress::FromText(u"01:00:5E:00:00:00"_s));
    EXPECT_EQ(KeptOwnMac(path, failed), redrawn);

    // A folder that cannot be made: told, and a drawn MAC serves.
    QFile blocker(dir.filePath(u"file"_s));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    KeptOwnMac(dir.filePath(u"file/own-mac"_s), failed);
    EXPECT_EQ(failures.size(), 1);
}

QStringList Backups()
{
    const QFileInfo conf(OpenSettingsStore()->fileName());
    return conf.dir().entryList({conf.fileName() + u".*.bak"_s}, QDir::Files);
}

// The store as Changed() saves it, with hand edits of key=raw lines and no
// backups beside it; returns the file's bytes.
QByteArray ChangedStoreEdited(const QList<std::pair<QString, QString>> &edits)
{
    for (const QString &old : Backups())
        QFile::remove(QFileInfo(OpenSettingsStore()->fileName()).dir().filePath(old));
    Save(Changed());
    for (const auto &[key, raw] : edits)
        EditLine(key, raw);
    QFile file(OpenSettingsStore()->fileName());
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

TEST(SettingsModel, DamagedReadIsToldOnceAndTheFirstSaveKeepsTheOldFile)
{
    const QByteArray damagedFile =
        ChangedStoreEdited({{u"FBR"_s, u"true"_s}, {u"Scroll"_s, u"yes"_s}});

    SettingsModel model;
    QStringList told;
    model.Load(Adapters, [&](const QString &m) { told << m; });
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].contains(u": FBR, Scroll."_s)) << told[0].toStdString();
    EXPECT_TRUE(told[0].contains(OpenSettingsStore()->fileName())) << told[0].toStdString();
    EXPECT_EQ(model.Read().logPath, Changed().logPath);

    const auto failOnMessage = [](const QString &m) { FAIL() << m.toStdString(); };
    ASSERT_TRUE(model.Save(failOnMessage));
    const QStringList backups = Backups();
    ASSERT_EQ(backups.size(), 1);
    QFile backup(QFileInfo(OpenSettingsStore()->fileName()).dir().filePath(backups[0]));
    ASSERT_TRUE(backup.open(QIODevice::ReadOnly));
    EXPECT_EQ(backup.readAll(), damagedFile);
    // Later saves have nothing left to keep.
    ASSERT_TRUE(model.Save(failOnMessage));
    EXPECT_EQ(Backups().size(), 1);
    QStringList damaged;
    Load(nullptr, &damaged);
    EXPECT_TRUE(damaged.isEmpty());
}

// A value only a data stream could read is not read: it keeps its value, is
// named once, and the first save takes it out of the store and keeps the old
// file beside it.
TEST(SettingsModel, StreamedValueIsToldAndTheSaveTakesItOut)
{
    const QByteArray streamedFile =
        ChangedStoreEdited({{u"IVTIME"_s, u"@Variant(\\0\\0\\0\\t(1 2 3 4)"_s}});

    SettingsModel model;
    QStringList told;
    model.Load(Adapters, [&](const QString &m) { told << m; });
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].contains(u": IVTIME."_s)) << told[0].toStdString();
    Settings expected = Changed();
    expected.scanTimerSeconds = Settings{}.scanTimerSeconds;
    EXPECT_EQ(model.Read(), expected);

    ASSERT_TRUE(model.Save([](const QString &m) { FAIL() << m.toStdString(); }));
    const QStringList backups = Backups();
    ASSERT_EQ(backups.size(), 1);
    QFile backup(QFileInfo(OpenSettingsStore()->fileName()).dir().filePath(backups[0]));
    ASSERT_TRUE(backup.open(QIODevice::ReadOnly));
    EXPECT_EQ(backup.readAll(), streamedFile);
    QFile file(OpenSettingsStore()->fileName());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_FALSE(file.readAll().contains("@Variant"));
    SettingsModel reloaded;
    reloaded.Load(Adapters, [](const QString &m) { FAIL() << m.toStdString(); });
    EXPECT_EQ(reloaded.Read(), expected);
}

} // namespace
