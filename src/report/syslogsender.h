#pragma once

#include "config/settings.h"
#include "report/eventline.h"
#include "report/eventwindows.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUdpSocket>

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

// Sends the event datagrams to UDP port 514 of the "Server IP" while "Send
// Syslog" is checked, in the BSD form or, when the settings ask for it, in
// RFC 5424. One socket for the
// whole run, bound to local port 514 when that port is free and to a port the
// system picks otherwise. A failure (a wrong server text, a server that
// refuses, a send the system refuses) is told once per scan: each text once
// until the next START event.
class SyslogSender : public QObject, public SyslogSink
{
    Q_OBJECT

  public:
    static constexpr quint16 SyslogPort = 514;

    // The ports differ from 514 only in tests that run without a lab host.
    SyslogSender(const LiveSettings &settings, EventWindows &windows,
                 quint16 serverPort = SyslogPort, quint16 preferredLocalPort = SyslogPort,
                 QObject *parent = nullptr);

    void SendSyslog(const SyslogEvent &event) override;

    // The local port the datagrams leave from, 0 if no socket could be bound.
    quint16 LocalPort() const;

  private:
    void DiscardIncoming();
    void ReportOnce(const QString &text);
    void ReportSendFailure();

    const LiveSettings &settings;
    EventWindows &windows;
    const quint16 serverPort;
    QUdpSocket socket;
    QString lastServer;
    QSet<QString> reported;
};

} // namespace keelwatch
