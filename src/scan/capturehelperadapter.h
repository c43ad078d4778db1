#pragma once

#include "scan/packetdriver.h"

#include <sys/types.h>

namespace keelwatch {

// An adapter opened by a keelwatch-capture process of its own, which holds
// the capabilities this program does without: one helper per scan, started
// with the scan's senders (scan/captureprotocol.h), capturing and sending
// for it; the helper ends when the adapter goes. Nothing when the helper
// cannot be started or refuses the interface or the senders; error then
// says why.
std::unique_ptr<PacketAdapter> OpenHelperAdapter(const QString &helperPath, const QString &name,
                                                 const ProbeSenders &senders, QString *error);

// Starts the helper with its two sockets as the program does; the
// program's ends of the request and capture sockets, or -1 (error set).
struct HelperProcess
{
    pid_t pid = -1;
    int requests = -1;
    int capture = -1;
};
HelperProcess SpawnCaptureHelper(const QString &helperPath, QString *error);

} // namespace keelwatch
