#include "ui/nodelistdialogs.h"

#include "core/nodelist.h"
#include "report/nodelistfile.h"

#include <QFileDialog>

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
    // Replacing a node list is what saving is for.
    dialog->setOption(QFileDialog::DontConfirmOverwrite);
    dialog->setDefaultSuffix(u"csv"_s);
    dialog->setNameFilters({u"CSV (*.csv)"_s, u"TEXT (*.txt)"_s, u"LOG (*.log)"_s, u"ALL (*)"_s});
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
