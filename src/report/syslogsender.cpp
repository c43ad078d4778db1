#include "report/syslogsender.h"

#include "config/addresstext.h"
#include "config/datetimetext.h"
#include "report/hostname.h"
#include "report/syslog5424.h"

#include <QCoreApplication>
#include <QHostAddress>

#include <netinet/in.h>
#include <sys/socket.h>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

QByteArray SyslogTimestamp(const QDateTime &when)
{
    const QDate date = when.date();
    const QTime time = when.time();
    return u"%1 %2 %3:%4:%5 "_s.arg(EnglishMonth(date.month()))
        .arg(date.day(), 2, 10, QChar(u' '))
        .arg(time.hour(), 2, 10, QChar(u'0'))
        .arg(time.minute(), 2, 10, QChar(u'0'))
        .arg(time.second(), 2, 10, QChar(u'0'))
        .toLatin1();
}

} // namespace

QByteArray SyslogDatagram(const QDateTime &when, int severity, const QByteArray &host,
                          const QString &text)
{
    return '<' + QByteArray::number(LocalFacilityPriority + severity) + '>' +
           SyslogTimestamp(when) + host + " KEELWATCH: " + text.toLatin1();
}

SyslogSender::SyslogSender(const LiveSettings &settings, EventWindows &windows, quint16 serverPort,
                           quint16 preferredLocalPort, QObject *parent)
    : QObject(parent), settings(settings), windows(windows), serverPort(serverPort)
{
    // No address sharing: with SO_REUSEADDR on both sides a local syslog
    // daemon's port would be shared with us, and its datagrams discarded here.
    if (!socket.bind(QHostAddress::AnyIPv4, preferredLocalPort, QUdpSocket::DontShareAddress))
        socket.bind(QHostAddress::AnyIPv4, 0, QUdpSocket::DontShareAddress);
    // Without this an unconnected socket drops the server's "port
    // unreachable" silently; with it the next send fails and says why.
    if (socket.socketDescriptor() >= 0) {
        const int on = 1;
        ::setsockopt(int(socket.socketDescriptor()), IPPROTO_IP, IP_RECVERR, &on, sizeof on);
    }
    connect(&socket, &QUdpSocket::readyRead, this, &SyslogSender::DiscardIncoming);
    connect(&socket, &QUdpSocket::errorOccurred, this, [this] { ReportSendFailure(); });
}

void SyslogSender::ReportOnce(const QString &text)
{
    if (reported.contains(text))
        return;
    reported.insert(text);
    windows.ShowMessageBox(text);
}

void SyslogSender::ReportSendFailure()
{
    if (!lastServer.isEmpty())
        ReportOnce(u"Cannot send syslog to "_s + lastServer + u": "_s + socket.errorString());
}

void SyslogSender::SendSyslog(const SyslogEvent &event)
{
    // A scan's first event: its failures may be told again.
    if (event.event == u"START")
        reported.clear();
    const Settings s = settings.Read();
    if (!s.syslog)
        return;
    if (!s.syslogServer) {
        ReportOnce(u"Wrong IP address for SYSLOG server."_s);
        return;
    }
    const QHostAddress destination(s.syslogServer->ToIpv4());
    if (destination == QHostAddress::AnyIPv4) {
        ReportOnce(u"Null Remote Address"_s);
        return;
    }
    lastServer = s.syslogServer->ToText();
    const QByteArray datagram =
        s.syslogRfc5424
            ? Rfc5424Datagram(event, SystemHostName(), QCoreApplication::applicationPid())
            : SyslogDatagram(event.when, event.severity, LocalHostName(), event.text);
    if (socket.writeDatagram(datagram, destination, serverPort) < 0)
        ReportSendFailure();
}

quint16 SyslogSender::LocalPort() const
{
    return socket.localPort();
}

void SyslogSender::DiscardIncoming()
{
    while (socket.hasPendingDatagrams())
        socket.readDatagram(nullptr, 0);
}

} // namespace keelwatch
