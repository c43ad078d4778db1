#include "app/startup.h"
#include "app/translations.h"
#include "support/confighome.h"
#include "support/memorydriver.h"
#include "ui/aboutbox.h"
#include "ui/alertmessagewindow.h"
#include "ui/commenteditor.h"
#include "ui/mainwindow.h"
#include "ui/nodeviewerwindow.h"
#include "ui/promiscuousalertwindow.h"
#include "ui/setupdialog.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

[[maybe_unused]] ConfigHome *const configHome = RegisterConfigHome();

// The scale is fixed when the application starts, so each scale runs in a
// child process of this test program; so does each language, taken from the
// child's locale as the program takes it.
constexpr char ChildVariable[] = "KEELWATCH_LAYOUT_CHILD";

// Controls that show text or take input; scroll bars, headers and the like
// are sized by their parents and left out.
bool Control(const QWidget *widget)
{
    return qobject_cast<const QAbstractButton *>(widget) ||
           qobject_cast<const QLineEdit *>(widget) || qobject_cast<const QComboBox *>(widget) ||
           qobject_cast<const QLabel *>(widget) || qobject_cast<const QGroupBox *>(widget);
}

// Where a control must lie: inside the contents of the scroll area that
// holds it (they scroll into view), else inside its window.
QWidget *Frame(QWidget *widget, QWidget &window)
{
    for (QWidget *parent = widget->parentWidget(); parent && parent != &window;
         parent = parent->parentWidget()) {
        const auto *scroller = qobject_cast<const QScrollArea *>(parent);
        if (scroller && scroller->widget() && scroller->widget()->isAncestorOf(widget))
            return scroller->widget();
    }
    return &window;
}

// What clips in a window: a visible control smaller than its minimum size
// hint, or one reaching past the window's edge.
QStringList Clipped(QWidget &window)
{
    QStringList faults;
    for (QWidget *widget : window.findChildren<QWidget *>()) {
        if (!Control(widget) || !widget->isVisibleTo(&window) || widget->window() != &window ||
            qobject_cast<const QComboBox *>(widget->parentWidget()))
            continue; // a combo box sizes its own line edit
        const QString name = window.objectName() + u'/' +
                             QString::fromLatin1(widget->metaObject()->className()) + u' ' +
                             widget->objectName();
        const QSize hint = widget->minimumSizeHint();
        if (hint.isValid() && (widget->width() < hint.width() || widget->height() < hint.height()))
            faults.append(name + u" is %1x%2, needs %3x%4"_s.arg(widget->width())
                                     .arg(widget->height())
                                     .arg(hint.width())
                                     .arg(hint.height()));
        QWidget *frame = Frame(widget, window);
        const QRect placed(widget->mapTo(frame, QPoint(0, 0)), widget->size());
        if (!frame->rect().contains(placed))
            faults.append(name + u" lies outside its window"_s);
    }
    return faults;
}

// Runs in the child: every window as a user first sees it, with the
// longest texts its panels and fields take.
TEST(WindowLayoutChild, EveryControlFitsItsWindow)
{
    if (qEnvironmentVariableIsEmpty(ChildVariable))
        GTEST_SKIP() << "runs as a child of WindowLayout.FitsAtScale";
    auto driver = std::make_shared<MemoryDriver>();
    driver->version = u"libpcap version 1.10.3 (with TPACKET_V3)"_s;
    driver->nameBuffer = AdapterNameBuffer({u"enp0s31f6"_s, u"wlp2s0"_s});
    driver->addresses = {{"enp0s31f6", 0xC0A80A0A}, {"wlp2s0", 0x0A4D0001}};
    const Translations translations(QLocale::system());
    EXPECT_EQ(translations.ProgramTranslated(), QLocale::system().language() == QLocale::German);
    Startup startup({}, QString(), driver);
    MainWindow &main = startup.Main();
    main.SetPanelText(0, QCoreApplication::translate("keelwatch::ScanWindows", "READY"));
    main.SetPanelText(1, QCoreApplication::translate("keelwatch::ScanMode", "List & Cyclic"));
    main.SetPanelText(2, QCoreApplication::translate("keelwatch::ScanWindows", "Finding Nodes"));
    main.SetPanelText(6, QCoreApplication::translate("keelwatch::ScanWindows", "Capture Error"));
    startup.AlertMessage().ShowAlertMessage(
        u"Back up ERROR!!!\r\nCannot rename log file\r\nCurrent file will be used as is"_s);
    startup.CommentEditorWin().OpenFor(u"255.255.255.255"_s);
    startup.NodeViewerWin().OpenFor(u"255.255.255.255"_s, u"keelwatch.log"_s);

    QList<QWidget *> windows = {&main,
                                &startup.Setup(),
                                &startup.About(),
                                &startup.AlertMessage(),
                                &startup.NodeViewerWin(),
                                &startup.CommentEditorWin(),
                                &startup.PromiscuousAlert()};
    for (QWidget *window : windows) {
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window)) << window->objectName().toStdString();
    }
    QCoreApplication::processEvents();
    for (QWidget *window : windows) {
        const QStringList faults = Clipped(*window);
        EXPECT_TRUE(faults.isEmpty()) << faults.join(u'\n').toStdString();
    }
    // The first window shows every column of the grid.
    const auto *grid = main.findChild<QAbstractScrollArea *>(u"SG"_s);
    ASSERT_NE(grid, nullptr);
    EXPECT_FALSE(grid->horizontalScrollBar()->isVisible());
}

struct LayoutCase
{
    const char *name;
    const char *scale;
    const char *locale;
};

class WindowLayout : public testing::TestWithParam<LayoutCase>
{
};

TEST_P(WindowLayout, FitsAtScale)
{
    if (!qEnvironmentVariableIsEmpty(ChildVariable))
        GTEST_SKIP() << "the child runs the windows only";
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(ChildVariable), u"1"_s);
    environment.insert(u"QT_SCALE_FACTOR"_s, QString::fromLatin1(GetParam().scale));
    for (const QString &variable : {u"LC_ALL"_s, u"LANG"_s})
        environment.insert(variable, QString::fromLatin1(GetParam().locale));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {u"--gtest_filter=WindowLayoutChild.*"_s});
    ASSERT_TRUE(child.waitForFinished(120000));
    const QByteArray output = child.readAll();
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Scales, WindowLayout,
                         testing::Values(LayoutCase{"x1", "1", "C.UTF-8"},
                                         LayoutCase{"x2", "2", "C.UTF-8"},
                                         LayoutCase{"x1German", "1", "de_DE.UTF-8"},
                                         LayoutCase{"x2German", "2", "de_DE.UTF-8"}),
                         [](const testing::TestParamInfo<LayoutCase> &info) {
                             return std::string(info.param.name);
                         });

} // namespace
