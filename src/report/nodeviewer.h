#pragma once

#include "config/addresstext.h"
#include "config/settings.h"
#include "report/nodeviewergrid.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QString>

#include <functional>

namespace keelwatch {

// The node viewer without its window: follows one IP through the event log,
// one grid row per scan start and per cycle, the node's logged answers as
// marks in the latest row. Lives on the main thread; the event log calls
// RefreshNodeViewer after each event and ResetReadPosition when it rotates.
class NodeViewer : public QObject
{
    Q_OBJECT

  public:
    // Log files of 4 GiB or more are refused.
    static constexpr qint64 MaxLogSize = qint64(1) << 32;

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
    // While live: reads the lines logged since the last read.
    void RefreshNodeViewer();
    // The log was rotated: the next read starts at the new file's beginning.
    void ResetReadPosition() { readPosition = 0; }

    // Processes the log's bytes past the read position through a read-only
    // mapping. Failures end live mode and go to the sink.
    void ReadLogTail();

    bool IsLive() const { return live; }
    QString FollowedIp() const { return followedIp; }
    QString FollowedPath() const { return followedPath; }
    qint64 ReadPosition() const { return readPosition; }
    QString Caption() const { return caption; }
    NodeViewerGrid::Marks CurrentMarks() const { return marks; }

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
    void SetLive(bool on);
    void SetCaption(const QString &text);
    void Fail(const QString &message);
    void ProcessLines(QByteArrayView text, QChar delimiter);
    void ProcessLine(QByteArrayView line, QChar delimiter);
    void StartBanner(const QStringList &pieces);
    void CycleLine(const QStringList &pieces);
    void MarkLine(const QStringList &pieces);
    void SelectLatestRow();

    const LiveSettings &settings;
    MessageSink sink;
    std::function<void()> flush;
    NodeViewerGrid grid;
    QString followedIp;
    QByteArray followedIpBytes;
    QString followedPath;
    qint64 readPosition = 0;
    bool live = false;
    QString caption;
    NodeViewerGrid::Marks marks;
};

} // namespace keelwatch
