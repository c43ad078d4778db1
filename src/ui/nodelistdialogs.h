#pragma once

#include "config/addresstext.h"

class QWidget;

namespace keelwatch {

class NodeList;

// "Save node list": the nodes as they are now, also during a scan, written
// to the file chosen in the save dialog SaveDialog1, which asks before it
// replaces a file. Failures go to the sink.
void ShowSaveNodeListDialog(QWidget *parent, const NodeList &nodes, const MessageSink &sink);

// "Load node list": the nodes of the file chosen in OpenDialog1 replace the
// list's. Cancelling, or a file that cannot be read, leaves the list as it
// was.
void ShowLoadNodeListDialog(QWidget *parent, NodeList &nodes, const MessageSink &sink);

// "Export report": the nodes as they are now with their verdicts, as CSV,
// JSON or HTML by the file's suffix, chosen in ExportDialog, which asks
// before it replaces a file. Failures go to the sink.
void ShowExportReportDialog(QWidget *parent, const NodeList &nodes, const MessageSink &sink);

} // namespace keelwatch
