#pragma once

#include "core/nodetable.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringView>

namespace keelwatch {

// A table row as one comma-separated line: a cell with a character of code
// 32 or less, a double quote or a comma is quoted (inner quotes doubled);
// every other cell, an empty one too, is written as it is.
QString EncodeNodeListLine(const NodeTable::Row &row);

// A line read back into a row: the fields fill the cells from column 0, an
// empty field becomes a single blank, fields past the last column are
// ignored and cells without a field stay empty.
NodeTable::Row DecodeNodeListLine(QStringView line);

// Every row of the table, the header and the trailing empty row included,
// each line ended by CR LF.
QByteArray EncodeNodeList(const NodeTable &table);

// The node rows of a file: the first line is the title line and is skipped,
// lines whose IP or MAC is not valid are dropped, result marks are empty.
QList<NodeTable::Row> DecodeNodeList(QByteArrayView content);

// Writes encoded rows to path, replacing the file only once all is written.
// Returns the error text, empty on success.
QString WriteNodeList(const QString &path, const QByteArray &content);

// Replaces the table's nodes by those of the file at path, with their marks
// cleared. A file that cannot be read leaves the table as it was and returns
// the error text; success returns empty text.
QString LoadNodeList(const QString &path, NodeTable &table);

} // namespace keelwatch
