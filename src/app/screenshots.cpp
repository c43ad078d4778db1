// Renders every window offscreen into PNG files, so the layout can be looked
// at without a display: keelwatch_screenshots OUTPUT_FOLDER

#include "app/startup.h"
#include "core/nodetable.h"
#include "ui/aboutbox.h"
#include "ui/mainwindow.h"
#include "ui/setupdialog.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>

#include <cstdio>

using namespace Qt::StringLiterals;
using namespace keelwatch;

namespace {

void FillSampleNodes(TForm1 &form1, const TForm2 &form2)
{
    struct Sample
    {
        const char16_t *ip;
        const char16_t *mac;
        const char16_t *marks; // one letter per result column, blank for none
        const char16_t *comment;
    };
    const Sample samples[] = {
        {u"10.77.0.1", u"02:4B:57:00:00:01", u"O     O   ", u"gateway"},
        {u"10.77.0.12", u"02:4B:57:00:00:0C", u"OXXXX     ", u"capture box"},
        {u"10.77.0.20", u"02:4B:57:00:00:14", u"O         ", u""},
        {u"10.77.0.31", u"02:4B:57:00:00:1F", u"OX        ", u"lab host"},
    };
    NodeTable &nodes = form1.Nodes();
    const Settings settings = form2.Read();
    for (const Sample &sample : samples) {
        const int row = nodes.AddNodeRow(QString::fromUtf16(sample.ip),
                                         QString::fromUtf16(sample.mac), settings.tests);
        const QString marks = QString::fromUtf16(sample.marks);
        for (int i = 0; i < marks.size(); ++i) {
            if (marks[i] != u' ')
                nodes.MergeMark(row, FirstResultColumn + i, QString(marks[i]));
        }
        nodes.SetCell(row, NodeTable::CommentColumn, QString::fromUtf16(sample.comment));
        nodes.SetCell(row, NodeTable::VendorColumn, u"unknown"_s);
    }
    form1.Edit1->setText(u"10.77.0.1"_s);
    form1.Edit2->setText(u"10.77.0.254"_s);
    form1.Memo1->appendPlainText(
        u"06/Dec/2026 22:15:07\t10.77.0.12\t[02:4B:57:00:00:0C]\tB47\tON\tethernet"_s);
    form1.Memo1->appendPlainText(
        u"06/Dec/2026 22:15:12\t10.77.0.12\t[02:4B:57:00:00:0C]\tB47\tPROMISC SUSPECT"_s);
    form1.SetPanelText(0, u"READY"_s);
    form1.ShowScanMode(settings);
    form1.SetPanelText(7, u"libpcap"_s);
}

bool Save(QWidget *window, const QDir &folder, const QString &name)
{
    window->show();
    QApplication::processEvents();
    const QString path = folder.filePath(name);
    if (!window->grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The windows show their defaults, not the settings of whoever runs this.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Keelwatch"_s);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() != 2) {
        std::fputs("usage: keelwatch_screenshots OUTPUT_FOLDER\n", stderr);
        return 2;
    }
    QDir folder(arguments[1]);
    if (!folder.mkpath(u"."_s)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(arguments[1]));
        return 1;
    }

    Startup startup({});
    startup.Form2().SetAdapterItems({u"10.77.0.100 : kw-scan"_s, u"192.168.1.4 : eth0"_s});
    startup.Form2().CB1->setCurrentIndex(0);
    startup.Form2().Edit1->setText(u"10.77.0.100"_s);
    FillSampleNodes(startup.Form1(), startup.Form2());

    const bool saved = Save(&startup.Form1(), folder, u"main-window.png"_s) &&
                       Save(&startup.Form2(), folder, u"setup.png"_s) &&
                       Save(&startup.Form6(), folder, u"about.png"_s);
    return saved ? 0 : 1;
}
