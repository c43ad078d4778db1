#pragma once

#include "config/addresstext.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace keelwatch {

struct Node;

// Starts a program with its arguments without waiting for it; false when it
// cannot be started.
using ProcessStarter = std::function<bool(const QString &program, const QStringList &arguments)>;

// The starter of the program: a detached process, no shell in between.
bool StartDetachedProcess(const QString &program, const QStringList &arguments);

// The template split into program and arguments the way a shell would quote
// them, then "$ip" and "$mac" (any letter case) replaced inside each piece.
// A cell text therefore always stays inside the argument it was put in and
// can never add a command or an argument.
QStringList ExpandCommand(const QString &commandLine, const QString &ip, const QString &mac);

// Runs the command line for a node. An empty template or no node gives
// "External Command ERROR!!!"; a program that cannot be started is told to
// the sink too.
void RunExternalCommand(const Node *node, const QString &commandLine, const ProcessStarter &start,
                        const MessageSink &sink);

} // namespace keelwatch
