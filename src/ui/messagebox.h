#pragma once

#include "config/addresstext.h"

class QString;
class QWidget;

namespace keelwatch {

// The window's wording of a text a lower layer marked with
// QT_TRANSLATE_NOOP("MessageSink", ...): the same text also reaches logs and
// the sensor's output, which stay English.
QString WindowText(const QString &text);

// A sink that shows each text in a message box over parent, without
// blocking: the caller goes on, and nothing re-enters it while the box is up.
MessageSink MessageBoxSink(QWidget *parent);

} // namespace keelwatch
