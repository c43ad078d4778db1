#pragma once

#include "config/addresstext.h"

class QWidget;

namespace keelwatch {

class NodeTable;

// "Save node list": the table as it is now, written to the file chosen in
// the save dialog SaveDialog1. Failures go to the sink.
void ShowSaveNodeListDialog(QWidget *parent, const NodeTable &nodes, const MessageSink &sink);

// "Load node list": the nodes of the file chosen in OpenDialog1 replace the
// table's. Cancelling, or a file that cannot be read, leaves the table as it
// was.
void ShowLoadNodeListDialog(QWidget *parent, NodeTable &nodes, const MessageSink &sink);

} // namespace keelwatch
