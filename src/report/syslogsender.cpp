#include "report/syslogsender.h"

#include "config/addresstext.h"
#include "config/datetimetext.h"
#include "report/hostname.h"
#include "report/syslog5424.h"

#include <QCoreApplication>
#include <QDir>
#include <QHostAddress>
#include <QStandardPaths>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

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

QString DefaultSyslogSpoolFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           u"/Quillstone/keelwatch"_s;
}

SyslogSender::SyslogSender(const LiveSettings &settings, EventWindows &windows, quint16 serverPort,
                           quint16 preferredLocalPort, QString spoolFolder, QObject *parent)
    : QObject(parent), settings(settings), windows(windows), serverPort(serverPort),
      spoolFolder(spoolFolder.isEmpty() ? DefaultSyslogSpoolFolder() : std::move(spoolFolder))
{
    // Blocking sends: a burst of events waits for room in the send buffer
    // instead of losing datagrams; reads never wait.
    datagramSocket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    // No address sharing: with SO_REUSEADDR on both sides a local syslog
    // daemon's port would be shared with us, and its datagrams discarded here.
    const auto bindTo = [this](quint16 port) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(port);
        local.sin_addr.s_addr = htonl(INADDR_ANY);
        return ::bind(datagramSocket, reinterpret_cast<const sockaddr *>(&local), sizeof local) ==
               0;
    };
    if (datagramSocket >= 0 && !bindTo(preferredLocalPort) && !bindTo(0)) {
        ::close(datagramSocket);
        datagramSocket = -1;
    }
    if (datagramSocket >= 0) {
        // A connected socket is readable when the server's host answers
        // "port unreachable"; anything else that comes is discarded.
        datagramReadable = std::make_unique<QSocketNotifier>(datagramSocket, QSocketNotifier::Read);
        connect(datagramReadable.get(), &QSocketNotifier::activated, this,
                &SyslogSender::ReadSocket);
    }
    datagramsQuiet.setSingleShot(true);
    datagramsQuiet.setInterval(1000);
    connect(&datagramsQuiet, &QTimer::timeout, this, [this] {
        if (std::exchange(datagramsFailing, false))
            this->windows.ShowDeliveryNote(
                u"Syslog to %1 over UDP: the server takes datagrams again."_s.arg(
                    datagramServerText));
    });
}

SyslogSender::~SyslogSender()
{
    datagramReadable.reset();
    if (datagramSocket >= 0)
        ::close(datagramSocket);
}

void SyslogSender::ReportOnce(const QString &text)
{
    if (reported.contains(text))
        return;
    reported.insert(text);
    windows.ShowMessageBox(text);
}

QByteArray SyslogSender::Format(const SyslogEvent &event, const Settings &s) const
{
    return s.syslogRfc5424
               ? Rfc5424Datagram(event, SystemHostName(), QCoreApplication::applicationPid(),
                                 s.syslogMaxBytes)
               : SyslogDatagram(event.when, event.severity, LocalHostName(), event.text);
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
        ReportOnce(QString::fromUtf8(
            QT_TRANSLATE_NOOP("MessageSink", "Wrong IP address for SYSLOG server.")));
        return;
    }
    const quint32 destination = s.syslogServer->ToIpv4();
    if (destination == 0) {
        ReportOnce(QString::fromUtf8(QT_TRANSLATE_NOOP("MessageSink", "Null Remote Address")));
        return;
    }
    const QString plain = QHostAddress(destination).toString();
    const QByteArray message = Format(event, s);
    const SyslogTransport transport = s.syslogTransport;
    if (transport == SyslogTransport::Udp) {
        stream.reset();
        SendDatagram(destination, plain, message);
        return;
    }
    const quint16 standard = transport == SyslogTransport::Tls ? SyslogTlsPort : SyslogPort;
    SendStream({transport, plain, serverPort != 0 ? serverPort : standard, s.syslogCaFile,
                s.syslogCertFile, s.SyslogSpoolBytes()},
               message, event.when.isValid() ? event.when.toMSecsSinceEpoch() : 0);
}

