#include "report/syslogstream.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QThread>

#include <linux/sockios.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

constexpr int ConfirmIntervalMs = 50;
constexpr int ExitWaitMs = 1000;

QByteArray Framed(const QByteArray &message)
{
    return QByteArray::number(message.size()) + ' ' + message;
}

// The TLS settings of the files, or why they cannot be used.
QString ConfigureTls(QSslSocket &socket, const SyslogStreamTarget &target)
{
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    if (!target.caFile.isEmpty()) {
        const QList<QSslCertificate> authorities = QSslCertificate::fromPath(target.caFile);
        if (authorities.isEmpty())
            return u"no certificate in the CA file %1"_s.arg(target.caFile);
        config.setCaCertificates(authorities);
    }
    if (!target.certFile.isEmpty()) {
        QFile file(target.certFile);
        if (!file.open(QIODevice::ReadOnly))
            return u"cannot read %1: %2"_s.arg(target.certFile, file.errorString());
        const QByteArray pem = file.readAll();
        const QList<QSslCertificate> certificates = QSslCertificate::fromData(pem);
        QSslKey key;
        for (const QSsl::KeyAlgorithm algorithm : {QSsl::Rsa, QSsl::Ec, QSsl::Dsa}) {
            key = QSslKey(pem, algorithm);
            if (!key.isNull())
                break;
        }
        if (certificates.isEmpty() || key.isNull())
            return u"%1 holds no certificate with its private key"_s.arg(target.certFile);
        config.setLocalCertificate(certificates.first());
        config.setPrivateKey(key);
    }
    config.setProtocol(QSsl::TlsV1_2OrLater);
    socket.setSslConfiguration(config);
    return QString();
}

} // namespace

SyslogStream::SyslogStream(const SyslogStreamTarget &target, std::unique_ptr<SyslogSpool> spool,
                           NoteSink notes, DropNote dropNote, QObject *parent, int answerTimeoutMs)
    : QObject(parent), target(target), spool(std::move(spool)), notes(std::move(notes)),
      dropNote(std::move(dropNote))
{
    retryTimer.setSingleShot(true);
    connect(&retryTimer, &QTimer::timeout, this, &SyslogStream::Connect);
    answerTimer.setSingleShot(true);
    answerTimer.setInterval(answerTimeoutMs);
    connect(&answerTimer, &QTimer::timeout, this, [this, answerTimeoutMs] {
        Lost(u"no answer within %1 s"_s.arg(answerTimeoutMs / 1000.0));
    });
    confirmTimer.setInterval(ConfirmIntervalMs);
    connect(&confirmTimer, &QTimer::timeout, this, &SyslogStream::ConfirmDelivery);
    Connect();
}

SyslogStream::~SyslogStream()
{
    if (!socket)
        return;
    // Closing the socket signals a loss, which no longer concerns anyone.
    socket->disconnect(this);
    if (!connected || written == 0)
        return;
    socket->flush();
    const QDeadlineTimer deadline(ExitWaitMs);
    while (!AllAcknowledged() && !deadline.hasExpired() &&
           socket->state() == QAbstractSocket::ConnectedState) {
        socket->waitForBytesWritten(ConfirmIntervalMs);
        QThread::msleep(10);
    }
    if (AllAcknowledged())
        ConfirmDelivery();
    socket->abort();
}

QString SyslogStream::Describe() const
{
    return u"Syslog to %1 over %2"_s.arg(
        target.server, target.transport == SyslogTransport::Tls ? u"TLS"_s : u"TCP"_s);
}

void SyslogStream::Send(const QByteArray &message, qint64 whenMSecs)
{
    spool->Append(message, whenMSecs);
    ReportSpoolState();
    if (connected)
        WriteWaiting();
}

