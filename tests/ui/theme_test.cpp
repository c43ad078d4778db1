#include "core/nodecolumns.h"
#include "support/find.h"
#include "ui/logo.h"
#include "ui/mainwindow.h"
#include "ui/themecolours.h"

#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPixmap>
#include <QStyle>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>
#include <map>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

const TestFlags AllOn{true, true, true, true, true, true, true, true, true, true};

// Relative luminance and contrast ratio as the accessibility guidelines
// define them; 4.5 is their least for body text.
double Luminance(const QColor &colour)
{
    const auto linear = [](double channel) {
        return channel <= 0.03928 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) +
           0.0722 * linear(colour.blueF());
}

double Contrast(const QColor &a, const QColor &b)
{
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

struct Painted
{
    QColor background; // the commonest colour of the area
    QColor ink;        // the colour that stands out most from it: the text's core
};

Painted ReadArea(const QImage &image, const QRect &area)
{
    std::map<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x)
            ++counts[image.pixel(x, y)];
    }
    QRgb commonest = 0;
    int most = 0;
    for (const auto &[colour, count] : counts) {
        if (count > most) {
            most = count;
            commonest = colour;
        }
    }
    Painted painted{QColor(commonest), QColor(commonest)};
    for (const auto &[colour, count] : counts) {
        if (Contrast(QColor(colour), painted.background) >
            Contrast(painted.ink, painted.background))
            painted.ink = QColor(colour);
    }
    return painted;
}

struct ThemeCase
{
    const char *name;
    bool dark;
    int answers; // confirmation answers of the node in row 1; -1: none
    bool selected;
};

class ThemedGrid : public ::testing::TestWithParam<ThemeCase>
{
  protected:
    void SetUp() override
    {
        saved = QApplication::palette();
        QApplication::setPalette(GetParam().dark ? AdwaitaDarkPalette()
                                                 : QApplication::style()->standardPalette());
    }
    void TearDown() override { QApplication::setPalette(saved); }

    QPalette saved;
};

// The column titles and a node's row read in light and dark themes, red and
// amber rows too, and a selected verdict row keeps its colour.
TEST_P(ThemedGrid, TitlesAndRowsHaveReadableContrast)
{
    const ThemeCase &theme = GetParam();
    NodeList nodes;
    nodes.Add(*IpAddress::FromText(u"10.77.0.5"), MacAddress(), AllOn);
    const IpAddress suspect = *IpAddress::FromText(u"10.77.0.88");
    nodes.Add(suspect, MacAddress(), AllOn);
    if (theme.answers >= 0) {
        nodes.BeginConfirmation(suspect, MacAddress());
        for (int i = 0; i < theme.answers; ++i)
            nodes.CountConfirmationAnswer(suspect, i, MacAddress());
        for (int i = ConfirmationProbeCount; i < ConfirmationBatchProbes; ++i)
            nodes.CountConfirmationAnswer(suspect, i, MacAddress());
        if (const auto verdict = nodes.WeighConfirmation(suspect))
            nodes.SetReportedVerdict(suspect, *verdict);
    }
    MainWindow form(nodes);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    auto *grid = Find<QTableView>(form, "SG");
    if (theme.selected)
        form.ShowNode(1);
    else
        grid->selectionModel()->clear();
    QCoreApplication::processEvents();

    QHeaderView *header = grid->horizontalHeader();
    const QImage titles = header->grab().toImage();
    const int section = header->sectionViewportPosition(NodeColumn::Ip);
    const Painted title = ReadArea(
        titles, QRect(section + 1, 1, header->sectionSize(NodeColumn::Ip) - 2, header->height() - 2)
                    .intersected(titles.rect()));
    EXPECT_GE(Contrast(title.ink, title.background), 4.5)
        << "title " << title.ink.name().toStdString() << " on "
        << title.background.name().toStdString();

    const QImage rows = grid->viewport()->grab().toImage();
    const QRect cell = grid->visualRect(grid->model()->index(1, NodeColumn::Ip));
    // The middle of the cell: a selection band runs along its edges.
    const Painted row = ReadArea(rows, cell.adjusted(1, cell.height() / 4, -1, -cell.height() / 4));
    EXPECT_GE(Contrast(row.ink, row.background), 4.5)
        << "row " << row.ink.name().toStdString() << " on " << row.background.name().toStdString();
    if (theme.answers > 0) {
        // Red or amber, however the row is selected.
        EXPECT_LE(row.background.hslHue(), 45) << row.background.name().toStdString();
        EXPECT_GE(row.background.hslSaturation(), 128) << row.background.name().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Themes, ThemedGrid,
    ::testing::Values(ThemeCase{"DarkPlain", true, -1, false},
                      ThemeCase{"DarkAmber", true, 5, false},
                      ThemeCase{"DarkRed", true, ConfirmationProbeCount, false},
                      ThemeCase{"DarkAmberSelected", true, 5, true},
                      ThemeCase{"DarkRedSelected", true, ConfirmationProbeCount, true},
                      ThemeCase{"LightPlain", false, -1, false},
                      ThemeCase{"LightAmber", false, 5, false},
                      ThemeCase{"LightRedSelected", false, ConfirmationProbeCount, true}),
    [](const auto &info) { return std::string(info.param.name); });

class ThemedControls : public ::testing::TestWithParam<bool>
{
  protected:
    void SetUp() override
    {
        saved = QApplication::palette();
        QApplication::setPalette(GetParam() ? AdwaitaDarkPalette()
                                            : QApplication::style()->standardPalette());
    }
    void TearDown() override { QApplication::setPalette(saved); }

    QPalette saved;
};

// A switched-off field (the range during a scan) is told from a live one at
// a glance: its text is plainly fainter, yet still readable.
TEST_P(ThemedControls, SwitchedOffTextIsFainterThanLiveText)
{
    const auto textOf = [](bool enabled) {
        QLineEdit field(u"10.77.0.11"_s);
        field.setEnabled(enabled);
        field.resize(120, 28);
        const QImage image = field.grab().toImage();
        return ReadArea(image, image.rect().adjusted(4, 6, -4, -6));
    };
    const Painted live = textOf(true);
    const Painted off = textOf(false);
    const double liveContrast = Contrast(live.ink, live.background);
    const double offContrast = Contrast(off.ink, off.background);
    EXPECT_GE(liveContrast, 1.5 * offContrast)
        << live.ink.name().toStdString() << " vs " << off.ink.name().toStdString();
    EXPECT_GE(offContrast, 1.5);
}

// The logo's hull stands out from the window it is drawn on, and the logo
// has a device pixel for each of the screen's, so it stays sharp at 2x.
TEST_P(ThemedControls, LogoHullStandsOutAndIsSharpWhenScaled)
{
    const QColor window = QApplication::palette().color(QPalette::Window);
    for (const qreal ratio : {1.0, 2.0}) {
        const QPixmap logo = DrawLogo(IsDark(QApplication::palette()), ratio);
        EXPECT_EQ(logo.deviceIndependentSize().toSize(), QSize(173, 49));
        EXPECT_EQ(logo.size(), QSize(qRound(173 * ratio), qRound(49 * ratio)));
        // The middle of the hull.
        const QColor hull = logo.toImage().pixelColor(qRound(24 * ratio), qRound(25 * ratio));
        EXPECT_GE(Contrast(hull, window), 3.0) << hull.name().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Themes, ThemedControls, ::testing::Values(false, true),
                         [](const auto &info) { return info.param ? "Dark" : "Light"; });

} // namespace
