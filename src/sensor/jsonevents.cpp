#include "sensor/jsonevents.h"

#include "report/eventline.h"
#include "report/syslog5424.h"
#include "scan/confirmationprobes.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

QString FrameName(FrameFormat format)
{
    return format == FrameFormat::Ethernet2 ? u"ethernet"_s : u"ieee802.3"_s;
}

} // namespace

JsonEventSink::JsonEventSink(EventSink &log, const LiveSettings &settings, const NodeTable &nodes,
                             const Clock &clock, Writer writer)
    : log(log), settings(settings), nodes(nodes), clock(clock), writer(std::move(writer))
{
}

void JsonEventSink::WriteEvent(const QString &kind, int number, int row)
{
    if (kind == u"SUSPECT"_s || kind == u"UP"_s || kind == u"UP-FILTER-MATCH"_s)
        ++suspects;
    // The cells before the log writes: a window it opens could let the row
    // change meanwhile.
    const NodeTable::Row cells = nodes.RowCells(row);
    const QDateTime when = clock.Now();
    log.WriteEvent(kind, number, row);
    if (writer && !kind.isEmpty())
        writer(JsonEventLine(kind, number, cells, when, settings.Read().format));
}

void JsonEventSink::WriteNodeList()
{
    if (!writer)
        return;
    const QDateTime when = clock.Now();
    // Row 0 is the header and the last row the empty one.
    for (int row = 1; row < nodes.RowCount() - 1; ++row)
        writer(JsonNodeLine(nodes.RowCells(row), when));
}

QByteArray JsonNodeLine(const NodeTable::Row &cells, const QDateTime &when)
{
    QJsonArray answers;
    bool found = false;
    bool betrayed = false;
    for (const TestAddress &test : TestAddresses) {
        const QString cell = cells[size_t(test.column)];
        const bool answered =
            cell.contains(u'X', Qt::CaseInsensitive) || cell.contains(u'O', Qt::CaseInsensitive);
        if (!answered)
            continue;
        answers.append(QString::fromUtf16(test.shortName));
        if (test.column == BroadcastColumn)
            found = true;
        else if (!test.correct)
            betrayed = true;
    }
    const QJsonObject object{
        {u"time"_s, QString::fromLatin1(Rfc3339Timestamp(when))},
        {u"event"_s, u"NODE"_s},
        {u"ip"_s, cells[NodeTable::IpColumn]},
        {u"mac"_s, cells[NodeTable::MacColumn]},
        {u"vendor"_s, cells[NodeTable::VendorColumn]},
        {u"comment"_s, cells[NodeTable::CommentColumn]},
        {u"answers"_s, answers},
        {u"suspect"_s, found && betrayed},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

QByteArray JsonEventLine(const QString &kind, int number, const NodeTable::Row &cells,
                         const QDateTime &when, FrameFormat format)
{
    QJsonObject object{{u"time"_s, QString::fromLatin1(Rfc3339Timestamp(when))}};
    const auto node = [&](const QString &event, bool withTest) {
        object.insert(u"event"_s, event);
        object.insert(u"ip"_s, cells[NodeTable::IpColumn]);
        object.insert(u"mac"_s, cells[NodeTable::MacColumn]);
        object.insert(u"vendor"_s, cells[NodeTable::VendorColumn]);
        object.insert(u"comment"_s, cells[NodeTable::CommentColumn]);
        if (withTest)
            object.insert(u"test"_s, TestName(number));
    };
    if (kind == u"start"_s) {
        object.insert(u"event"_s, u"START"_s);
    } else if (kind == u"cycle"_s) {
        object.insert(u"event"_s, u"CYCLE"_s);
        object.insert(u"cycle"_s, number);
    } else if (kind == u"dropped"_s) {
        // The cycle's losses were not judged: this many frames went unseen.
        object.insert(u"event"_s, u"CAPTURE DROPPED"_s);
        object.insert(u"frames"_s, number);
    } else if (kind == u"mac"_s) {
        node(u"MAC CHANGE"_s, false);
    } else if (kind == u"SUSPECT"_s) {
        node(u"PROMISC SUSPECT"_s, true);
    } else if (kind == u"UP"_s) {
        node(u"PROMISC START"_s, true);
    } else if (kind == u"UP-FILTER-MATCH"_s) {
        // Logged as a start, but the confirmation found a filter match.
        node(u"PROMISC START"_s, true);
        object.insert(u"verdict"_s, u"filter match"_s);
    } else if (kind == u"CONFIRMED"_s || kind == u"FILTER-MATCH"_s) {
        node(u"PROMISC "_s + kind, false);
        object.insert(u"verdict"_s, kind == u"CONFIRMED"_s ? u"confirmed"_s : u"filter match"_s);
        object.insert(u"answered"_s, number);
        object.insert(u"probes"_s, ConfirmationProbeCount);
    } else if (kind == u"DOWN"_s) {
        node(u"PROMISC STOP"_s, true);
    } else if (kind == u"+"_s) {
        node(u"OFF"_s, true);
        object.insert(u"frame"_s, FrameName(format));
    } else {
        // An answer: "X" and "O" to an Ethernet II probe, "x" and "o" to an
        // IEEE 802.3 one.
        node(u"ON"_s, true);
        object.insert(u"frame"_s, FrameName(kind.toUpper() == kind ? FrameFormat::Ethernet2
                                                                   : FrameFormat::Ieee8023));
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace keelwatch
