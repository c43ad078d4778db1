#pragma once

#include "config/addresstext.h"

class QWidget;

namespace keelwatch {

// A sink that shows each text in a message box over parent, without
// blocking: the caller goes on, and nothing re-enters it while the box is up.
MessageSink MessageBoxSink(QWidget *parent);

} // namespace keelwatch
