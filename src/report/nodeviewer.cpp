#include "report/nodeviewer.h"

#include "config/testaddresses.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <bit>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <cstring>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

// Shown only as the window title.
QString Title()
{
    return QCoreApplication::translate("NodeViewer", "Node Viewer");
}
// A read gives the event loop its turn after about this long.
constexpr qint64 SliceNs = 10'000'000;

// Finds where the next line that can change the grid shows: a "#", the
// word "Cyclic_Count", or the followed IP standing as a piece of its own
// (its text begins those of many others: 10.0.0.1 those of 10.0.0.10 to
// 10.0.0.199). One pass looks for all three, sixteen positions at a time,
// on a byte or two of each before any comparison: the lines of a log look
// alike, so a search by skips would step a few bytes at a time.
class InterestScanner
{
  public:
    // An empty ip looks for the first two only.
    InterestScanner(QByteArrayView ip, char delimiter) : ip(ip), delimiter(delimiter) {}

    // The first position at or after pos where one starts, or -1. A window
    // starts at a line's start; what its end cuts is read again with the
    // next window.
    qsizetype Next(QByteArrayView text, qsizetype pos) const
    {
        const char *const t = text.data();
        const qsizetype n = text.size();
        const qsizetype m = ip.size();
        qsizetype i = pos;
#if defined(__SSE2__)
        const qsizetype reach = std::max(CycleWord.size(), m + 1);
        const __m128i hashes = _mm_set1_epi8('#');
        const __m128i cycleFirst = _mm_set1_epi8(CycleWord.front());
        const __m128i cycleLast = _mm_set1_epi8(CycleWord.back());
        const __m128i ipFirst = _mm_set1_epi8(m > 0 ? ip.front() : '#');
        const __m128i ipLast = _mm_set1_epi8(m > 0 ? ip.back() : '#');
        const __m128i delimiters = _mm_set1_epi8(delimiter);
        const __m128i quotes = _mm_set1_epi8('"');
        const __m128i blanks = _mm_set1_epi8(32);
        for (; i + reach + 16 <= n; i += 16) {
            const __m128i a = Load(t + i);
            __m128i hits = _mm_or_si128(
                _mm_cmpeq_epi8(a, hashes),
                _mm_and_si128(_mm_cmpeq_epi8(a, cycleFirst),
                              _mm_cmpeq_epi8(Load(t + i + CycleWord.size() - 1), cycleLast)));
            if (m > 0) {
                const __m128i after = Load(t + i + m);
                const __m128i bounded = _mm_or_si128(
                    _mm_cmpeq_epi8(_mm_min_epu8(after, blanks), after),
                    _mm_or_si128(_mm_cmpeq_epi8(after, delimiters), _mm_cmpeq_epi8(after, quotes)));
                hits = _mm_or_si128(
                    hits, _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(a, ipFirst), bounded),
                                        _mm_cmpeq_epi8(Load(t + i + m - 1), ipLast)));
            }
            for (auto candidates = unsigned(_mm_movemask_epi8(hits)); candidates;
                 candidates &= candidates - 1) {
                if (const qsizetype at = i + std::countr_zero(candidates); StartsHere(text, at))
                    return at;
            }
        }
#endif
        for (; i < n; ++i) {
            if (StartsHere(text, i))
                return i;
        }
        return -1;
    }

  private:
    static constexpr QByteArrayView CycleWord = "Cyclic_Count";

#if defined(__SSE2__)
    static __m128i Load(const char *at)
    {
        return _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
    }
#endif

    // Ends a piece as SplitFields reads it.
    bool Bound(char c) const
    {
        return static_cast<unsigned char>(c) <= 32 || c == delimiter || c == '"';
    }

    bool StartsHere(QByteArrayView text, qsizetype at) const
    {
        const QByteArrayView rest = text.sliced(at);
        if (rest.front() == '#' || rest.startsWith(CycleWord))
            return true;
        const qsizetype m = ip.size();
        return m > 0 && rest.startsWith(ip) && (at == 0 || Bound(text[at - 1])) &&
               (rest.size() == m || Bound(rest[m]));
    }

    QByteArrayView ip;
    char delimiter;
};

bool IsLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

// Where the line holding pos ends: the next CR or LF, or the text's end.
qsizetype LineEnd(QByteArrayView text, qsizetype pos)
{
    while (pos < text.size() && !IsLineEnd(text[pos]))
        ++pos;
    return pos;
}

// Past the line end at pos: CR LF counts as one.
qsizetype PastLineEnd(QByteArrayView text, qsizetype end)
{
    if (end < text.size() - 1 && text[end] == '\r' && text[end + 1] == '\n')
        return end + 2;
    return end + 1;
}

} // namespace

