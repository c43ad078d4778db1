#include "report/nodelistfile.h"

#include "config/addresstext.h"
#include "config/fieldsplit.h"
#include "config/integertext.h"
#include "report/textfile.h"

#include <QCoreApplication>
#include <QDateTime>

#include <array>

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
    for (int column = FirstResultColumn; column <= LastResultColumn; ++column)
        node.MarkOf(column) = Mark::FromText(cells[size_t(column)]).value_or(Mark());
    node.comment = cells[NodeColumn::Comment];
    node.vendor = cells[NodeColumn::Vendor];
    return node;
}

bool NeedsQuotes(const QString &cell)
{
    return std::any_of(cell.begin(), cell.end(),
                       [](QChar c) { return c.unicode() <= 32 || c == u'"' || c == u','; });
}

bool IsBlank(QChar c)
{
    return c.unicode() >= 1 && c.unicode() <= 32;
}

// Whether the record ends inside a quoted field: its line end is part of it.
bool EndsInsideQuotes(QStringView record)
{
    bool inside = false;
    bool fieldStart = true;
    for (const QChar c : record) {
        if (inside) {
            inside = c != u'"';
        } else if (c == u'"' && fieldStart) {
            inside = true;
            fieldStart = false;
        } else if (c == u',') {
            fieldStart = true;
        } else if (!IsBlank(c)) {
            fieldStart = false;
        }
    }
    return inside;
}

// The fields of a comma-separated record as other tools write them (RFC
// 4180): a field runs to the next comma, blanks inside it included, or is
// quoted. Blanks around a field are not part of it.
QStringList SplitCommaFields(QStringView record)
{
    QStringList fields;
    qsizetype i = 0;
    const qsizetype n = record.size();
    for (;;) {
        while (i < n && IsBlank(record[i]))
            ++i;
        QString field;
        if (i < n && record[i] == u'"') {
            for (++i; i < n; ++i) {
                if (record[i] == u'"') {
                    if (i + 1 < n && record[i + 1] == u'"') {
                        ++i;
                    } else {
                        ++i;
                        break;
                    }
                }
                field += record[i];
            }
        }
        const bool quoted = i > 0 && record[i - 1] == u'"';
        const qsizetype start = i;
        while (i < n && record[i] != u',')
            ++i;
        qsizetype end = i;
        while (end > start && IsBlank(record[end - 1]))
            --end;
        // Text after a closing quote belongs to the field, as spreadsheets
        // read it.
        field += quoted ? record.sliced(start, end - start).toString()
                        : TrimControls(record.sliced(start, end - start));
        fields.append(field);
        if (i >= n)
            return fields;
        ++i;
    }
}

// Whether a comma outside quotes separates the record's fields; without one
// the fields are separated by blanks, as hand-made lists have them.
bool HasSeparatingComma(QStringView record)
{
    bool inside = false;
    for (const QChar c : record) {
        if (c == u'"')
            inside = !inside;
        else if (c == u',' && !inside)
            return true;
    }
    return false;
}

// A quoted field may hold line ends; a quote that no later line closes
// within this many lines is taken to end at its own line's end.
constexpr qsizetype MaxLinesPerRecord = 16;

// The records of the file's lines, each the text of one or more lines.
QStringList NodeListRecords(const QList<DecodedLine> &lines)
{
    QStringList records;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString record = lines[i].text;
        qsizetype last = i;
        if (EndsInsideQuotes(record)) {
            QString joined = record;
            for (qsizetype j = i + 1; j < lines.size() && j - i < MaxLinesPerRecord; ++j) {
                joined += u"\r\n"_s + lines[j].text;
                if (!EndsInsideQuotes(joined)) {
                    record = joined;
                    last = j;
                    break;
                }
            }
        }
        records.append(record);
        i = last;
    }
    return records;
}

// The fields of one line, as DecodeNodeListLine splits it; the apostrophe
// a report put before a cell that looks like a formula is taken away.
QStringList LineFields(QStringView line)
{
    QStringList fields =
        HasSeparatingComma(line) ? SplitCommaFields(line) : SplitFields(line, u',');
    for (QString &field : fields) {
        if (field.startsWith(u'\'') && StartsLikeAFormula(QStringView(field).sliced(1)))
            field.remove(0, 1);
    }
    return fields;
}

NodeCells CellsOf(const QStringList &fields)
{
    NodeCells row;
    for (int c = 0; c < NodeColumn::Count && c < fields.size(); ++c)
        row[size_t(c)] = fields[c].isEmpty() ? u" "_s : fields[c];
    return row;
}

// Where a report's title line has each report column, -1 where it has none.
using ReportColumnPlaces = std::array<qsizetype, ReportColumn::Count>;

ReportColumnPlaces FindReportColumns(const QStringList &titles)
{
    ReportColumnPlaces places;
    for (int column = 0; column < ReportColumn::Count; ++column) {
        places[size_t(column)] = -1;
        for (qsizetype i = NodeColumn::Count; i < titles.size(); ++i) {
            if (titles[i].trimmed() == ReportColumnTitle(column))
                places[size_t(column)] = i;
        }
    }
    return places;
}

