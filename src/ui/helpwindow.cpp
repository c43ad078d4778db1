#include "ui/helpwindow.h"

#include "config/testaddresses.h"
#include "scan/confirmationprobes.h"

#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace keelwatch {

QString HelpPage()
{
    QString tests;
    for (const TestAddress &test : TestAddresses) {
        const QString destination = *test.destination
                                        ? QString::fromUtf16(test.destination).replace(u' ', u':')
                                        : u"the address given in Setup"_s;
        tests += u"<tr><td><b>%1</b></td><td>%2</td><td>%3</td></tr>\n"_s.arg(
            QString::fromUtf16(test.label), destination,
            test.correct ? u"answers"_s : u"drops it; an answer points to promiscuous mode"_s);
    }
    return u"<h1>Keelwatch</h1>\n"
           u"<p>Keelwatch sends ARP requests for every address of the range to test "
           u"destination addresses that a network card in normal mode drops in hardware. A "
           u"card in promiscuous mode passes them up, and its host answers: such a host may be "
           u"running a packet sniffer.</p>\n"
           u"<h2><a name=\"marks\"></a>Result marks</h2>\n<table>\n"
           u"<tr><td><b>X</b></td><td>Illegal response (Ethernet): the node answered a test "
           u"address a normal card drops</td></tr>\n"
           u"<tr><td><b>x</b></td><td>Illegal response (IEEE 802.3 frames)</td></tr>\n"
           u"<tr><td><b>O</b></td><td>Correct response (Ethernet)</td></tr>\n"
           u"<tr><td><b>o</b></td><td>Correct response (IEEE 802.3 frames)</td></tr>\n"
           u"<tr><td><b>+</b></td><td>Before a mark: the answer came in an earlier cycle, not "
           u"this one</td></tr>\n"
           u"<tr><td>(blank)</td><td>No answer</td></tr>\n"
           u"<tr><td><b>-</b></td><td>The test is switched off in Setup</td></tr>\n</table>\n"
           u"<p>A node that answers Br and gives an X or x is a suspect; \"Suspects only\" "
           u"shows just those.</p>\n"
           u"<h2><a name=\"colours\"></a>Row colours</h2>\n"
           u"<p><b>Red</b>: a suspect confirmed as promiscuous by the confirmation probes. "
           u"<b>Amber</b>: a suspect that answered too few of them, most likely a coincidence of "
           u"the card's multicast hash filter rather than a sniffer. A selected coloured row "
           u"keeps its colour inside a band of the selection colour.</p>\n"
           u"<h2><a name=\"tests\"></a>Test addresses</h2>\n"
           u"<table>\n<tr><th>Column</th><th>Destination MAC</th><th>A card in normal mode"
           u"</th></tr>\n"_s +
           tests +
           u"</table>\n"
           u"<h2><a name=\"verdicts\"></a>Verdicts</h2>\n"
           u"<p>With \"Confirm suspects\" on, every suspect gets %1 further probes in each "
           u"cycle to group addresses drawn afresh, and %2 to its own MAC, which every card "
           u"answers. A node that answers the group addresses as often as its own MAC, cycle "
           u"after cycle, is <b>confirmed</b> (red); one that answers clearly fewer is a "
           u"<b>filter match</b> (amber); until the evidence is clear the row stays as it "
           u"was. The row's tooltip tells how many of the last cycle's group probes it "
           u"answered; File, Export report writes the verdicts as CSV, JSON or HTML.</p>\n"
           u"<h2><a name=\"keys\"></a>Keys</h2>\n<table>\n"
           u"<tr><td>F1</td><td>This help</td></tr>\n"
           u"<tr><td>Ctrl+S / Ctrl+O</td><td>Save / load the node list</td></tr>\n"
           u"<tr><td>Ctrl+Q</td><td>Exit</td></tr>\n"
           u"<tr><td>Ctrl+C / Ctrl+Shift+C</td><td>Copy the selected rows / as node list "
           u"lines</td></tr>\n"
           u"<tr><td>Menu key, Shift+F10</td><td>The node's pop-up menu</td></tr>\n"
           u"<tr><td>Shift+Clear</td><td>Remove every node (asks first)</td></tr>\n"
           u"<tr><td>Ctrl+Z in the alert window</td><td>Undo Clear, until the next "
           u"alert</td></tr>\n</table>\n"_s.arg(ConfirmationProbeCount)
               .arg(ConfirmationControlCount);
}

HelpWindow::HelpWindow(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"HelpWindow"_s);
    setWindowTitle(u"Keelwatch Help"_s);
    page = new QTextBrowser(this);
    page->setObjectName(u"HelpText"_s);
    page->setOpenLinks(false);
    page->setHtml(HelpPage());
    auto *closeButton = new QPushButton(u"&Close"_s, this);
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
