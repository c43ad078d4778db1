#include "ui/nodelistdialogs.h"

#include "core/nodelist.h"
#include "report/nodelistfile.h"
#include "ui/nodeexport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileDialog>

#include <array>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

QFileDialog *NodeListDialog(QWidget *parent, const QString &name, QFileDialog::AcceptMode mode)
{
    auto *dialog = new QFileDialog(parent);
    dialog->setObjectName(name);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(mode);
    dialog->setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile
                                                        : QFileDialog::ExistingFile);
    dialog->setDefaultSuffix(u"csv"_s);
    dialog->setNameFilters(
        {QCoreApplication::translate("keelwatch::NodeListDialogs", "CSV (*.csv)"),
         QCoreApplication::translate("keelwatch::NodeListDialogs", "TEXT (*.txt)"),
         QCoreApplication::translate("keelwatch::NodeListDialogs", "LOG (*.log)"),
         QCoreApplication::translate("keelwatch::NodeListDialogs", "ALL (*)")});
    dialog->selectFile(u"keelwatch.csv"_s);
    return dialog;
}

} // namespace

void ShowSaveNodeListDialog(QWidget *parent, const NodeList &nodes, const MessageSink &sink)
{
    // The table is taken before the dialog opens: a scan cannot change it
    // meanwhile, and the file holds what the user saw when choosing "Save".
    const QByteArray content = EncodeNodeList(nodes);
    QFileDialog *dialog = NodeListDialog(parent, u"SaveDialog1"_s, QFileDialog::AcceptSave);
    QObject::connect(dialog, &QFileDialog::fileSelected, dialog,
                     [content, sink](const QString &path) {
                         if (const QString error = WriteNodeList(path, content); !error.isEmpty())
                             sink(error);
                     });
    dialog->open();
}

void ShowExportReportDialog(QWidget *parent, const NodeList &nodes, const MessageSink &sink)
{
    // Taken now in every format, as the node list is saved.
    const QDateTime now = QDateTime::currentDateTime();
    const std::array<QByteArray, 3> reports = {EncodeNodeReport(nodes, ExportFormat::Csv, now),
                                               EncodeNodeReport(nodes, ExportFormat::Json, now),
                                               EncodeNodeReport(nodes, ExportFormat::Html, now)};
    auto *dialog = new QFileDialog(parent);
    dialog->setObjectName(u"ExportDialog"_s);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    const QStringList filters = {
        QCoreApplication::translate("keelwatch::NodeListDialogs", "CSV with verdicts (*.csv)"),
        QCoreApplication::translate("keelwatch::NodeListDialogs", "JSON (*.json)"),
        QCoreApplication::translate("keelwatch::NodeListDialogs", "HTML report (*.html)")};
    const QStringList suffixes = {u"csv"_s, u"json"_s, u"html"_s};
    dialog->setNameFilters(filters);
    dialog->setDefaultSuffix(suffixes[0]);
    dialog->selectFile(u"keelwatch-report.csv"_s);
    // A name typed without a suffix gets the chosen format's.
    QObject::connect(dialog, &QFileDialog::filterSelected, dialog,
                     [dialog, filters, suffixes](const QString &filter) {
                         const qsizetype chosen = filters.indexOf(filter);
                         if (chosen >= 0)
                             dialog->setDefaultSuffix(suffixes[chosen]);
                     });
    QObject::connect(dialog, &QFileDialog::fileSelected, dialog,
                     [reports, sink](const QString &path) {
                         const QByteArray &content = reports[size_t(ExportFormatOf(path))];
                         if (const QString error = WriteNodeList(path, content); !error.isEmpty())
                             sink(error);
                     });
    dialog->open();
}

void ShowLoadNodeListDialog(QWidget *parent, NodeList &nodes, const MessageSink &sink)
{
    QFileDialog *dialog = NodeListDialog(parent, u"OpenDialog1"_s, QFileDialog::AcceptOpen);
    QObject::connect(dialog, &QFileDialog::fileSelected, dialog,
                     [&nodes, sink](const QString &path) {
                         if (const QString error = LoadNodeList(path, nodes); !error.isEmpty())
                             sink(error);
                     });
    dialog->open();
}

} // namespace keelwatch