NodeViewer::NodeViewer(const LiveSettings &settings, MessageSink sink, QObject *parent)
    : QObject(parent), settings(settings), sink(std::move(sink)), caption(Title())
{
    readTimer.setSingleShot(true);
    readTimer.setInterval(0);
    turnGuard.setSingleShot(true);
    turnGuard.setInterval(0);
    connect(&readTimer, &QTimer::timeout, this, &NodeViewer::ReadLogTail);
}

bool NodeViewer::Start(const QString &ip, const QString &path)
{
    if (ip.isEmpty())
        return false;
    followedIp = ip;
    followedAddress = IpAddress::FromText(ip.trimmed());
    followedIpBytes = followedAddress ? followedAddress->ToText().toUtf8() : QByteArray();
    followedPath = path;
    grid.Reset();
    DropPendingRows();
    // Marks left by an earlier read would colour the rows above the log's
    // first banner: a read starts from nothing, as the first one did.
    marks = {};
    readPosition = 0;
    skippingLongLine = false;
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
    SetCaption(Title());
    grid.Reset();
    DropPendingRows();
}

void NodeViewer::RefreshNodeViewer()
{
    if (!live || readTimer.isActive())
        return;
    Q_EMIT followedFieldsRestored(followedIp, followedPath);
    // The first event of a turn of the event loop is read at once; events
    // that follow it in the same turn come in a burst (a /16 drops out),
    // and one read at the next turn takes them all.
    if (turnGuard.isActive()) {
        readTimer.start();
        return;
    }
    turnGuard.start();
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
    readTimer.stop();
    SetLive(false);
    sink(message);
}

void NodeViewer::ReadLogTail()
{
    readTimer.stop();
    if (!QFileInfo::exists(followedPath)) {
        SyncGrid();
        SetLive(false);
        Q_EMIT hideRequested();
        sink(QString::fromUtf8(QT_TRANSLATE_NOOP("MessageSink", "No log file fount.")));
        return;
    }
    if (flush)
        flush();
    QFile file(followedPath);
    if (!file.open(QIODevice::ReadOnly)) {
        SyncGrid();
        Fail(QString::fromUtf8(QT_TRANSLATE_NOOP("MessageSink", "Cannot open Log file.-1")));
        return;
    }
    delimiter = settings.Read().Delimiter().toLatin1();
    reader = LogLineReader(delimiter);
    SetCaption(Title() + u" : "_s + followedIp);
    // A log cut shorter meanwhile (copytruncate) goes on from its new end.
    const qint64 size = file.size();
    readPosition = std::min(readPosition, size);
    // The grid changes once, when the read is done: a read of a big log in
    // slices would otherwise have the window paint it between every two.
    if (ReadSlice(file, size)) {
        SyncGrid();
        SelectLatestRow();
    } else {
        readTimer.start();
    }
}

bool NodeViewer::ReadSlice(QFile &file, qint64 size)
{
    QElapsedTimer slice;
    slice.start();
    bool done = true;
    while (readPosition < size) {
        // Two buffers in turn: the rows still waiting for the grid hold
        // pieces of the last window, so most windows of a quiet log reach
        // the grid only as the few rows that outlive the next one. Waiting
        // rows from the window before are put in the grid before its buffer
        // is read into again.
        if (pendingCount > rowsOfLastWindow)
            SyncGrid();
        QByteArray &buffer = buffers[size_t(nextBuffer)];
        nextBuffer ^= 1;
        // Read, not mapped: a rotation tool may cut the log short meanwhile,
        // and a mapping past the new end would kill the program.
        const qint64 length = std::min(WindowSize, size - readPosition);
        buffer.resize(length);
        const qint64 got = file.seek(readPosition) ? file.read(buffer.data(), length) : -1;
        if (got < 0) {
            SyncGrid();
            Fail(u"Cannot read Log file. "_s + file.errorString());
            return true;
        }
        // A log cut short meanwhile ends here.
        const bool atEnd = got < length || readPosition + length == size;
        const qint64 rowsBefore = rowsMade;
        const qsizetype used = ProcessWindow(QByteArrayView(buffer.constData(), got));
        rowsOfLastWindow = int(std::min<qint64>(rowsMade - rowsBefore, pendingCount));
        readPosition += used;
        if (atEnd)
            break;
        if (slice.nsecsElapsed() > SliceNs) {
            done = false;
            break;
        }
    }
    return done;
}

