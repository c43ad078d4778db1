#pragma once

#include "core/nodelist.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace keelwatch {

// The kinds of report File, "Export report" writes.
enum class ExportFormat { Csv, Json, Html };

// The format a file name asks for by its suffix; CSV for any other.
ExportFormat ExportFormatOf(const QString &path);

// The node list with every verdict, as the grid shows it: a CSV with the
// grid's columns followed by the report columns (verdict, confirmation
// answers, first and last seen), which loading the CSV keeps; the same as
// JSON; or a self-contained HTML page. exported is when the report was
// taken, written into the JSON and HTML; seen times are given in its zone.
QByteArray EncodeNodeReport(const NodeList &nodes, ExportFormat format, const QDateTime &exported);

} // namespace keelwatch
