#include "report/nodeviewer.h"

#include "config/fieldsplit.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

const QString Title = u"Node Viewer"_s;
constexpr int BrColumn = FirstResultColumn;
constexpr int M1Column = FirstResultColumn + 6;

// The next occurrence of a pattern at or after a position, remembered until
// the reader has passed it, so that the text is searched once per pattern.
class NextOccurrence
{
  public:
    explicit NextOccurrence(QByteArrayView pattern) : pattern(pattern) {}

    qsizetype From(QByteArrayView text, qsizetype pos)
    {
        if (next == None || next >= pos)
            return next;
        const void *hit = pattern.size() == 1 ? std::memchr(text.data() + pos, pattern[0],
                                                            size_t(text.size() - pos))
                                              : memmem(text.data() + pos, size_t(text.size() - pos),
                                                       pattern.data(), size_t(pattern.size()));
        next = hit ? static_cast<const char *>(hit) - text.data() : None;
        return next;
    }

  private:
    static constexpr qsizetype Unknown = -2;
    static constexpr qsizetype None = -1;
    QByteArrayView pattern;
    qsizetype next = Unknown;
};

bool IsLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

int TestColumn(const QString &name)
{
    for (const TestAddress &test : TestAddresses) {
        if (name == QStringView(test.shortName))
            return test.column;
    }
    return 0;
}

} // namespace

NodeViewer::NodeViewer(const LiveSettings &settings, MessageSink sink, QObject *parent)
    : QObject(parent), settings(settings), sink(std::move(sink)), caption(Title)
{
}

bool NodeViewer::Start(const QString &ip, const QString &path)
{
    if (ip.isEmpty())
        return false;
    followedIp = ip;
    followedIpBytes = ip.toUtf8();
    followedPath = path;
    grid.Reset();
    readPosition = 0;
    SetLive(true);
    ReadLogTail();
    return true;
}

void NodeViewer::Stop()
{
    SetLive(false);
}

void NodeViewer::Clear()
{
    SetCaption(Title);
    grid.Reset();
}

void NodeViewer::RefreshNodeViewer()
{
    if (!live)
        return;
    Q_EMIT followedFieldsRestored(followedIp, followedPath);
    ReadLogTail();
}

void NodeViewer::SetLive(bool on)
{
    if (live == on)
        return;
    live = on;
    Q_EMIT liveChanged(on);
}

void NodeViewer::SetCaption(const QString &text)
{
    if (caption == text)
        return;
    caption = text;
    Q_EMIT captionChanged(caption);
}

void NodeViewer::Fail(const QString &message)
{
    // Live mode ends before the message is shown, so that an event logged
    // meanwhile does not read again.
    SetLive(false);
    sink(message);
}

void NodeViewer::ReadLogTail()
{
    if (!QFileInfo::exists(followedPath)) {
        SetLive(false);
        Q_EMIT hideRequested();
        sink(u"No log file fount."_s);
        return;
    }
    if (flush)
        flush();
    QFile file(followedPath);
    if (!file.open(QIODevice::ReadOnly)) {
        Fail(u"Cannot open Log file.-1"_s);
        return;
    }
    const qint64 size = file.size();
    if (size >= MaxLogSize) {
        Fail(u"Too big log file"_s);
        return;
    }
    const int handle = file.handle();
    uchar *data = file.map(0, size);
    file.close();
    if (!data) {
        Fail(u"File Mapping Error"_s + QString::number(handle));
        return;
    }
    const QChar delimiter = settings.Read().Delimiter();
    SetCaption(Title + u" : "_s + followedIp);
    ProcessLines(QByteArrayView(data, size), delimiter);
    readPosition = size;
    if (!file.unmap(data))
        sink(u"Can not unmap file"_s);
    SelectLatestRow();
}

void NodeViewer::ProcessLines(QByteArrayView text, QChar delimiter)
{
    // Only lines with a "#", "Cyclic_Count" or the followed IP can change the
    // grid, so the reader jumps from one of these to the next instead of
    // looking at every line of a log that may hold millions.
    NextOccurrence hash("#");
    NextOccurrence cycle("Cyclic_Count");
    NextOccurrence ip(followedIpBytes);
    qsizetype pos = readPosition;
    while (pos < text.size()) {
        qsizetype hit = -1;
        for (NextOccurrence *finder : {&hash, &cycle, &ip}) {
            const qsizetype at = finder->From(text, pos);
            if (at >= 0 && (hit < 0 || at < hit))
                hit = at;
        }
        if (hit < 0)
            break;
        qsizetype start = hit;
        while (start > pos && !IsLineEnd(text[start - 1]))
            --start;
        qsizetype end = hit;
        while (end < text.size() && !IsLineEnd(text[end]))
            ++end;
        pos = end + 1;
        if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n')
            ++pos;
        ProcessLine(text.sliced(start, end - start), delimiter);
        if (grid.RowCount() > NodeViewerGrid::MaxRows) {
            grid.DropOldest(NodeViewerGrid::DropRows);
            SelectLatestRow();
        }
    }
}

void NodeViewer::ProcessLine(QByteArrayView line, QChar delimiter)
{
    const auto pieces = [&] { return SplitFields(QString::fromUtf8(line), delimiter); };
    if (line.contains("### START Keelwatch")) {
        if (const QStringList p = pieces(); p.size() == 8)
            StartBanner(p);
    } else if (line.contains("Cyclic_Count")) {
        if (const QStringList p = pieces(); p.size() == 4)
            CycleLine(p);
    } else if (!line.contains('#') && line.contains(followedIpBytes) && grid.RowCount() > 2) {
        if (const QStringList p = pieces(); p.size() == 7)
            MarkLine(p);
    }
}

void NodeViewer::StartBanner(const QStringList &pieces)
{
    bool ok = false;
    uint mask = pieces[3].toUInt(&ok, 16);
    if (!ok)
        mask = 0;
    for (int i = 0; i < TestCount; ++i)
        marks[size_t(i)] = (mask & (1u << i)) ? QString() : u"-"_s;
    grid.SetCell(grid.RowCount() - 1, NodeViewerGrid::StatusColumn, u"START"_s);
    grid.AppendRow();
    const int bottom = grid.RowCount() - 1;
    grid.SetCell(bottom, NodeViewerGrid::StatusColumn, u"0"_s);
    grid.SetMarks(bottom, marks);
    grid.SetCell(bottom, NodeViewerGrid::TimeColumn, pieces[4] + u' ' + pieces[5]);
    grid.AppendRow();
}

void NodeViewer::CycleLine(const QStringList &pieces)
{
    const int bottom = grid.RowCount() - 1;
    grid.SetMarks(bottom, marks);
    grid.SetCell(bottom, NodeViewerGrid::StatusColumn, pieces[1]);
    grid.SetCell(bottom, NodeViewerGrid::TimeColumn, pieces[2] + u' ' + pieces[3]);
    grid.AppendRow();
}

void NodeViewer::MarkLine(const QStringList &pieces)
{
    const int latest = grid.RowCount() - 2;
    if (const int column = TestColumn(pieces[4])) {
        if (pieces[5] == u"ON")
            grid.SetCell(latest, column,
                         column == BrColumn || column == M1Column ? u"O"_s : u"X"_s);
        else if (pieces[5] == u"OFF")
            grid.SetCell(latest, column, QString());
    }
    marks = grid.RowMarks(latest);
}

void NodeViewer::SelectLatestRow()
{
    Q_EMIT latestRowSelected(grid.RowCount() - 2);
}

} // namespace keelwatch
