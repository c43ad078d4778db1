#include "report/vendortable.h"

#include "filehelpers.h"
#include "support/qtprint.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

const QString IeeeDir = u"/usr/share/ieee-data"_s;

// The last-match scan that the index replaces.
QString LinearLookup(const VendorTable &t, const QString &code)
{
    for (qsizetype i = t.Count() - 1; i >= 0; --i) {
        if (t.Code(i) == code)
            return t.Name(i);
    }
    return u"unknown"_s;
}

struct TellingRow
{
    int position;
    const char16_t *code;
    const char16_t *name;
};

class BuiltinRows : public testing::TestWithParam<TellingRow>
{
};

TEST_P(BuiltinRows, SitAtTheirPositions)
{
    const VendorTable t;
    ASSERT_EQ(t.Count(), 899);
    const TellingRow &row = GetParam();
    EXPECT_EQ(t.Code(row.position - 1), QString::fromUtf16(row.code));
    EXPECT_EQ(t.Name(row.position - 1), QString::fromUtf16(row.name));
}

INSTANTIATE_TEST_SUITE_P(
    Vendors, BuiltinRows,
    testing::Values(TellingRow{1, u"000001", u"SuperLAN-2U"},
                    TellingRow{2, u"000002", u"BBN (was internal usage only, no longer used)"},
                    TellingRow{4, u"00000C", u"Cisco"},
                    TellingRow{41, u"00005A",
                               u"SK (Schneider & Koch in Europe and Syskonnect outside of Europe)"},
                    TellingRow{42, u"00005A", u"Xerox 806 (unregistered)"},
                    TellingRow{520, u"0090B1", u"Cisco"}, TellingRow{525, u"0090B1", u"Cisco"},
                    TellingRow{
                        782, u"020701",
                        u"Interlan [now Racal-InterLAN] DEC (UNIBUS or QBUS), Apollo, Cisco"},
                    TellingRow{783, u"020701", u"Racal-Datacom"},
                    TellingRow{814, u"080020", u"Sun"},
                    TellingRow{892, u"AA0000", u"DEC    obsolete"},
                    TellingRow{899, u"E20C0F", u"Kingston Technologies"}),
    [](const auto &info) { return "Position" + std::to_string(info.param.position); });

TEST(VendorTable, LaterDuplicateWinsAndOuiEntryOverridesBuiltin)
{
    VendorTable t;
    EXPECT_EQ(t.LookupVendor(u"00:00:5A:"), u"Xerox 806 (unregistered)"_s);
    EXPECT_EQ(t.LookupVendor(u"02:07:01:"), u"Racal-Datacom"_s);
    t.AddOuiText("00-00-5A   (hex)\t\tSysKonnect GmbH\r\n"
                 "00005A     (base 16)\t\tSysKonnect GmbH\r\n"
                 "\t\t\t\tEisenbahnstrasse\r\n");
    EXPECT_EQ(t.Count(), 900);
    EXPECT_EQ(t.LookupVendor(u"00:00:5A:"), u"SysKonnect GmbH"_s);
}

class PrefixForms : public testing::TestWithParam<const char16_t *>
{
};

TEST_P(PrefixForms, LookUpTheSameCode)
{
    VendorTable t;
    t.AddOuiText("000C29     (base 16)\t\tVMware, Inc.\n");
    EXPECT_EQ(t.LookupVendor(QStringView(GetParam())), u"VMware, Inc."_s);
}

INSTANTIATE_TEST_SUITE_P(Vendors, PrefixForms,
                         testing::Values(u"00-0c-29", u"00:0C:29:", u"000C29", u"  00 0c 29 ",
                                         u"00:0c-29:"),
                         [](const auto &info) { return "Form" + std::to_string(info.index); });

TEST(VendorTable, OuiLinesThatAreNotUsedOrMatched)
{
    VendorTable t;
    t.AddOuiText("0a0b0c     (base 16)\t\tLower Case Ltd\n"
                 "0D0E0F     (BASE 16)\t\tCapital Words Ltd\n"
                 "101112     (base 16)\n"
                 "131415 (base 16) First (BASE 16) Second (Base 16) Third\n");
    EXPECT_EQ(t.Count(), 899 + 3);
    // A code stored in lower case never equals the upper-cased prefix.
    EXPECT_EQ(t.LookupVendor(u"0A:0B:0C:"), u"unknown"_s);
    EXPECT_EQ(t.LookupVendor(u"0D:0E:0F:"), u"unknown"_s);
    // A line without a name gives an empty name, not "unknown".
    EXPECT_EQ(t.LookupVendor(u"10:11:12:"), QString());
    // Every "(base 16)" in any case splits; the second piece is the name.
    EXPECT_EQ(t.LookupVendor(u"13:14:15:"), u"First"_s);
    EXPECT_EQ(t.LookupVendor(u"00:11:22:33:44:55"), u"unknown"_s);
}

