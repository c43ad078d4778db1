#pragma once

#include "config/addresstext.h"
#include "config/settings.h"
#include "report/eventline.h"
#include "report/nodeviewergrid.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class QFile;

namespace keelwatch {

// The node viewer without its window: follows one IP through the event log,
// one grid row per scan start and per cycle, the node's logged answers as
// marks in the latest row. Lives on the main thread; the event log calls
// RefreshNodeViewer after each event and ResetReadPosition when it rotates.
//
// The log is read as a stream in windows of a few megabytes, whatever its
// size. A read that takes longer than a slice of time goes on at the event
// loop's next turn, so the window stays responsive over a log of gigabytes;
// the grid changes when the read is done, as if the whole log had been read
// at once.
class NodeViewer : public QObject
{
    Q_OBJECT

  public:
    // Bytes read from the log at a time: the buffer stays in the cache.
    static constexpr qint64 WindowSize = qint64(1) << 20;
    // A longer line is no event line: it is skipped without being split.
    static constexpr qint64 MaxLineLength = 64 * 1024;

    NodeViewer(const LiveSettings &settings, MessageSink sink, QObject *parent = nullptr);

    NodeViewerGrid &Grid() { return grid; }
    const NodeViewerGrid &Grid() const { return grid; }

    // Writes the event log's pending lines to its file before each read.
    void SetFlush(std::function<void()> flushLog) { flush = std::move(flushLog); }

    // "Start": follows ip in the log at path from its beginning, live. An
    // empty ip does nothing and returns false.
    bool Start(const QString &ip, const QString &path);
    // "Stop": ends live mode; the grid stays.
    void Stop();
    // "Clear": the titles and one empty row; the read position stays.
    void Clear();
    // While live: reads the lines logged since the last read; later events
    // of the same turn of the event loop are read at its next turn, so that
    // a burst of events costs two reads.
    void RefreshNodeViewer();
    // The log was rotated: the next read starts at the new file's beginning.
    void ResetReadPosition()
    {
        readPosition = 0;
        skippingLongLine = false;
    }

    // Processes the log's bytes past the read position, for one slice of
    // time; the rest follows at the event loop's next turn. An empty log is
    // nothing yet. Failures end live mode and go to the sink.
    void ReadLogTail();

    bool IsLive() const { return live; }
    // A read is under way or waits for the event loop.
    bool IsReading() const { return readTimer.isActive(); }
    QString FollowedIp() const { return followedIp; }
    QString FollowedPath() const { return followedPath; }
    qint64 ReadPosition() const { return readPosition; }
    QString Caption() const { return caption; }
    NodeViewerGrid::Marks CurrentMarks() const { return MarkTexts(marks); }

  Q_SIGNALS:
    void liveChanged(bool live);
    void captionChanged(const QString &caption);
    // The log file is missing: the window hides.
    void hideRequested();
    // A refresh puts the followed IP and path back into the window's fields.
    void followedFieldsRestored(const QString &ip, const QString &path);
    // The latest row, as a grid row, should be the selected one.
    void latestRowSelected(int row);

  private:
    // A result mark as the grid rows read from the log can hold it.
    enum class Mark : std::uint8_t { None, Off, Correct, Wrong };
    using MarkCodes = std::array<Mark, TestCount>;

    // A row read in the current window, before it reaches the grid. Its
    // texts are QStrings or, for cycle lines, pieces of the window's bytes.
    // What a cycle line read in place writes comes first, in one cache line.
    struct alignas(64) PendingRow
    {
        QByteArrayView statusBytes;
        QByteArrayView dateBytes;
        QByteArrayView clockBytes;
        MarkCodes marks{};
        // The texts are the pieces above rather than status and time.
        bool textInBytes = false;
        QString status;
        QString time;
    };

    void SetLive(bool on);
    void SetCaption(const QString &text);
    void Fail(const QString &message);
    // Reads windows until the slice of time is used up; false when more
    // remains. The rows read wait for the grid until the read is done.
    bool ReadSlice(QFile &file, qint64 size);
    // Processes the window's complete lines from its start; returns how many
    // bytes were used. A line not ended yet waits for the next window, or
    // at the file's end for the rest of it, so that every read of the same
    // bytes gives the same rows.
    qsizetype ProcessWindow(QByteArrayView text);
    // Cycle lines one after the other in exactly the shape the event log
    // writes, from pos on; the bytes they take.
    qsizetype ReadWrittenCycleRun(QByteArrayView text, qsizetype pos);
    void ProcessLine(QByteArrayView text);
    void StartBanner(const LogLine &line);
    void CycleRow(const LogLine &line);
    void MarkLine(const LogLine &line);
    // A new row below the others, with the current marks.
    PendingRow &NewPendingRow();
    PendingRow &PendingAt(int i)
    {
        return pendingRows[size_t((pendingHead + i) % PendingCapacity)];
    }
    void BoundRows();
    int CompletedRows() const { return gridCompleted - droppedFromGrid + pendingCount; }
    MarkCodes &LatestMarks();
    // Hands the rows read to the grid.
    void SyncGrid();
    // Forgets the rows read that wait for the grid.
    void DropPendingRows();
    NodeViewerGrid::Row MaterializeRow(const PendingRow &row) const;
    static NodeViewerGrid::Marks MarkTexts(const MarkCodes &codes);
    static MarkCodes MarkCodesOf(const NodeViewerGrid::Marks &texts);
    void SelectLatestRow();

    const LiveSettings &settings;
    MessageSink sink;
    std::function<void()> flush;
    NodeViewerGrid grid;
    QString followedIp;
    // The followed IP as a value and as the log writes it; none for a text
    // that is no IP, which no line matches.
    std::optional<IpAddress> followedAddress;
    QByteArray followedIpBytes;
    QString followedPath;
    qint64 readPosition = 0;
    bool live = false;
    QString caption;
    MarkCodes marks{};
    char delimiter = '\t';
    LogLineReader reader{delimiter};
    // The windows are read into these in turn.
    std::array<QByteArray, 2> buffers;
    int nextBuffer = 0;
    // The window being processed.
    QByteArrayView window;
    // Cycle lines read in place, a batch at a time.
    std::array<WrittenCycleLine, 256> cycleLines;
    QTimer readTimer;
    // Runs out at the event loop's next turn.
    QTimer turnGuard;
    // Set while a line longer than a window is being skipped.
    bool skippingLongLine = false;

    // The window's effect on the grid: completed rows (all but the empty
    // bottom row) dropped from the grid's top, new rows, and the new marks
    // of the grid's latest row.
    // The new rows are a ring: the grid's bound drops them from the front
    // by the thousand, and a quiet log brings millions.
    static constexpr int PendingCapacity = NodeViewerGrid::MaxRows + 2;
    int gridCompleted = 0;
    int droppedFromGrid = 0;
    std::vector<PendingRow> pendingRows{size_t(PendingCapacity)};
    int pendingHead = 0;
    int pendingCount = 0;
    // Rows of the last window among them.
    int rowsOfLastWindow = 0;
    // Every row ever added to the pending rows.
    qint64 rowsMade = 0;
    bool gridLatestTouched = false;
    MarkCodes gridLatestMarks{};
};

} // namespace keelwatch
