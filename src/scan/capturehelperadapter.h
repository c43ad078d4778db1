#pragma once

#include "scan/packetdriver.h"

namespace keelwatch {

// An adapter opened by a keelwatch-capture process of its own, which holds
// the capabilities this program does without. Every call is one request to
// the helper (scan/captureprotocol.h); the helper ends when the adapter goes.
// Nothing when the helper cannot be started or refuses the interface; error
// then says why.
std::unique_ptr<PacketAdapter> OpenHelperAdapter(const QString &helperPath, const QString &name,
                                                 QString *error);

} // namespace keelwatch
