#include "ui/nodelistdialogs.h"

#include "core/nodelist.h"
#include "support/qtprint.h"
#include "ui/nodeexport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QWidget>

#include <vector>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

class NodeListDialogs : public testing::Test
{
  protected:
    NodeListDialogs()
    {
        const int node = nodes.Add(*IpAddress::FromText(u"10.0.0.5"),
                                   *MacAddress::FromText(u"00:11:22:33:44:55"), {});
        nodes.SetMark(node, BroadcastColumn,
                      Mark::Answered(Answer::Illegal, FrameFormat::Ethernet2));
    }
    QFileDialog *Dialog(const QString &name)
    {
        auto *d = window.findChild<QFileDialog *>(name);
        EXPECT_NE(d, nullptr) << name.toStdString();
        return d;
    }
    MessageSink Sink()
    {
        return [this](const QString &m) { messages.append(m); };
    }

    QTemporaryDir dir;
    QWidget window;
    NodeList nodes;
    QStringList messages;
};

TEST_F(NodeListDialogs, SaveDialogOffersTheDefaultsAndWritesTheTable)
{
    ShowSaveNodeListDialog(&window, nodes, Sink());
    QFileDialog *d = Dialog(u"SaveDialog1"_s);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->defaultSuffix(), u"csv"_s);
    EXPECT_EQ(d->nameFilters(),
              (QStringList{u"CSV (*.csv)"_s, u"TEXT (*.txt)"_s, u"LOG (*.log)"_s, u"ALL (*)"_s}));
    // Replacing a file is asked first.
    EXPECT_FALSE(d->testOption(QFileDialog::DontConfirmOverwrite));
    const QString path = dir.filePath(u"nodes.csv"_s);
    d->selectFile(path);
    static_cast<QDialog *>(d)->accept();
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().contains("10.0.0.5,00:11:22:33:44:55,X,"));
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(NodeListDialogs, CancellingTheOpenDialogKeepsTheTable)
{
    ShowLoadNodeListDialog(&window, nodes, Sink());
    QFileDialog *d = Dialog(u"OpenDialog1"_s);
    ASSERT_NE(d, nullptr);
    d->reject();
    ASSERT_EQ(nodes.Count(), 1);
    EXPECT_EQ(nodes.At(0).MarkOf(BroadcastColumn).Text(), u"X"_s);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(NodeListDialogs, LoadingReplacesTheNodesWithTheirMarks)
{
    const QString path = dir.filePath(u"in.csv"_s);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("title\r\n10.0.0.7,00:11:22:33:44:77,O,,,,,,,,,,note,vendor\r\n,,,,,,,,,,,,,\r\n");
    f.close();
    ShowLoadNodeListDialog(&window, nodes, Sink());
    QFileDialog *d = Dialog(u"OpenDialog1"_s);
    ASSERT_NE(d, nullptr);
    d->selectFile(path);
    static_cast<QDialog *>(d)->accept();
    ASSERT_EQ(nodes.Count(), 1);
    EXPECT_EQ(nodes.At(0).ip.ToText(), u"10.0.0.7"_s);
    EXPECT_EQ(nodes.At(0).MarkOf(BroadcastColumn).Text(), u"O"_s);
    EXPECT_EQ(nodes.At(0).comment, u"note"_s);
}

// The report holds every node with its verdict, in the format the file's
// suffix names, and cells that would break the format are escaped.
struct ReportCase
{
    const char *name;
    const char16_t *file;
    std::vector<const char *> holds;
    std::vector<const char *> lacks;
};

class ExportReport : public NodeListDialogs, public ::testing::WithParamInterface<ReportCase>
{
  protected:
    // 2026-12-08 10:00:00 and 10:05:30 UTC.
    static constexpr qint64 FirstSeen = 1796724000000;
    static constexpr qint64 LastSeen = FirstSeen + 330000;
};

TEST_P(ExportReport, WritesTheVerdictsInTheChosenFormat)
{
    const IpAddress suspect = *IpAddress::FromText(u"10.0.0.5");
    nodes.SetComment(0, u"<b>lab, \"east\"</b>"_s);
    const MacAddress mac = nodes.At(*nodes.Find(suspect)).mac;
    nodes.BeginConfirmation(suspect, mac);
    for (int i = 0; i < 5; ++i)
        nodes.CountConfirmationAnswer(suspect, i, mac);
    for (int i = ConfirmationProbeCount; i < ConfirmationBatchProbes; ++i)
        nodes.CountConfirmationAnswer(suspect, i, mac);
    nodes.SetReportedVerdict(suspect, *nodes.WeighConfirmation(suspect));
    nodes.NoteHeard(0, FirstSeen);
    nodes.NoteHeard(0, LastSeen);
    nodes.Add(*IpAddress::FromText(u"10.0.0.6"), MacAddress(), TestFlags{});
    ShowExportReportDialog(&window, nodes, Sink());
    QFileDialog *d = Dialog(u"ExportDialog"_s);
    ASSERT_NE(d, nullptr);
    EXPECT_FALSE(d->testOption(QFileDialog::DontConfirmOverwrite));
    // A scan going on meanwhile does not change what is written.
    nodes.Add(*IpAddress::FromText(u"10.0.0.99"), MacAddress(), TestFlags{});
    const QString path = dir.filePath(QString::fromUtf16(GetParam().file));
    d->selectFile(path);
    static_cast<QDialog *>(d)->accept();
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray written = f.readAll();
    for (const char *part : GetParam().holds)
        EXPECT_TRUE(written.contains(part)) << part << "\n" << written.toStdString();
    for (const char *part : GetParam().lacks)
        EXPECT_FALSE(written.contains(part)) << part;
    EXPECT_FALSE(written.contains("10.0.0.99"));
    if (QString::fromUtf16(GetParam().file).endsWith(u".json"_s)) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(written, &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError);
        const QJsonArray list = document.object().value(u"nodes"_s).toArray();
        ASSERT_EQ(list.size(), 2);
        EXPECT_EQ(list[0].toObject().value(u"verdict"_s).toString(), u"filter match"_s);
        EXPECT_EQ(list[0].toObject().value(u"confirmationAnswers"_s).toInt(), 5);
        EXPECT_EQ(list[0].toObject().value(u"comment"_s).toString(), u"<b>lab, \"east\"</b>"_s);
        EXPECT_EQ(
            QDateTime::fromString(list[0].toObject().value(u"lastSeen"_s).toString(), Qt::ISODate)
                .toMSecsSinceEpoch(),
            LastSeen);
        EXPECT_FALSE(list[1].toObject().contains(u"firstSeen"_s));
        EXPECT_EQ(list[1].toObject().value(u"verdict"_s).toString(), u"none"_s);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ExportReport,
    ::testing::Values(ReportCase{"Csv",
                                 u"report.csv",
                                 {"IP Address,MAC Address,Br,",
                                  ",Verdict,Confirmation answers,First seen,Last seen\r\n",
                                  "10.0.0.5,00:11:22:33:44:55,X,", "\"<b>lab, \"\"east\"\"</b>\"",
                                  ",filter match,5,2026-12-08T", ",none,,,\r\n"},
                                 {}},
                      ReportCase{"Json", u"report.json", {"\"verdict\": \"filter match\""}, {}},
                      ReportCase{"Html",
                                 u"report.html",
                                 {"<!DOCTYPE html>", "<tr class=\"filter-match\">",
                                  "filter match (5/192)",
                                  "&lt;b&gt;lab, &quot;east&quot;&lt;/b&gt;", "2 nodes",
                                  "<th>Last seen</th>", "<td>2026-12-08T"},
                                 {"<b>lab"}}),
    [](const auto &info) { return std::string(info.param.name); });

// A CSV report loaded as a node list comes back whole: exporting it again
// writes the same bytes. (Empty comment and vendor cells would come back as
// a blank, as from every node list.) A cell a spreadsheet would run as a
// formula is written with a leading apostrophe and read back without it.
TEST_F(NodeListDialogs, LoadedReportExportsAsItWas)
{
    const IpAddress suspect = *IpAddress::FromText(u"10.0.0.5");
    nodes.SetComment(0, u"capture box, east"_s);
    nodes.SetVendor(0, u"Realtek"_s);
    nodes.SetMark(0, BroadcastColumn + 2, Mark::Off());
    nodes.BeginConfirmation(suspect, nodes.At(0).mac);
    for (int i = 0; i < ConfirmationProbeCount; ++i)
        nodes.CountConfirmationAnswer(suspect, i, nodes.At(0).mac);
    nodes.SetReportedVerdict(suspect, ConfirmationVerdict::Confirmed);
    nodes.NoteHeard(0, 1796724000000);
    nodes.NoteHeard(0, 1796724330000);
    const int quiet = nodes.Add(*IpAddress::FromText(u"10.0.0.6"),
                                *MacAddress::FromText(u"00:11:22:33:44:66"), {});
    const QString formula = u"=HYPERLINK(\"http://x.test\",\"printer\")"_s;
    nodes.SetComment(quiet, formula);
    nodes.SetVendor(quiet, u"@Intel"_s);
    const QDateTime when = QDateTime::fromMSecsSinceEpoch(1796724400000, QTimeZone::utc());
    const QByteArray report = EncodeNodeReport(nodes, ExportFormat::Csv, when);
    EXPECT_TRUE(report.contains(",\"'=HYPERLINK(\"\"http://x.test\"\",\"\"printer\"\")\""))
        << report.toStdString();
    EXPECT_TRUE(report.contains(",'@Intel,")) << report.toStdString();
    EXPECT_FALSE(report.contains(",=")) << report.toStdString();
    const QString path = dir.filePath(u"report.csv"_s);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(report);
    f.close();

    NodeList loaded;
    ShowLoadNodeListDialog(&window, loaded, Sink());
    QFileDialog *d = Dialog(u"OpenDialog1"_s);
    ASSERT_NE(d, nullptr);
    d->selectFile(path);
    static_cast<QDialog *>(d)->accept();
    EXPECT_TRUE(messages.isEmpty());
    ASSERT_EQ(loaded.Count(), 2);
    EXPECT_EQ(loaded.ReportedVerdict(suspect), ConfirmationVerdict::Confirmed);
    EXPECT_EQ(loaded.At(1).comment, formula);
    EXPECT_EQ(EncodeNodeReport(loaded, ExportFormat::Csv, when), report);
}

TEST_F(NodeListDialogs, ExportToAnUnwritablePlaceIsReported)
{
    ShowExportReportDialog(&window, nodes, Sink());
    QFileDialog *d = Dialog(u"ExportDialog"_s);
    ASSERT_NE(d, nullptr);
    d->selectFile(dir.filePath(u"missing-folder/report.html"_s));
    static_cast<QDialog *>(d)->accept();
    EXPECT_EQ(messages.size(), 1);
}

} // namespace
