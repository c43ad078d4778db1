#pragma once

#include "config/settings.h"
#include "report/eventline.h"
#include "report/eventwindows.h"
#include "report/syslogstream.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QSet>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include <memory>

namespace keelwatch {

// Where the event log forwards its events.
class SyslogSink
{
  public:
    virtual ~SyslogSink() = default;
    virtual void SendSyslog(const SyslogEvent &event) = 0;
};

// The BSD syslog datagram: "<" 160 + severity ">", "mmm dd hh:nn:ss " (the
// day as " d" on the 1st to the 9th), the host name, " KEELWATCH: " and the
// text; no line end.
QByteArray SyslogDatagram(const QDateTime &when, int severity, const QByteArray &host,
                          const QString &text);

// The folder of the syslog spools: Quillstone/keelwatch in the user's data
// folder.
QString DefaultSyslogSpoolFolder();

// Sends the events to the "Server IP" while "Send Syslog" is checked, in the
// BSD form or, when the settings ask for it, in RFC 5424, over the transport
// the settings choose:
// - UDP (the default): one datagram each to port 514, from one socket bound
//   to local port 514 when that port is free and to a port the system picks
//   otherwise. The socket is connected to the server, so a "port
//   unreachable" comes back to it: the outage is told once, and so is its
//   end.
// - TCP to port 514 or TLS to port 6514: a SyslogStream that keeps what the
//   server has not yet taken in a spool file in spoolFolder.
// A wrong server text is told once per scan: each text once until the next
// START event. Outages and their end go to the windows' delivery notes.
class SyslogSender : public QObject, public SyslogSink
{
    Q_OBJECT

  public:
    static constexpr quint16 SyslogPort = 514;
    static constexpr quint16 SyslogTlsPort = 6514;

    // The ports differ from the standard ones only in tests that run without
    // a lab host: serverPort 0 takes the transport's own.
    SyslogSender(const LiveSettings &settings, EventWindows &windows, quint16 serverPort = 0,
                 quint16 preferredLocalPort = SyslogPort, QString spoolFolder = QString(),
                 QObject *parent = nullptr);
    ~SyslogSender() override;

    void SendSyslog(const SyslogEvent &event) override;

    // The local port the datagrams leave from, 0 if no socket could be bound.
    quint16 LocalPort() const;
    // Messages of the TCP or TLS stream not yet known to be delivered.
    qsizetype WaitingMessages() const;

  private:
    void ReportOnce(const QString &text);
    void SendDatagram(quint32 server, const QString &serverText, const QByteArray &datagram);
    void ReadSocket();
    void DatagramsFailed(const QString &reason);
    // A change of the server, its transport, its files or the spool's bound
    // starts a new stream; the old one's spool stays on disk.
    void SendStream(const SyslogStreamTarget &target, const QByteArray &message, qint64 whenMSecs);
    QByteArray Format(const SyslogEvent &event, const Settings &s) const;

    const LiveSettings &settings;
    EventWindows &windows;
    const quint16 serverPort;
    const QString spoolFolder;
    QSet<QString> reported;

    int datagramSocket = -1;
    std::unique_ptr<QSocketNotifier> datagramReadable;
    // The server the socket is connected to; 0 before the first datagram.
    quint32 connectedServer = 0;
    QString datagramServerText;
    bool datagramsFailing = false;
    // Runs out when datagrams have gone unanswered by an error for a while
    // after an outage: the server takes them again.
    QTimer datagramsQuiet;

    std::unique_ptr<SyslogStream> stream;
};

} // namespace keelwatch