void SyslogStream::Connect()
{
    connected = false;
    written = 0;
    droppedTold = 0;
    if (socket) {
        socket->disconnect(this);
        socket->abort();
        // Deleted later: this may run inside one of its signals.
        socket.release()->deleteLater();
    }
    if (target.transport == SyslogTransport::Tls) {
        auto tls = std::make_unique<QSslSocket>();
        if (const QString reason = ConfigureTls(*tls, target); !reason.isEmpty()) {
            Lost(reason);
            return;
        }
        connect(tls.get(), &QSslSocket::encrypted, this, &SyslogStream::Connected);
        socket = std::move(tls);
    } else {
        socket = std::make_unique<QTcpSocket>();
        connect(socket.get(), &QTcpSocket::connected, this, &SyslogStream::Connected);
    }
    connect(socket.get(), &QTcpSocket::errorOccurred, this,
            [this] { Lost(socket->errorString()); });
    connect(socket.get(), &QTcpSocket::disconnected, this,
            [this] { Lost(u"the server closed the connection"_s); });
    // A syslog server sends nothing; whatever comes is dropped.
    connect(socket.get(), &QTcpSocket::readyRead, this, [this] { socket->readAll(); });
    connect(socket.get(), &QTcpSocket::bytesWritten, this, &SyslogStream::ConfirmDelivery);
    answerTimer.start();
    if (auto *tls = qobject_cast<QSslSocket *>(socket.get()))
        tls->connectToHostEncrypted(target.server, target.port);
    else
        socket->connectToHost(target.server, target.port);
}

void SyslogStream::Connected()
{
    answerTimer.stop();
    connected = true;
    retryMs = FirstRetryMs;
    if (outageTold)
        notes(u"%1: connected again; %2 waiting messages are being delivered."_s.arg(Describe())
                  .arg(spool->Count()));
    outageTold = false;
    dropsTold = false;
    WriteWaiting();
}

void SyslogStream::Lost(const QString &reason)
{
    if (retryTimer.isActive())
        return;
    answerTimer.stop();
    connected = false;
    confirmTimer.stop();
    if (!outageTold)
        notes(u"%1: %2. Events wait in the spool until the server answers."_s.arg(Describe(),
                                                                                  reason));
    outageTold = true;
    // Everything written on this connection goes again on the next one.
    written = 0;
    droppedTold = 0;
    retryTimer.start(retryMs);
    retryMs = std::min(retryMs * 2, LastRetryMs);
}

void SyslogStream::WriteWaiting()
{
    if (!connected)
        return;
    const SyslogSpool::Dropped &dropped = spool->DroppedSoFar();
    if (written == 0 && droppedTold == 0 && dropped.count > 0) {
        socket->write(Framed(dropNote(dropped)));
        droppedTold = dropped.count;
    }
    for (; written < spool->Count(); ++written)
        socket->write(Framed(spool->At(written)));
    if (written > 0 || droppedTold > 0)
        confirmTimer.start();
}

bool SyslogStream::AllAcknowledged() const
{
    if (socket->bytesToWrite() > 0)
        return false;
    if (auto *tls = qobject_cast<QSslSocket *>(socket.get()); tls && tls->encryptedBytesToWrite())
        return false;
    // Bytes the kernel holds until the server's side acknowledges them.
    int unacknowledged = 0;
    if (::ioctl(int(socket->socketDescriptor()), SIOCOUTQ, &unacknowledged) != 0)
        return false;
    return unacknowledged == 0;
}

void SyslogStream::ConfirmDelivery()
{
    if (!connected || (written == 0 && droppedTold == 0) || !AllAcknowledged())
        return;
    spool->RemoveDelivered(std::exchange(written, 0));
    spool->ForgetDropped(std::exchange(droppedTold, 0));
    confirmTimer.stop();
    ReportSpoolState();
    // Messages that came meanwhile were written too; any left go now.
    WriteWaiting();
}

void SyslogStream::ReportSpoolState()
{
    if (const QString error = spool->TakeFileError(); !error.isEmpty())
        notes(u"%1: the spool file cannot be written (%2); waiting messages are kept in "
              u"memory only."_s.arg(Describe(), error));
    if (spool->DroppedSoFar().count > 0 && !dropsTold) {
        notes(u"%1: the spool is full; the oldest waiting messages are dropped and counted."_s.arg(
            Describe()));
        dropsTold = true;
    }
}

} // namespace keelwatch