// The field of a report column, or empty text.
QString ReportField(const QStringList &fields, const ReportColumnPlaces &places, int column)
{
    const qsizetype place = places[size_t(column)];
    return place >= 0 && place < fields.size() ? fields[place].trimmed() : QString();
}

qint64 SeenTime(const QString &field)
{
    const QDateTime when = QDateTime::fromString(field, Qt::ISODate);
    return when.isValid() ? when.toMSecsSinceEpoch() : 0;
}

std::optional<SavedVerdict> VerdictOfFields(const QStringList &fields,
                                            const ReportColumnPlaces &places)
{
    const auto verdict = VerdictOfWord(ReportField(fields, places, ReportColumn::Verdict));
    if (!verdict)
        return std::nullopt;
    SavedVerdict saved{*verdict, std::nullopt};
    bool number = false;
    const int answers =
        ReportField(fields, places, ReportColumn::ConfirmationAnswers).toInt(&number);
    if (number && answers >= 0 && answers <= ConfirmationProbeCount)
        saved.answers = answers;
    return saved;
}

} // namespace

bool StartsLikeAFormula(QStringView cell)
{
    return !cell.isEmpty() && QStringView(u"=+-@\t\r").contains(cell.front());
}

QString ReportColumnTitle(int column)
{
    switch (column) {
    case ReportColumn::Verdict:
        return u"Verdict"_s;
    case ReportColumn::ConfirmationAnswers:
        return u"Confirmation answers"_s;
    case ReportColumn::FirstSeen:
        return u"First seen"_s;
    case ReportColumn::LastSeen:
        return u"Last seen"_s;
    default:
        break;
    }
    return QString();
}

QString EncodeNodeListLine(const NodeCells &row)
{
    QString line;
    for (int c = 0; c < NodeColumn::Count; ++c) {
        // A node's line stays one line: a line break read from a quoted
        // field of another tool's list is saved as a blank, so every later
        // load finds the same nodes.
        const QString cell = QString(row[size_t(c)]).replace(u'\r', u' ').replace(u'\n', u' ');
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
    return CellsOf(LineFields(line));
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

QList<Node> DecodeNodeList(QByteArrayView content, SavedVerdicts *verdicts)
{
    QList<Node> nodes;
    // Lists saved by other tools may be in a Windows code page or UTF-16.
    const QStringList lines = NodeListRecords(DecodeTextLines(content));
    // A file without the title line starts with its first node, and has no
    // report columns.
    const bool titled = !lines.isEmpty() && IsNodeListTitle(lines[0]);
    const ReportColumnPlaces places =
        FindReportColumns(titled ? LineFields(lines[0]) : QStringList());
    const qsizetype first = titled ? 1 : 0;
    nodes.reserve(lines.size() - first);
    for (qsizetype i = first; i < lines.size(); ++i) {
        const QStringList fields = LineFields(lines[i]);
        auto node = ValidNode(CellsOf(fields));
        if (!node)
            continue;
        node->firstSeen = SeenTime(ReportField(fields, places, ReportColumn::FirstSeen));
        node->lastSeen = SeenTime(ReportField(fields, places, ReportColumn::LastSeen));
        if (verdicts) {
            if (const auto verdict = VerdictOfFields(fields, places))
                verdicts->insert(node->ip, *verdict);
        }
        nodes.append(std::move(*node));
    }
    return nodes;
}

bool HoldsNodeList(QByteArrayView content)
{
    bool first = true;
    for (const QString &line : NodeListRecords(DecodeTextLines(content))) {
        if ((first && IsNodeListTitle(line)) || ValidNode(DecodeNodeListLine(line)))
            return true;
        first = false;
    }
    return false;
}

// Its failures reach only the save and load windows, in their language.
QString WriteNodeList(const QString &path, const QByteArray &content)
{
    if (const QString reason = ReplaceFile(path, content); !reason.isEmpty())
        return QCoreApplication::translate("NodeListFile",
                                           "Cannot write the node list file %1.\n%2")
            .arg(path, reason);
    return QString();
}

QString LoadNodeList(const QString &path, NodeList &nodes)
{
    QString error;
    const QByteArray content = ReadWholeFile(path, &error);
    if (!error.isEmpty())
        return QCoreApplication::translate("NodeListFile", "Cannot read the node list file %1.\n%2")
            .arg(path, error);
    if (!HoldsNodeList(content))
        return QCoreApplication::translate("NodeListFile",
                                           "The file %1 is not a node list: it holds no node "
                                           "line.\nThe node list was left as it was.")
            .arg(path);
    nodes.Clear();
    SavedVerdicts verdicts;
    QList<Node> loaded = DecodeNodeList(content, &verdicts);
    nodes.Replace(std::move(loaded), verdicts);
    return QString();
}

} // namespace keelwatch
