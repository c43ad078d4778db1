#include "report/nodelistfile.h"

#include "config/addresstext.h"
#include "config/fieldsplit.h"
#include "report/textfile.h"

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

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

QList<NodeTable::Row> DecodeNodeList(QByteArrayView content)
{
    QList<NodeTable::Row> rows;
    const QList<QByteArrayView> lines = TextLines(content);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        NodeTable::Row row = DecodeNodeListLine(QString::fromUtf8(lines[i]));
        if (ValidIpText(row[NodeTable::IpColumn]).isEmpty() ||
            NormalizeMac(row[NodeTable::MacColumn]).isEmpty())
            continue;
        for (int c = FirstResultColumn; c <= LastResultColumn; ++c)
            row[size_t(c)].clear();
        rows.append(row);
    }
    return rows;
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
    table.ReplaceNodes(DecodeNodeList(content));
    table.WriteColumnHeaders();
    return QString();
}

} // namespace keelwatch
