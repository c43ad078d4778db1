#include "ui/nodeexport.h"

#include "report/nodelistfile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

// A verdict as an HTML class name.
QString VerdictClass(ConfirmationVerdict verdict)
{
    return VerdictWord(verdict).replace(u' ', u'-');
}

// Every cell as a spreadsheet reads it: quoted when it holds a comma, a
// quote or a line end, inner quotes doubled. A cell a spreadsheet would take
// for a formula (a comment "=HYPERLINK(...)", a mark "+X") gets a leading
// apostrophe, as OWASP recommends; the program's own loader takes it away.
QString CsvCell(const QString &given)
{
    const QString cell = StartsLikeAFormula(given) ? u'\'' + given : given;
    if (!cell.contains(u',') && !cell.contains(u'"') && !cell.contains(u'\n') &&
        !cell.contains(u'\r'))
        return cell;
    return u'"' + QString(cell).replace(u"\""_s, u"\"\""_s) + u'"';
}

QString AnswersText(const NodeList &nodes, const Node &node)
{
    const auto answers = nodes.ConfirmationAnswers(node.ip);
    return answers ? QString::number(*answers) : QString();
}

// A seen time in the zone the report is taken in, or empty text for a node
// that has not answered since it was loaded.
QString SeenText(qint64 when, const QDateTime &exported)
{
    if (when == 0)
        return QString();
    return QDateTime::fromMSecsSinceEpoch(when, exported.timeZone()).toString(Qt::ISODate);
}

QByteArray EncodeCsv(const NodeList &nodes, const QDateTime &exported)
{
    const auto line = [](const NodeCells &cells, const QStringList &report) -> QString {
        QStringList fields;
        for (const QString &cell : cells)
            fields.append(CsvCell(cell));
        for (const QString &cell : report)
            fields.append(CsvCell(cell));
        return fields.join(u',') + u"\r\n"_s;
    };
    QStringList titles;
    for (int column = 0; column < ReportColumn::Count; ++column)
        titles.append(ReportColumnTitle(column));
    QString text = line(NodeColumnTitles(), titles);
    for (int i = 0; i < nodes.Count(); ++i) {
        const Node &node = nodes.At(i);
        text += line(NodeCellTexts(node),
                     {VerdictWord(nodes.ReportedVerdict(node.ip)), AnswersText(nodes, node),
                      SeenText(node.firstSeen, exported), SeenText(node.lastSeen, exported)});
    }
    return text.toUtf8();
}

QByteArray EncodeJson(const NodeList &nodes, const QDateTime &exported)
{
    QJsonArray list;
    for (int i = 0; i < nodes.Count(); ++i) {
        const Node &node = nodes.At(i);
        const NodeCells cells = NodeCellTexts(node);
        QJsonObject marks;
        for (int column = FirstResultColumn; column <= LastResultColumn; ++column)
            marks.insert(NodeColumnTitle(column), cells[size_t(column)]);
        QJsonObject entry{{u"ip"_s, cells[NodeColumn::Ip]},
                          {u"mac"_s, cells[NodeColumn::Mac]},
                          {u"marks"_s, marks},
                          {u"comment"_s, cells[NodeColumn::Comment]},
                          {u"vendor"_s, cells[NodeColumn::Vendor]},
                          {u"verdict"_s, VerdictWord(nodes.ReportedVerdict(node.ip))}};
        if (const auto answers = nodes.ConfirmationAnswers(node.ip)) {
            entry.insert(u"confirmationAnswers"_s, *answers);
            entry.insert(u"confirmationProbes"_s, ConfirmationProbeCount);
        }
        if (node.firstSeen != 0)
            entry.insert(u"firstSeen"_s, SeenText(node.firstSeen, exported));
        if (node.lastSeen != 0)
            entry.insert(u"lastSeen"_s, SeenText(node.lastSeen, exported));
        list.append(entry);
    }
    const QJsonObject report{{u"program"_s, u"Keelwatch"_s},
                             {u"exported"_s, exported.toString(Qt::ISODate)},
                             {u"nodes"_s, list}};
    return QJsonDocument(report).toJson(QJsonDocument::Indented);
}

QByteArray EncodeHtml(const NodeList &nodes, const QDateTime &exported)
{
    QString rows;
    int confirmed = 0;
    int filterMatches = 0;
    for (int i = 0; i < nodes.Count(); ++i) {
        const Node &node = nodes.At(i);
        const ConfirmationVerdict verdict = nodes.ReportedVerdict(node.ip);
        confirmed += verdict == ConfirmationVerdict::Confirmed;
        filterMatches += verdict == ConfirmationVerdict::FilterMatch;
        rows += u"<tr class=\""_s + VerdictClass(verdict) + u"\">"_s;
        for (const QString &cell : NodeCellTexts(node))
            rows += u"<td>"_s + cell.toHtmlEscaped() + u"</td>"_s;
        const QString answers = AnswersText(nodes, node);
        rows += u"<td>"_s + VerdictWord(verdict) +
                (answers.isEmpty() ? QString()
                                   : u" (%1/%2)"_s.arg(answers).arg(ConfirmationProbeCount)) +
                u"</td><td>"_s + SeenText(node.firstSeen, exported) + u"</td><td>"_s +
                SeenText(node.lastSeen, exported) + u"</td></tr>\n"_s;
    }
    QString titles;
    for (const QString &title : NodeColumnTitles())
        titles += u"<th>"_s + title.toHtmlEscaped() + u"</th>"_s;
    const QString when = exported.toString(Qt::ISODate);
    const QString page =
        u"<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        u"<title>Keelwatch report "_s +
        when +
        u"</title>\n<style>\n"
        u"body { font-family: sans-serif; }\n"
        u"table { border-collapse: collapse; }\n"
        u"th, td { border: 1px solid #999; padding: 2px 6px; }\n"
        u"tr.confirmed td { background: #ff7070; color: #000; }\n"
        u"tr.filter-match td { background: #ffc040; color: #000; }\n"
        u"</style>\n</head>\n<body>\n<h1>Keelwatch report</h1>\n<p>Taken "_s +
        when +
        u"; %1 nodes, %2 confirmed promiscuous (red), %3 filter matches (amber).</p>\n"_s
            .arg(nodes.Count())
            .arg(confirmed)
            .arg(filterMatches) +
        u"<table>\n<tr>"_s + titles +
        u"<th>Verdict</th><th>First seen</th><th>Last seen</th></tr>\n"_s + rows +
        u"</table>\n</body>\n</html>\n"_s;
    return page.toUtf8();
}

} // namespace

ExportFormat ExportFormatOf(const QString &path)
{
    const QString lower = path.toLower();
    if (lower.endsWith(u".json"_s))
        return ExportFormat::Json;
    if (lower.endsWith(u".html"_s) || lower.endsWith(u".htm"_s))
        return ExportFormat::Html;
    return ExportFormat::Csv;
}

QByteArray EncodeNodeReport(const NodeList &nodes, ExportFormat format, const QDateTime &exported)
{
    switch (format) {
    case ExportFormat::Json:
        return EncodeJson(nodes, exported);
    case ExportFormat::Html:
        return EncodeHtml(nodes, exported);
    case ExportFormat::Csv:
        break;
    }
    return EncodeCsv(nodes, exported);
}

} // namespace keelwatch
