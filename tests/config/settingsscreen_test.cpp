#include "config/settingsscreen.h"
#include "config/settingsstore.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <ostream>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

// Serialised int 5, as "@Variant(...)" carries it.
constexpr auto StreamedFive = R"(\0\0\0\x2\0\0\0\x5))";

class SettingsFiles : public ::testing::Test
{
  protected:
    QString WriteFile(const QByteArray &text)
    {
        const QString path = dir.filePath(u"keelwatch.conf"_s);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
        return path;
    }

    QTemporaryDir dir;
};

struct Disguise
{
    const char *name;
    QByteArray line;
};

void PrintTo(const Disguise &disguise, std::ostream *out)
{
    *out << disguise.name;
}

class StreamedValue : public SettingsFiles, public ::testing::WithParamInterface<Disguise>
{
};

// Each line really reaches the data stream (the reader returns the int), and
// the screen drops it and nothing else.
TEST_P(StreamedValue, IsDroppedHoweverItIsWritten)
{
    const QByteArray before = "[General]\nFBR=1\n";
    const QByteArray after = "\nOMAC=02 00 00 00 00 10\n";
    const QString path = WriteFile(before + GetParam().line + after);
    {
        const QSettings store(path, QSettings::IniFormat);
        const QVariant value = store.value(u"A"_s);
        const bool streamed =
            value.typeId() == QMetaType::Int || value.typeId() == QMetaType::QVariantList;
        ASSERT_TRUE(streamed) << "not a case the reader decodes: " << value.typeName();
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const ScreenedSettings screened = ScreenSettingsText(file.readAll());
    EXPECT_EQ(screened.droppedKeys, QStringList{u"A"_s});
    EXPECT_EQ(screened.kept, before + after.mid(1));
}

INSTANTIATE_TEST_SUITE_P(
    Disguises, StreamedValue,
    ::testing::Values(Disguise{"Plain", QByteArray("A=@Variant(") + StreamedFive},
                      Disguise{"DateTime", QByteArray("A=@DateTime(") + StreamedFive},
                      Disguise{"Quoted", QByteArray("A=\"@Variant(") + StreamedFive + '"'},
                      Disguise{"QuoteInside", QByteArray("A=@Var\"iant\"(") + StreamedFive},
                      Disguise{"Blanks", QByteArray("A=  @Variant(") + StreamedFive},
                      Disguise{"HexEscape", QByteArray("A=\\x40Variant(") + StreamedFive},
                      Disguise{"WideHexEscape", QByteArray("A=\\x10040Variant(") + StreamedFive},
                      Disguise{"OctalEscape", QByteArray("A=\\100Variant(") + StreamedFive},
                      Disguise{"ListItem", QByteArray("A=x, @Variant(") + StreamedFive},
                      Disguise{"Continued", QByteArray("A=@Var\\\niant(") + StreamedFive},
                      Disguise{"ContinuedCrLf", QByteArray("A=@Var\\\r\niant(") + StreamedFive}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(SettingsFiles, TextsTheStoreWritesAreKeptByteForByte)
{
    const QString path = dir.filePath(u"written.conf"_s);
    const QStringList texts = {u"@Variant(x)"_s,         u"@DateTime(\\0)"_s,
                               u"mail root@localhost"_s, u"\"@Variant(\" ;x"_s,
                               u"tab\there, ünïcode"_s,  u"ends with \\"_s};
    {
        QSettings store(path, QSettings::IniFormat);
        for (int i = 0; i < texts.size(); ++i)
            store.setValue(u"Text%1"_s.arg(i), texts[i]);
        store.setValue(u"Section/Text"_s, texts[0]);
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    const ScreenedSettings screened = ScreenSettingsText(written);
    EXPECT_TRUE(screened.droppedKeys.isEmpty()) << screened.droppedKeys.join(u' ').toStdString();
    EXPECT_EQ(screened.kept, written);
}

TEST_F(SettingsFiles, DroppedKeysNameTheirSectionAndLineEndsStay)
{
    const QByteArray text = QByteArray("[General]\r\nA=@Variant(") + StreamedFive +
                            "\r\nB=1\r\n[Other]\r\nC=@DateTime(" + StreamedFive + "\r\nD=2\r\n";
    const ScreenedSettings screened = ScreenSettingsText(text);
    EXPECT_EQ(screened.droppedKeys, (QStringList{u"A"_s, u"Other/C"_s}));
    EXPECT_EQ(screened.kept, "[General]\r\nB=1\r\n[Other]\r\nD=2\r\n");
}

// The finding that showed it: a list read with a count of 674 million items
// reserved 21 GB. The other values are still read and the file is left alone.
TEST_F(SettingsFiles, ReadingAFileWithAStreamedValueReadsTheRest)
{
    const QByteArray text = "[General]\nTIPF=10.0.0.1, 10.0.0.9\nFBR=0\n"
                            "IVTIME=@Variant(\\0\\0\\0\\t(1 2 3 4)\nPNUM=7\n";
    const QString path = WriteFile(text);
    Settings settings;
    settings.tests.fill(true);
    const SettingsRead read = ReadSettingsFile(settings, path, {});
    EXPECT_EQ(read.damagedKeys, QStringList{u"IVTIME"_s});
    EXPECT_FALSE(read.malformed);
    EXPECT_EQ(settings.from, u"10.0.0.1, 10.0.0.9"_s);
    EXPECT_FALSE(settings.tests[0]);
    EXPECT_EQ(settings.packetCount, 7);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), text);
}

} // namespace
