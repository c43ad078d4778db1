#include "ui/nodeviewerwindow.h"

#include "support/qtprint.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

class NodeViewerForm : public testing::Test
{
  protected:
    NodeViewerForm() : form(settings)
    {
        form.SetMessageSink([this](const QString &m) { messages.append(m); });
        QFile f(LogPath());
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("\r\n### START Keelwatch\t0001\t05/Jan/2004 14:00:00\t10.0.0.1-10.0.0.9 ###\r\n"
                "05/Jan/2004 14:00:01\t10.0.0.5\t[00:11:22:33:44:55]\tBr\tON\tethernet\r\n");
    }

    QString LogPath() const { return dir.filePath(u"keelwatch.log"_s); }
    template <typename T> T *Find(const QString &name)
    {
        T *w = form.findChild<T *>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }
    void StartFollowing(const QString &ip)
    {
        form.OpenFor(ip, LogPath());
        Find<QPushButton>(u"Button1"_s)->click();
    }

    QTemporaryDir dir;
    FixedSettings settings;
    QStringList messages;
    NodeViewerWindow form;
};

TEST_F(NodeViewerForm, StartFollowsTheNodeAndLocksTheFields)
{
    StartFollowing(u" 10.0.0.5 "_s);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(form.windowTitle(), u"Node Viewer : 10.0.0.5"_s);
    auto *grid = Find<QTableView>(u"SG2"_s);
    ASSERT_EQ(grid->model()->rowCount(), 3);
    EXPECT_EQ(grid->model()->headerData(1, Qt::Horizontal).toString(), u"TIME"_s);
    EXPECT_EQ(grid->model()->index(1, 2).data().toString(), u"O"_s);
    EXPECT_EQ(grid->currentIndex().row(), 1);
    for (const char16_t *name : {u"Button1", u"Button2", u"Edit1", u"Edit2"})
        EXPECT_FALSE(Find<QWidget>(QString::fromUtf16(name))->isEnabled());

    Find<QPushButton>(u"Button4"_s)->click();
    EXPECT_FALSE(form.Viewer().IsLive());
    for (const char16_t *name : {u"Button1", u"Button2", u"Edit1", u"Edit2"})
        EXPECT_TRUE(Find<QWidget>(QString::fromUtf16(name))->isEnabled());
    EXPECT_EQ(grid->model()->rowCount(), 3);
}

TEST_F(NodeViewerForm, ColumnWidthsAndHiddenComment)
{
    form.show();
    auto *grid = Find<QTableView>(u"SG2"_s);
    // The first widths, widened alike for a larger desktop font.
    const qreal scale = grid->columnWidth(0) / 60.0;
    EXPECT_GE(scale, 1.0);
    EXPECT_GE(grid->columnWidth(1), 130 * scale - 1);
    EXPECT_NEAR(grid->columnWidth(7), 24 * scale, 1.0);
    // A date and time with the cell's margins.
    EXPECT_GE(grid->columnWidth(1),
              grid->fontMetrics().horizontalAdvance(u"06/Dec/2026 22:15:07"_s) + 12);
    EXPECT_TRUE(grid->isColumnHidden(12));
}

TEST_F(NodeViewerForm, InvalidIpIsEmptiedAndDoesNotStart)
{
    StartFollowing(u"10.0.0.500"_s);
    EXPECT_EQ(Find<QLineEdit>(u"Edit1"_s)->text(), QString());
    EXPECT_FALSE(form.Viewer().IsLive());
}

TEST_F(NodeViewerForm, OpeningWhileLiveKeepsTheFollowedNode)
{
    StartFollowing(u"10.0.0.5"_s);
    form.OpenFor(u"10.0.0.7"_s, u"other.log"_s);
    EXPECT_EQ(Find<QLineEdit>(u"Edit1"_s)->text(), u"10.0.0.5"_s);
    EXPECT_EQ(Find<QLineEdit>(u"Edit2"_s)->text(), LogPath());
}

TEST_F(NodeViewerForm, HidingStopsAndClears)
{
    StartFollowing(u"10.0.0.5"_s);
    form.hide();
    EXPECT_FALSE(form.Viewer().IsLive());
    EXPECT_EQ(Find<QTableView>(u"SG2"_s)->model()->rowCount(), 1);
    EXPECT_EQ(form.windowTitle(), u"Node Viewer"_s);
}

TEST_F(NodeViewerForm, MissingLogHidesTheWindow)
{
    form.OpenFor(u"10.0.0.5"_s, dir.filePath(u"gone.log"_s));
    ASSERT_TRUE(form.isVisible());
    Find<QPushButton>(u"Button1"_s)->click();
    EXPECT_EQ(messages, QStringList{u"No log file fount."_s});
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(Find<QPushButton>(u"Button1"_s)->isEnabled());
}

TEST_F(NodeViewerForm, FileButtonPutsTheChosenFileIntoTheField)
{
    form.show();
    Find<QPushButton>(u"Button2"_s)->click();
    auto *dialog = Find<QFileDialog>(u"OpenDialog1"_s);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->nameFilters(), (QStringList{u"LOG (*.log)"_s, u"TEXT (*.txt)"_s}));
    EXPECT_EQ(dialog->defaultSuffix(), u"log"_s);
    dialog->selectFile(LogPath());
    static_cast<QDialog *>(dialog)->accept();
    EXPECT_EQ(Find<QLineEdit>(u"Edit2"_s)->text(), LogPath());
}

} // namespace
