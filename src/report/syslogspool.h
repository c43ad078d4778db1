#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <deque>
#include <utility>

namespace keelwatch {

// The syslog messages a stream to the server has not yet delivered, oldest
// first, kept in memory and mirrored to a file so that a restart delivers
// them too. Bounded: a message that does not fit pushes out the oldest ones,
// which are counted with their times so a note can tell of them. A file that
// cannot be written leaves the spool working in memory alone.
class SyslogSpool
{
  public:
    struct Dropped
    {
        qint64 count = 0;
        qint64 firstMSecs = 0;
        qint64 lastMSecs = 0;
    };

    SyslogSpool(const QString &path, qint64 limitBytes);
    ~SyslogSpool();
    SyslogSpool(const SyslogSpool &) = delete;
    SyslogSpool &operator=(const SyslogSpool &) = delete;

    // Takes over what an earlier run left in the file. Returns why the file
    // cannot be used, empty when it can.
    QString Open();

    void Append(const QByteArray &message, qint64 whenMSecs);
    // Removes the oldest count messages: the server has them.
    void RemoveDelivered(qsizetype count);
    // Forgets count of the dropped messages: a note told of them.
    void ForgetDropped(qint64 count);

    qsizetype Count() const { return qsizetype(messages.size()); }
    const QByteArray &At(qsizetype i) const { return messages[size_t(i)].bytes; }
    const Dropped &DroppedSoFar() const { return dropped; }
    // The file's failure since the last call, empty if none.
    QString TakeFileError() { return std::exchange(fileError, QString()); }

  private:
    struct Message
    {
        QByteArray bytes;
        qint64 whenMSecs;
    };

    void DropOldest();
    void WriteHeader();
    void WriteRecord(const Message &message);
    void Compact();
    void FileFailed();
    bool Load(const QByteArray &content);

    QFile file;
    const qint64 limitBytes;
    std::deque<Message> messages;
    qint64 bytes = 0;
    Dropped dropped;
    // Where the oldest kept record and the end of the records are in the file.
    qint64 headOffset = 0;
    qint64 tailOffset = 0;
    bool mirrored = false;
    QString fileError;
};

} // namespace keelwatch
