#pragma once

#include "config/settings.h"
#include "report/syslogspool.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTcpSocket>
#include <QTimer>

#include <functional>
#include <memory>

namespace keelwatch {

// Where a syslog stream goes and how.
struct SyslogStreamTarget
{
    SyslogTransport transport = SyslogTransport::Tcp;
    QString server; // dotted IPv4
    quint16 port = 0;
    // TLS only: PEM files, see Settings.
    QString caFile;
    QString certFile;
    // The spool's bound.
    qint64 spoolBytes = 0;

    bool operator==(const SyslogStreamTarget &) const = default;
};

// Syslog over TCP (RFC 6587 octet counting: the length in decimal, a blank,
// the message) or TLS (RFC 5425, the same framing). Every message goes
// through the spool and leaves it only once the server's side has
// acknowledged every byte written, so a server that goes away loses nothing
// the spool can hold: the connection is tried again with a growing pause and
// the spool is delivered in order. The spool's counted drops are told to the
// server in a message of their own before the oldest kept one.
class SyslogStream : public QObject
{
    Q_OBJECT

  public:
    using NoteSink = std::function<void(const QString &text)>;
    // Builds the message that tells the server of dropped messages.
    using DropNote = std::function<QByteArray(const SyslogSpool::Dropped &dropped)>;

    static constexpr int FirstRetryMs = 500;
    static constexpr int LastRetryMs = 8000;
    // A connection (and for TLS its handshake) that has not come about by
    // then is given up and tried again: a SYN whose answer went astray would
    // otherwise wait minutes for the system's own limit.
    static constexpr int AnswerTimeoutMs = 10000;

    SyslogStream(const SyslogStreamTarget &target, std::unique_ptr<SyslogSpool> spool,
                 NoteSink notes, DropNote dropNote, QObject *parent = nullptr,
                 int answerTimeoutMs = AnswerTimeoutMs);
    // Waits a moment for the last messages to be acknowledged, so that a
    // normal exit leaves nothing to be sent twice at the next start.
    ~SyslogStream() override;

    const SyslogStreamTarget &Target() const { return target; }
    void Send(const QByteArray &message, qint64 whenMSecs);
    // Messages not yet known to be delivered.
    qsizetype Waiting() const { return spool->Count(); }

  private:
    void Connect();
    void Connected();
    void Lost(const QString &reason);
    void WriteWaiting();
    // Whether every byte written has been acknowledged by the server's side.
    bool AllAcknowledged() const;
    void ConfirmDelivery();
    void ReportSpoolState();
    QString Describe() const;

    const SyslogStreamTarget target;
    std::unique_ptr<SyslogSpool> spool;
    NoteSink notes;
    DropNote dropNote;

    std::unique_ptr<QTcpSocket> socket;
    bool connected = false;
    // Messages of the spool written on this connection, not yet confirmed.
    qsizetype written = 0;
    // Dropped messages told of on this connection, not yet confirmed.
    qint64 droppedTold = 0;
    QTimer retryTimer;
    int retryMs = FirstRetryMs;
    QTimer answerTimer;
    QTimer confirmTimer;
    // Told once each until the server answers again.
    bool outageTold = false;
    bool dropsTold = false;
};

} // namespace keelwatch
