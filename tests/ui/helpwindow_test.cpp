#include "config/testaddresses.h"
#include "support/find.h"
#include "ui/helpwindow.h"
#include "ui/mainwindow.h"

#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>
#include <gtest/gtest.h>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

class HelpSection : public ::testing::TestWithParam<const char *>
{
};

// Every section the menus open is on the page, and showing it scrolls there.
TEST_P(HelpSection, IsOnThePageAndShown)
{
    HelpWindow help;
    const QString section = QString::fromLatin1(GetParam());
    auto *page = Find<QTextBrowser>(help, "HelpText");
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(page->toHtml().contains(u"name=\""_s + section + u'"')) << GetParam();
    help.ShowSection(section);
    EXPECT_TRUE(help.isVisible());
    EXPECT_FALSE(help.isModal());
}

INSTANTIATE_TEST_SUITE_P(Sections, HelpSection, ::testing::ValuesIn(HelpWindow::Sections));

TEST(HelpPage, ExplainsEveryTestColumn)
{
    const QString page = HelpPage();
    for (const TestAddress &test : TestAddresses)
        EXPECT_TRUE(page.contains(u"<b>"_s + QString::fromUtf16(test.label) + u"</b>"_s))
            << QString::fromUtf16(test.label).toStdString();
}

// F1 opens the page at its top; every Result Marks entry at the marks.
TEST(HelpRequests, ComeFromF1AndTheResultMarks)
{
    NodeList nodes;
    MainWindow form(nodes);
    QSignalSpy asked(&form, &MainWindow::helpRequested);
    auto *contents = Find<QAction>(form, "HelpContents");
    EXPECT_EQ(contents->shortcut(), QKeySequence(QKeySequence::HelpContents));
    contents->trigger();
    const QList<QAction *> marks = Find<QMenu>(form, "ResultMarks1")->actions();
    for (QAction *mark : marks)
        mark->trigger();
    ASSERT_EQ(asked.size(), marks.size() + 1);
    EXPECT_EQ(asked[0][0].toString(), QString());
    for (qsizetype i = 1; i < asked.size(); ++i)
        EXPECT_EQ(asked[i][0].toString(), u"marks"_s);
}

} // namespace