qsizetype NodeViewer::ProcessWindow(QByteArrayView text)
{
    const qsizetype n = text.size();
    qsizetype pos = 0;
    window = text;
    gridCompleted = grid.RowCount() - 2;
    if (skippingLongLine) {
        // Skipped to its end, even where the file ends before it.
        pos = LineEnd(text, 0);
        skippingLongLine = pos == n;
        if (skippingLongLine)
            return n;
    }
    // Only lines with a "#", "Cyclic_Count" or the followed IP can change the
    // grid, so the reader jumps from one of these to the next instead of
    // looking at every line of a log that may hold millions.
    const InterestScanner scanner(followedIpBytes, delimiter);
    while (pos < n) {
        while (pos < n && IsLineEnd(text[pos]))
            ++pos;
        if (pos == n)
            break;
        // Quiet logs are mostly cycle lines, one after the other in the
        // log's own shape: those are read in place, in a run.
        if (text[pos] == '#') {
            pos += ReadWrittenCycleRun(text, pos);
            if (pos == n)
                break;
        }
        const qsizetype hit = scanner.Next(text, pos);
        // A line cut by the window's end may hold a pattern cut with it.
        qsizetype start = hit < 0 ? n : hit;
        while (start > pos && !IsLineEnd(text[start - 1]))
            --start;
        // The lines skipped hold nothing for the grid; a cycle line after
        // them goes back to the reading in place.
        if (hit >= 0 && start > pos && text[start] == '#') {
            pos = start;
            continue;
        }
        const qsizetype end = LineEnd(text, hit < 0 ? start : hit);
        if (end == n && start < n) {
            // A line longer than the whole window is no event line.
            if (start == 0 && n == WindowSize) {
                skippingLongLine = true;
                return n;
            }
            return start;
        }
        if (hit < 0)
            break;
        // Measured before it is read: a huge line costs no splitting.
        if (end - start <= MaxLineLength)
            ProcessLine(text.sliced(start, end - start));
        BoundRows();
        pos = PastLineEnd(text, end);
    }
    return n;
}

qsizetype NodeViewer::ReadWrittenCycleRun(QByteArrayView text, qsizetype pos)
{
    // The loop keeps the ring's state in locals: a quiet log brings millions
    // of these lines.
    const MarkCodes runMarks = marks;
    int count = pendingCount;
    int older = gridCompleted - droppedFromGrid;
    const qsizetype from = pos;
    std::span<WrittenCycleLine> lines = cycleLines;
    for (;;) {
        qsizetype used = 0;
        const qsizetype read = reader.ReadWrittenCycles(text.sliced(pos), lines, used);
        for (qsizetype i = 0; i < read; ++i) {
            const int at = pendingHead + count;
            PendingRow &row = pendingRows[size_t(at < PendingCapacity ? at : at - PendingCapacity)];
            row.marks = runMarks;
            row.textInBytes = true;
            row.statusBytes = lines[size_t(i)].countText;
            row.dateBytes = lines[size_t(i)].date;
            row.clockBytes = lines[size_t(i)].clock;
            ++count;
            if (older + count + 2 > NodeViewerGrid::MaxRows) {
                pendingCount = count;
                BoundRows();
                count = pendingCount;
                older = gridCompleted - droppedFromGrid;
            }
        }
        rowsMade += read;
        pos += used;
        if (read < qsizetype(lines.size()))
            break;
    }
    pendingCount = count;
    return pos - from;
}

void NodeViewer::ProcessLine(QByteArrayView text)
{
    const LogLine line = reader.Read(text);
    switch (line.kind) {
    case LogLineKind::Banner:
        StartBanner(line);
        break;
    case LogLineKind::Cycle:
        CycleRow(line);
        break;
    case LogLineKind::Node:
        // Only lines of seven pieces carry marks.
        if (line.pieces == 7 && CompletedRows() > 0 && line.ip && line.ip == followedAddress)
            MarkLine(line);
        break;
    case LogLineKind::Dropped:
    case LogLineKind::Other:
        break;
    }
}

void NodeViewer::StartBanner(const LogLine &line)
{
    for (int i = 0; i < TestCount; ++i)
        marks[size_t(i)] = (line.testMask & (1u << i)) ? Mark::None : Mark::Off;
    // The empty bottom row becomes the start row; the row below it opens
    // the scan with its cycle 0.
    PendingRow &start = NewPendingRow();
    start.marks = {};
    start.status = u"START"_s;
    PendingRow &zero = NewPendingRow();
    zero.status = u"0"_s;
    zero.time = line.DateTimeText();
}

void NodeViewer::CycleRow(const LogLine &line)
{
    PendingRow &row = NewPendingRow();
    const auto inWindow = [this](QByteArrayView piece) {
        return piece.data() >= window.data() && piece.end() <= window.end();
    };
    // Pieces the reader had to undouble quotes in live in the reader, and
    // only until its next line.
    if (inWindow(line.countText) && inWindow(line.date) && inWindow(line.clock)) {
        row.textInBytes = true;
        row.statusBytes = line.countText;
        row.dateBytes = line.date;
        row.clockBytes = line.clock;
    } else {
        row.status = QString::fromUtf8(line.countText);
        row.time = line.DateTimeText();
    }
}

