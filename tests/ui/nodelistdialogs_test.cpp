#include "ui/nodelistdialogs.h"

#include "core/nodelist.h"
#include "support/qtprint.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QWidget>

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
    EXPECT_TRUE(d->testOption(QFileDialog::DontConfirmOverwrite));
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

TEST_F(NodeListDialogs, LoadingReplacesTheNodesAndClearsMarks)
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
    EXPECT_EQ(nodes.At(0).MarkOf(BroadcastColumn), Mark());
    EXPECT_EQ(nodes.At(0).comment, u"note"_s);
}

} // namespace