void SyslogSender::SendStream(const SyslogStreamTarget &target, const QByteArray &message,
                              qint64 whenMSecs)
{
    if (!stream || stream->Target() != target) {
        // The old stream's spool stays on disk for when its server is used again.
        stream.reset();
        auto spool =
            std::make_unique<SyslogSpool>(QDir(spoolFolder)
                                              .filePath(u"syslog-%1-%2-%3.spool"_s.arg(
                                                  SyslogTransportWord(target.transport),
                                                  target.server, QString::number(target.port))),
                                          target.spoolBytes);
        if (const QString reason = spool->Open(); !reason.isEmpty())
            windows.ShowDeliveryNote(
                u"Syslog spool %1: %2; waiting messages are kept in memory only."_s.arg(spoolFolder,
                                                                                        reason));
        const auto dropNote = [this](const SyslogSpool::Dropped &dropped) {
            const QDateTime first = QDateTime::fromMSecsSinceEpoch(dropped.firstMSecs);
            const QDateTime last = QDateTime::fromMSecsSinceEpoch(dropped.lastMSecs);
            const QString words = u"SPOOL DROPPED"_s;
            return Format({.when = QDateTime::currentDateTime(),
                           .severity = SeverityWarning,
                           .text = u"%1 %2 messages between %3 and %4"_s.arg(words)
                                       .arg(dropped.count)
                                       .arg(DateTimeText(first), DateTimeText(last)),
                           .event = words},
                          settings.Read());
        };
        stream = std::make_unique<SyslogStream>(
            target, std::move(spool),
            [this](const QString &text) { windows.ShowDeliveryNote(text); }, dropNote);
    }
    stream->Send(message, whenMSecs);
}

void SyslogSender::SendDatagram(quint32 server, const QString &serverText,
                                const QByteArray &datagram)
{
    if (datagramSocket < 0) {
        ReportOnce(u"Cannot send syslog to "_s + serverText + u": no UDP socket"_s);
        return;
    }
    const quint16 port = serverPort != 0 ? serverPort : SyslogPort;
    if (server != connectedServer) {
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_port = htons(port);
        peer.sin_addr.s_addr = htonl(server);
        if (::connect(datagramSocket, reinterpret_cast<const sockaddr *>(&peer), sizeof peer) !=
            0) {
            DatagramsFailed(QString::fromLocal8Bit(std::strerror(errno)));
            return;
        }
        connectedServer = server;
        datagramServerText = serverText;
        datagramsFailing = false;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (::send(datagramSocket, datagram.constData(), size_t(datagram.size()), 0) >= 0) {
            if (datagramsFailing)
                datagramsQuiet.start();
            return;
        }
        // The refusal of an earlier datagram comes back at this send, which
        // it fails: once it is taken, this datagram can go.
        DatagramsFailed(QString::fromLocal8Bit(std::strerror(errno)));
        if (errno != ECONNREFUSED)
            return;
    }
}

void SyslogSender::ReadSocket()
{
    char discard[512];
    for (;;) {
        if (::recv(datagramSocket, discard, sizeof discard, MSG_DONTWAIT) >= 0)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return;
        if (errno != EINTR)
            DatagramsFailed(QString::fromLocal8Bit(std::strerror(errno)));
    }
}

void SyslogSender::DatagramsFailed(const QString &reason)
{
    datagramsQuiet.stop();
    if (std::exchange(datagramsFailing, true))
        return;
    windows.ShowDeliveryNote(
        u"Syslog to %1 over UDP: %2; events sent meanwhile do not reach the server."_s.arg(
            datagramServerText, reason));
}

quint16 SyslogSender::LocalPort() const
{
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (datagramSocket < 0 ||
        ::getsockname(datagramSocket, reinterpret_cast<sockaddr *>(&local), &length) != 0)
        return 0;
    return ntohs(local.sin_port);
}

qsizetype SyslogSender::WaitingMessages() const
{
    return stream ? stream->Waiting() : 0;
}

} // namespace keelwatch
