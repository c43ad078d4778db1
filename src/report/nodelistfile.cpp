#include "report/nodelistfile.h"

#include "config/addresstext.h"
#include "config/fieldsplit.h"
#include "report/textfile.h"

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

bool IsValidNode(const NodeTable::Row &row)
{
    return !ValidIpText(row[NodeTable::IpColumn]).isEmpty() &&
           !NormalizeMac(row[NodeTable::MacColumn]).isEmpty();
}

bool NeedsQuotes(const QString &cell)
{
    return std::any_of(cell.begin(), cell.end(),
                       [](QChar c) { return c.unicode() <= 32 || c == u'"' || c == u','; });
}

} // namespace

QString EncodeNodeListLine(const NodeTable::Row &row)
{
    QString line;
    for (int c = 0; c < NodeTable::ColumnCount; ++c) {
        const QString &cell = row[size_t(c)];
        if (c > 0)
            line += u',';
        if (NeedsQuotes(cell))
            line += u'"' + QString(cell).replace(u"\""_s, u"\"\""_s) + u'"';
        else
            line += cell;
    }
    return line;
}

NodeTable::Row DecodeNodeListLine(QStringView line)
{
    NodeTable::Row row;
    const QStringList fields = SplitFields(line, u',');
    for (int c = 0; c < NodeTable::ColumnCount && c < fields.size(); ++c)
        row[size_t(c)] = fields[c].isEmpty() ? u" "_s : fields[c];
    return row;
}

QByteArray EncodeNodeList(const NodeTable &table)
{
    QByteArray content;
    for (int r = 0; r < table.RowCount(); ++r)
        content += EncodeNodeListLine(table.RowCells(r)).toUtf8() + "\r\n";
    return content;
}

bool IsNodeListTitle(const QString &line)
{
    const NodeTable::Row row = DecodeNodeListLine(line);
    return row[NodeTable::IpColumn] == u"IP Address" && row[NodeTable::MacColumn] == u"MAC Address";
}

QList<NodeTable::Row> DecodeNodeList(QByteArrayView content)
{
    QList<NodeTable::Row> rows;
    // Lists saved by other tools may be in a Windows code page or UTF-16.
    const QList<DecodedLine> lines = DecodeTextLines(content);
    // A file without the title line starts with its first node.
    const qsizetype first = !lines.isEmpty() && IsNodeListTitle(lines[0].text) ? 1 : 0;
    // A free slot at the front and one at the end: the node table puts its
    // header and trailing rows there without moving 65,536 rows.
    rows.reserve(lines.size() - first + 2);
    rows.emplaceBack();
    for (qsizetype i = first; i < lines.size(); ++i) {
        NodeTable::Row row = DecodeNodeListLine(lines[i].text);
        if (!IsValidNode(row))
            continue;
        for (int c = FirstResultColumn; c <= LastResultColumn; ++c)
            row[size_t(c)].clear();
        rows.append(std::move(row));
    }
    rows.removeFirst();
    return rows;
}

bool HoldsNodeList(QByteArrayView content)
{
    bool first = true;
    for (const DecodedLine &line : DecodeTextLines(content)) {
        if ((first && IsNodeListTitle(line.text)) || IsValidNode(DecodeNodeListLine(line.text)))
            return true;
        first = false;
    }
    return false;
}

QString WriteNodeList(const QString &path, const QByteArray &content)
{
    if (const QString reason = ReplaceFile(path, content); !reason.isEmpty())
        return u"Cannot write the node list file %1.\n%2"_s.arg(path, reason);
    return QString();
}

QString LoadNodeList(const QString &path, NodeTable &table)
{
    QString error;
    const QByteArray content = ReadWholeFile(path, &error);
    if (!error.isEmpty())
        return u"Cannot read the node list file %1.\n%2"_s.arg(path, error);
    if (!HoldsNodeList(content))
        return u"The file %1 is not a node list: it holds no node line.\nThe node list was left as it was."_s
            .arg(path);
    table.ClearAllNodes();
    table.ReplaceNodes(DecodeNodeList(content));
    table.WriteColumnHeaders();
    return QString();
}

} // namespace keelwatch
