#include "report/nodelistfile.h"

#include "config/addresstext.h"
#include "config/fieldsplit.h"
#include "config/integertext.h"
#include "report/textfile.h"

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

// The MAC of a cell as NormalizeMac accepts it, which MacAddress::FromText
// alone would not always: bytes padded with zeros ("000A") and separators
// followed by blanks ("00: 0C: ...").
std::optional<MacAddress> MacOfCell(const QString &cell)
{
    const QStringList fields = SplitFields(NormalizeMac(cell), u' ');
    MacAddress mac;
    if (fields.size() != qsizetype(mac.bytes.size()))
        return std::nullopt;
    for (size_t b = 0; b < mac.bytes.size(); ++b) {
        const auto value = ParseHexDigits(fields[qsizetype(b)]);
        if (!value || *value > 0xFF)
            return std::nullopt;
        mac.bytes[b] = std::uint8_t(*value);
    }
    return mac;
}

// The node of a line whose IP and MAC are valid, as typed by hand or by
// other tools: blanks may separate the IP's numbers, MAC bytes may have one
// digit.
std::optional<Node> ValidNode(const NodeCells &cells)
{
    const qint64 ip = IpTextToNumber(cells[NodeColumn::Ip]);
    const auto mac = MacOfCell(cells[NodeColumn::Mac]);
    if (ip < 0 || !mac)
        return std::nullopt;
    Node node;
    node.ip = IpAddress::FromIpv4(quint32(ip));
    node.mac = *mac;
    node.comment = cells[NodeColumn::Comment];
    node.vendor = cells[NodeColumn::Vendor];
    return node;
}

bool NeedsQuotes(const QString &cell)
{
    return std::any_of(cell.begin(), cell.end(),
                       [](QChar c) { return c.unicode() <= 32 || c == u'"' || c == u','; });
}

} // namespace

QString EncodeNodeListLine(const NodeCells &row)
{
    QString line;
    for (int c = 0; c < NodeColumn::Count; ++c) {
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

NodeCells DecodeNodeListLine(QStringView line)
{
    NodeCells row;
    const QStringList fields = SplitFields(line, u',');
    for (int c = 0; c < NodeColumn::Count && c < fields.size(); ++c)
        row[size_t(c)] = fields[c].isEmpty() ? u" "_s : fields[c];
    return row;
}

QByteArray EncodeNodeList(const NodeList &nodes)
{
    QByteArray content = EncodeNodeListLine(NodeColumnTitles()).toUtf8() + "\r\n";
    for (const Node &node : nodes.All())
        content += EncodeNodeListLine(NodeCellTexts(node)).toUtf8() + "\r\n";
    return content + EncodeNodeListLine(NodeCells()).toUtf8() + "\r\n";
}

bool IsNodeListTitle(const QString &line)
{
    const NodeCells row = DecodeNodeListLine(line);
    return row[NodeColumn::Ip] == u"IP Address" && row[NodeColumn::Mac] == u"MAC Address";
}

QList<Node> DecodeNodeList(QByteArrayView content)
{
    QList<Node> nodes;
    // Lists saved by other tools may be in a Windows code page or UTF-16.
    const QList<DecodedLine> lines = DecodeTextLines(content);
    // A file without the title line starts with its first node.
    const qsizetype first = !lines.isEmpty() && IsNodeListTitle(lines[0].text) ? 1 : 0;
    nodes.reserve(lines.size() - first);
    for (qsizetype i = first; i < lines.size(); ++i) {
        if (auto node = ValidNode(DecodeNodeListLine(lines[i].text)))
            nodes.append(std::move(*node));
    }
    return nodes;
}

bool HoldsNodeList(QByteArrayView content)
{
    bool first = true;
    for (const DecodedLine &line : DecodeTextLines(content)) {
        if ((first && IsNodeListTitle(line.text)) || ValidNode(DecodeNodeListLine(line.text)))
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

QString LoadNodeList(const QString &path, NodeList &nodes)
{
    QString error;
    const QByteArray content = ReadWholeFile(path, &error);
    if (!error.isEmpty())
        return u"Cannot read the node list file %1.\n%2"_s.arg(path, error);
    if (!HoldsNodeList(content))
        return u"The file %1 is not a node list: it holds no node line.\nThe node list was left as it was."_s
            .arg(path);
    nodes.Clear();
    nodes.Replace(DecodeNodeList(content));
    return QString();
}

} // namespace keelwatch
