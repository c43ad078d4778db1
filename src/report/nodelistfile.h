#pragma once

#include "core/nodecolumns.h"
#include "core/nodelist.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringView>

namespace keelwatch {

// The columns a report adds behind a node's columns, found by their titles
// when a report is read back: "Verdict", "Confirmation answers", "First
// seen" and "Last seen".
namespace ReportColumn {
constexpr int Verdict = 0;
constexpr int ConfirmationAnswers = 1;
constexpr int FirstSeen = 2;
constexpr int LastSeen = 3;
constexpr int Count = 4;
} // namespace ReportColumn

QString ReportColumnTitle(int column);

// Whether a spreadsheet would take a cell with this start for a formula
// (=, +, -, @, a tab or a carriage return): CSV reports put an apostrophe
// before such a cell, and the loader takes it away again.
bool StartsLikeAFormula(QStringView cell);

// A node's cells as one comma-separated line: a cell with a character of code
// 32 or less, a double quote or a comma is quoted (inner quotes doubled);
// every other cell, an empty one too, is written as it is.
QString EncodeNodeListLine(const NodeCells &row);

// A line read back into cells: the fields fill the cells from column 0, an
// empty field becomes a single blank, fields past the last column are
// ignored and cells without a field stay empty. A line with a comma outside
// quotes is comma-separated as RFC 4180 has it (blanks inside a field belong
// to it); one without is split at blanks too.
NodeCells DecodeNodeListLine(QStringView line);

// The title line, a line per node and an empty line (the grid's empty last
// row, which files have always held), each ended by CR LF.
QByteArray EncodeNodeList(const NodeList &nodes);

// Whether a line is the title line the writer puts first: the table's
// column titles, whose first cells are "IP Address" and "MAC Address".
bool IsNodeListTitle(const QString &line);

// The node rows of a file, a record to a line except where a quoted field
// holds line ends: a title line is skipped, lines whose IP or MAC is not
// valid are dropped, and a mark cell that holds no mark's letters is empty.
// When the title line names report columns, each node keeps its first and
// last seen times, and verdicts collects the verdicts (the last line of an
// IP tells it).
QList<Node> DecodeNodeList(QByteArrayView content, SavedVerdicts *verdicts = nullptr);

// Whether the content is a node list: it has the title line first or at
// least one valid node line. Stops at the first valid node line.
bool HoldsNodeList(QByteArrayView content);

// Writes an encoded node list to path, replacing the file only once all is written.
// Returns the error text, empty on success.
QString WriteNodeList(const QString &path, const QByteArray &content);

// Replaces the list's nodes by those of the file at path, with their marks
// and, from a report, their verdicts and seen times; the old nodes are released before the new ones
// are decoded, so the two are never held at once. A file that cannot be read, or that holds no
// title line and no valid node line (not a node list), leaves the list as it was and returns the
// error text; success returns empty text.
QString LoadNodeList(const QString &path, NodeList &nodes);

} // namespace keelwatch
