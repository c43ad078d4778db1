#include "report/externalcommand.h"

#include "config/spawnattributes.h"
#include "core/node.h"

#include <QCoreApplication>
#include <QProcess>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>
#include <vector>

extern char **environ;

using namespace Qt::StringLiterals;

namespace keelwatch {

bool StartDetachedProcess(const QString &program, const QStringList &arguments)
{
    std::vector<QByteArray> pieces{program.toLocal8Bit()};
    for (const QString &argument : arguments)
        pieces.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &piece : pieces)
        argv.push_back(piece.data());
    argv.push_back(nullptr);
    // Only stdin, stdout and stderr reach the command: no socket of a scan
    // or descriptor of the windows, even one opened without close-on-exec.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    // A session of its own, so that it outlives the program as any detached
    // process does.
    const SpawnAttributes attributes(POSIX_SPAWN_SETSID);
    pid_t pid = 0;
    const int status =
        posix_spawnp(&pid, argv[0], &actions, attributes.Get(), argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (status != 0)
        return false;
    // Reaped when it ends, so that no zombie stays behind.
    std::thread([pid] {
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
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
        sink(QString::fromUtf8(QT_TRANSLATE_NOOP("MessageSink", "External Command ERROR!!!")));
        return;
    }
    QStringList pieces = ExpandCommand(command, ip, mac);
    if (pieces.isEmpty()) {
        sink(QString::fromUtf8(QT_TRANSLATE_NOOP("MessageSink", "External Command ERROR!!!")));
        return;
    }
    const QString program = pieces.takeFirst();
    if (!start(program, pieces))
        sink(QCoreApplication::translate("ExternalCommand", "Cannot start the external command %1.")
                 .arg(program));
}

} // namespace keelwatch