// Where oui.txt is read from: beside the program first, the system's copy
// when there is none beside it, and only with neither the message.
struct SourceCase
{
    const char *name;
    bool beside;
    bool shared;
    QString vendor;
    QStringList messages;
};

void PrintTo(const SourceCase &c, std::ostream *os)
{
    *os << c.name;
}

class OuiSource : public testing::TestWithParam<SourceCase>
{
};

TEST_P(OuiSource, BesideTheProgramThenTheSystemCopy)
{
    const SourceCase &c = GetParam();
    QTemporaryDir programDir;
    QTemporaryDir sharedDir;
    if (c.beside)
        WriteFile(programDir.filePath(u"oui.txt"_s), "ABCDEF     (base 16)\t\tBeside\r\n");
    if (c.shared)
        WriteFile(sharedDir.filePath(u"oui.txt"_s), "ABCDEF     (base 16)\t\tShared\r\n");
    MessageRecorder r;
    VendorTable t;
    t.AddOuiText("ABCDEF     (base 16)\t\tSomebody\n");
    t.LoadVendorTable(programDir.path(), r.Sink(), sharedDir.path());
    EXPECT_EQ(r.messages, c.messages);
    EXPECT_EQ(t.LookupVendor(u"AB:CD:EF:"), c.vendor);
    EXPECT_EQ(t.Count(), c.vendor == u"unknown"_s ? 899 : 900);
}

INSTANTIATE_TEST_SUITE_P(
    Places, OuiSource,
    testing::Values(SourceCase{"Both", true, true, u"Beside"_s, {}},
                    SourceCase{"OnlyBeside", true, false, u"Beside"_s, {}},
                    SourceCase{"OnlyShared", false, true, u"Shared"_s, {}},
                    // The built-in rows alone, nothing of an earlier load.
                    SourceCase{"Neither", false, false, u"unknown"_s, {u"No oui.txt found."_s}}),
    [](const testing::TestParamInfo<SourceCase> &info) { return info.param.name; });

TEST(VendorTable, UnreadableOuiFileIsReported)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir(u"oui.txt"_s));
    MessageRecorder r;
    VendorTable t;
    t.LoadVendorTable(dir.path(), r.Sink());
    ASSERT_EQ(r.messages.size(), 1);
    EXPECT_TRUE(r.messages[0].startsWith(u"Cannot read oui.txt."_s)) << r.messages[0].toStdString();
    EXPECT_EQ(t.Count(), 899);
}

TEST(VendorTable, LoadsTheOuiFileBesideTheProgram)
{
    QTemporaryDir dir;
    WriteFile(dir.filePath(u"oui.txt"_s), "OUI/MA-L\r\n\r\n"
                                          "08-00-20   (hex)\t\tOracle Corporation\r\n"
                                          "080020     (base 16)\t\tOracle Corporation\r\n");
    MessageRecorder r;
    VendorTable t;
    t.LoadVendorTable(dir.path(), r.Sink());
    t.LoadVendorTable(dir.path(), r.Sink());
    EXPECT_TRUE(r.messages.isEmpty());
    EXPECT_EQ(t.Count(), 900);
    EXPECT_EQ(t.LookupVendor(u"08:00:20:"), u"Oracle Corporation"_s);
}

TEST(VendorTable, RealRegistryIsTakenWholeAndIndexedLikeALinearScan)
{
    QFile real(IeeeDir + u"/oui.txt"_s);
    if (!real.open(QIODevice::ReadOnly))
        GTEST_SKIP() << "ieee-data's oui.txt is not installed";
    const qsizetype base16Lines = real.readAll().count("(base 16)");
    ASSERT_GT(base16Lines, 10000);

    MessageRecorder r;
    VendorTable t;
    t.LoadVendorTable(IeeeDir, r.Sink());
    EXPECT_TRUE(r.messages.isEmpty());
    EXPECT_EQ(t.Count(), 899 + base16Lines);

    // Every code that occurs more than once (where the order rule matters)
    // and a sample of the others.
    QHash<QString, int> seen;
    for (qsizetype i = 0; i < t.Count(); ++i)
        ++seen[t.Code(i)];
    QStringList codes;
    for (auto it = seen.cbegin(); it != seen.cend(); ++it) {
        if (it.value() > 1 || qHash(it.key()) % 64 == 0)
            codes.append(it.key());
    }
    ASSERT_GT(codes.size(), 100);
    for (const QString &code : std::as_const(codes)) {
        const QString prefix = code.left(2) + u':' + code.mid(2, 2) + u':' + code.mid(4) + u':';
        ASSERT_EQ(t.LookupVendor(prefix), LinearLookup(t, code)) << code.toStdString();
    }
    EXPECT_EQ(t.LookupVendor(u"00:00:5A:"), LinearLookup(t, u"00005A"_s));
    EXPECT_NE(t.LookupVendor(u"00:00:5A:"), u"Xerox 806 (unregistered)"_s);
}

} // namespace
