#include "report/externalcommand.h"

#include "core/node.h"

#include <QProcess>

using namespace Qt::StringLiterals;

namespace keelwatch {

bool StartDetachedProcess(const QString &program, const QStringList &arguments)
{
    return QProcess::startDetached(program, arguments);
}

QStringList ExpandCommand(const QString &commandLine, const QString &ip, const QString &mac)
{
    QStringList pieces = QProcess::splitCommand(commandLine);
    for (QString &piece : pieces) {
        piece.replace(u"$ip"_s, ip, Qt::CaseInsensitive);
        piece.replace(u"$mac"_s, mac, Qt::CaseInsensitive);
    }
    return pieces;
}

void RunExternalCommand(const Node *node, const QString &commandLine, const ProcessStarter &start,
                        const MessageSink &sink)
{
    const QString ip = node ? node->ip.ToText() : QString();
    const QString mac = node ? node->mac.ToText() : QString();
    const QString command = commandLine.trimmed();
    if (ip.isEmpty() || mac.isEmpty() || command.isEmpty()) {
        sink(u"External Command ERROR!!!"_s);
        return;
    }
    QStringList pieces = ExpandCommand(command, ip, mac);
    if (pieces.isEmpty()) {
        sink(u"External Command ERROR!!!"_s);
        return;
    }
    const QString program = pieces.takeFirst();
    if (!start(program, pieces))
        sink(u"Cannot start the external command %1."_s.arg(program));
}

} // namespace keelwatch
