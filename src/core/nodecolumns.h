#pragma once

#include "core/node.h"

#include <QString>

#include <array>

namespace keelwatch {

// The columns a node is shown in, in the grid and in node list files: IP,
// MAC, the ten tests' marks (FirstResultColumn to LastResultColumn), comment
// and vendor.
namespace NodeColumn {
constexpr int Ip = 0;
constexpr int Mac = 1;
constexpr int Comment = LastResultColumn + 1;
constexpr int Vendor = Comment + 1;
constexpr int Count = Vendor + 1;
} // namespace NodeColumn

using NodeCells = std::array<QString, NodeColumn::Count>;

// "IP Address", "MAC Address", the tests' short names, "Comment", "Vender Code".
QString NodeColumnTitle(int column);
const NodeCells &NodeColumnTitles();

// The text of a node's cell: dotted IP, "00:0C:29:AA:BB:CC", a mark's
// letters, comment, vendor.
QString NodeCellText(const Node &node, int column);
NodeCells NodeCellTexts(const Node &node);

} // namespace keelwatch