void NodeViewer::MarkLine(const LogLine &line)
{
    MarkCodes &latest = LatestMarks();
    if (line.word == NodeWord::Test) {
        if (line.state == NodeState::On)
            latest[size_t(line.test)] =
                TestAddresses[size_t(line.test)].correct ? Mark::Correct : Mark::Wrong;
        else if (line.state == NodeState::Off)
            latest[size_t(line.test)] = Mark::None;
    }
    marks = latest;
}

NodeViewer::PendingRow &NodeViewer::NewPendingRow()
{
    PendingRow &row = PendingAt(pendingCount++);
    ++rowsMade;
    row.marks = marks;
    row.textInBytes = false;
    row.status.clear();
    row.time.clear();
    return row;
}

void NodeViewer::BoundRows()
{
    // The titles and the empty bottom row count too.
    if (CompletedRows() + 2 <= NodeViewerGrid::MaxRows)
        return;
    const int fromGrid = std::min(NodeViewerGrid::DropRows, gridCompleted - droppedFromGrid);
    droppedFromGrid += fromGrid;
    const int fromPending = NodeViewerGrid::DropRows - fromGrid;
    pendingHead = (pendingHead + fromPending) % PendingCapacity;
    pendingCount -= fromPending;
}

NodeViewer::MarkCodes &NodeViewer::LatestMarks()
{
    if (pendingCount > 0)
        return PendingAt(pendingCount - 1).marks;
    if (!gridLatestTouched) {
        gridLatestMarks = MarkCodesOf(grid.RowMarks(grid.RowCount() - 2));
        gridLatestTouched = true;
    }
    return gridLatestMarks;
}

void NodeViewer::SyncGrid()
{
    if (droppedFromGrid > 0)
        grid.DropOldest(droppedFromGrid);
    if (const int latest = gridCompleted - droppedFromGrid; gridLatestTouched && latest >= 1)
        grid.SetMarks(latest, MarkTexts(gridLatestMarks));
    if (pendingCount > 0) {
        QList<NodeViewerGrid::Row> rows;
        rows.reserve(pendingCount);
        for (int i = 0; i < pendingCount; ++i)
            rows.append(MaterializeRow(PendingAt(i)));
        grid.InsertAboveBottom(std::move(rows));
    }
    DropPendingRows();
}

void NodeViewer::DropPendingRows()
{
    pendingHead = 0;
    pendingCount = 0;
    rowsOfLastWindow = 0;
    droppedFromGrid = 0;
    gridLatestTouched = false;
    gridCompleted = grid.RowCount() - 2;
}

NodeViewerGrid::Row NodeViewer::MaterializeRow(const PendingRow &row) const
{
    NodeViewerGrid::Row cells;
    if (row.textInBytes) {
        cells[NodeViewerGrid::StatusColumn] = QString::fromUtf8(row.statusBytes);
        cells[NodeViewerGrid::TimeColumn] =
            QString::fromUtf8(row.dateBytes) + u' ' + QString::fromUtf8(row.clockBytes);
    } else {
        cells[NodeViewerGrid::StatusColumn] = row.status;
        cells[NodeViewerGrid::TimeColumn] = row.time;
    }
    const NodeViewerGrid::Marks texts = MarkTexts(row.marks);
    for (int i = 0; i < TestCount; ++i)
        cells[size_t(FirstResultColumn + i)] = texts[size_t(i)];
    return cells;
}

NodeViewerGrid::Marks NodeViewer::MarkTexts(const MarkCodes &codes)
{
    NodeViewerGrid::Marks texts;
    for (int i = 0; i < TestCount; ++i) {
        switch (codes[size_t(i)]) {
        case Mark::None:
            break;
        case Mark::Off:
            texts[size_t(i)] = u"-"_s;
            break;
        case Mark::Correct:
            texts[size_t(i)] = u"O"_s;
            break;
        case Mark::Wrong:
            texts[size_t(i)] = u"X"_s;
            break;
        }
    }
    return texts;
}

NodeViewer::MarkCodes NodeViewer::MarkCodesOf(const NodeViewerGrid::Marks &texts)
{
    MarkCodes codes{};
    for (int i = 0; i < TestCount; ++i) {
        const QString &t = texts[size_t(i)];
        codes[size_t(i)] = t == u"-"   ? Mark::Off
                           : t == u"O" ? Mark::Correct
                           : t == u"X" ? Mark::Wrong
                                       : Mark::None;
    }
    return codes;
}

void NodeViewer::SelectLatestRow()
{
    Q_EMIT latestRowSelected(grid.RowCount() - 2);
}

} // namespace keelwatch
