#include "ui/helpwindow.h"

#include "config/testaddresses.h"
#include "scan/confirmationprobes.h"

#include <QPushButton>
#include <QTextBrowser>
#include <QTextDocument>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

QString Row(const QString &key, const QString &text)
{
    return u"<tr><td>"_s + key + u"</td><td>"_s + text + u"</td></tr>\n"_s;
}

QString BoldRow(const QString &key, const QString &text)
{
    return Row(u"<b>"_s + key + u"</b>"_s, text);
}

} // namespace

QString HelpPage()
{
    QString tests;
    for (const TestAddress &test : TestAddresses) {
        const QString destination = *test.destination
                                        ? QString::fromUtf16(test.destination).replace(u' ', u':')
                                        : HelpWindow::tr("the address given in Setup");
        tests += u"<tr><td><b>%1</b></td><td>%2</td><td>%3</td></tr>\n"_s.arg(
            QString::fromUtf16(test.label), destination,
            test.correct ? HelpWindow::tr("answers")
                         : HelpWindow::tr("drops it; an answer points to promiscuous mode"));
    }
    return u"<h1>Keelwatch</h1>\n<p>"_s +
           HelpWindow::tr("Keelwatch sends ARP requests for every address of the range to test "
                          "destination addresses that a network card in normal mode drops in "
                          "hardware. A card in promiscuous mode passes them up, and its host "
                          "answers: such a host may be running a packet sniffer.") +
           u"</p>\n<h2><a name=\"marks\"></a>"_s + HelpWindow::tr("Result marks") +
           u"</h2>\n<table>\n"_s +
           BoldRow(u"X"_s, HelpWindow::tr("Illegal response (Ethernet): the node answered a test "
                                          "address a normal card drops")) +
           BoldRow(u"x"_s, HelpWindow::tr("Illegal response (IEEE 802.3 frames)")) +
           BoldRow(u"O"_s, HelpWindow::tr("Correct response (Ethernet)")) +
           BoldRow(u"o"_s, HelpWindow::tr("Correct response (IEEE 802.3 frames)")) +
           BoldRow(u"+"_s, HelpWindow::tr("Before a mark: the answer came in an earlier cycle, "
                                          "not this one")) +
           Row(HelpWindow::tr("(blank)"), HelpWindow::tr("No answer")) +
           BoldRow(u"-"_s, HelpWindow::tr("The test is switched off in Setup")) +
           u"</table>\n<p>"_s +
           HelpWindow::tr("A node that answers Br and gives an X or x is a suspect; \"Suspects "
                          "only\" shows just those.") +
           u"</p>\n<h2><a name=\"colours\"></a>"_s + HelpWindow::tr("Row colours") +
           u"</h2>\n<p>"_s +
           HelpWindow::tr("<b>Red</b>: a suspect confirmed as promiscuous by the confirmation "
                          "probes. <b>Amber</b>: a suspect that answered too few of them, most "
                          "likely a coincidence of the card's multicast hash filter rather than a "
                          "sniffer. A selected coloured row keeps its colour inside a band of the "
                          "selection colour.") +
           u"</p>\n<h2><a name=\"tests\"></a>"_s + HelpWindow::tr("Test addresses") +
           u"</h2>\n<table>\n<tr><th>"_s + HelpWindow::tr("Column") + u"</th><th>"_s +
           HelpWindow::tr("Destination MAC") + u"</th><th>"_s +
           HelpWindow::tr("A card in normal mode") + u"</th></tr>\n"_s + tests +
           u"</table>\n<h2><a name=\"verdicts\"></a>"_s + HelpWindow::tr("Verdicts") +
           u"</h2>\n<p>"_s +
           HelpWindow::tr("With \"Confirm suspects\" on, every suspect gets %1 further probes in "
                          "each cycle to group addresses drawn afresh, and %2 to its own MAC, "
                          "which every card answers. A node that answers the group addresses as "
                          "often as its own MAC, cycle after cycle, is <b>confirmed</b> (red); one "
                          "that answers clearly fewer is a <b>filter match</b> (amber); until the "
                          "evidence is clear the row stays as it was. The row's tooltip tells how "
                          "many of the last cycle's group probes it answered; File, Export report "
                          "writes the verdicts as CSV, JSON or HTML.")
               .arg(ConfirmationProbeCount)
               .arg(ConfirmationControlCount) +
           u"</p>\n<h2><a name=\"keys\"></a>"_s + HelpWindow::tr("Keys") + u"</h2>\n<table>\n"_s +
           Row(u"F1"_s, HelpWindow::tr("This help")) +
           Row(HelpWindow::tr("Ctrl+S / Ctrl+O"), HelpWindow::tr("Save / load the node list")) +
           Row(HelpWindow::tr("Ctrl+Q"), HelpWindow::tr("Exit")) +
           Row(HelpWindow::tr("Ctrl+C / Ctrl+Shift+C"),
               HelpWindow::tr("Copy the selected rows / as node list lines")) +
           Row(HelpWindow::tr("Menu key, Shift+F10"), HelpWindow::tr("The node's pop-up menu")) +
           Row(HelpWindow::tr("Shift+Clear"), HelpWindow::tr("Remove every node (asks first)")) +
           Row(HelpWindow::tr("Ctrl+Z in the alert window"),
               HelpWindow::tr("Undo Clear, until the next alert")) +
           u"</table>\n"_s;
}

HelpWindow::HelpWindow(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"HelpWindow"_s);
    setWindowTitle(tr("Keelwatch Help"));
    page = new QTextBrowser(this);
    page->setObjectName(u"HelpText"_s);
    page->setOpenLinks(false);
    // Table columns apart and titles over their columns' left edge, so a
    // long cell does not run into the next one.
    page->document()->setDefaultStyleSheet(
        u"th { text-align: left; } th, td { padding: 1px 12px 1px 0px; }"_s);
    page->setHtml(HelpPage());
    auto *closeButton = new QPushButton(tr("&Close"), this);
    closeButton->setObjectName(u"HelpClose"_s);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::hide);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(page, 1);
    layout->addWidget(closeButton, 0, Qt::AlignRight);
    resize(fontMetrics().averageCharWidth() * 90, fontMetrics().lineSpacing() * 32);
}

void HelpWindow::ShowSection(const QString &section)
{
    show();
    raise();
    activateWindow();
    if (section.isEmpty())
        page->moveCursor(QTextCursor::Start);
    else
        page->scrollToAnchor(section);
}

} // namespace keelwatch
