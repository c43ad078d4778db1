#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <QThread>

#include <atomic>
#include <optional>

// A lab Ethernet segment from scripts/labnet, removed again when it goes.
class LabSegment
{
  public:
    // Why no lab can be built here, or nothing when one can.
    static std::optional<QString> Unavailable()
    {
        if (geteuid() != 0)
            return QStringLiteral("building a lab segment needs root (network namespaces)");
        if (access("/proc/self/ns/net", R_OK) != 0)
            return QStringLiteral("this kernel has no network namespaces");
        if (QProcess::execute(QStringLiteral("ip"),
                              {QStringLiteral("netns"), QStringLiteral("list")}) != 0)
            return QStringLiteral("the ip command cannot list network namespaces");
        return std::nullopt;
    }

    // With a syslogDir (an existing folder) the lab has a syslog host at
    // SyslogHostIp running rsyslogd, its files in that folder.
    LabSegment(int hosts, const QStringList &promiscuousHosts, const QString &syslogDir = QString())
        : prefix(QStringLiteral("kw%1x%2").arg(getpid()).arg(++counter)), syslogDir(syslogDir)
    {
        QStringList args = {QStringLiteral("up")};
        if (!syslogDir.isEmpty())
            args += {QStringLiteral("--syslog"), syslogDir};
        args += {prefix, QString::number(hosts)};
        args += promiscuousHosts;
        QProcess up;
        up.start(Script(), args);
        // labnet builds 240 hosts in seconds; a machine busy with builds can
        // take minutes.
        up.waitForFinished(600000);
        output = QString::fromLocal8Bit(up.readAllStandardOutput() + up.readAllStandardError());
        built = up.exitStatus() == QProcess::NormalExit && up.exitCode() == 0;
    }
    ~LabSegment() { QProcess::execute(Script(), {QStringLiteral("down"), prefix}); }
    LabSegment(const LabSegment &) = delete;
    LabSegment &operator=(const LabSegment &) = delete;

    QString Namespace(const QString &part) const { return prefix + u'-' + part; }

    // Switches host n's card into or out of promiscuous mode.
    bool SetPromiscuous(int host, bool on) const
    {
        return QProcess::execute(Script(),
                                 {QStringLiteral("promisc"), prefix, QString::number(host),
                                  on ? QStringLiteral("on") : QStringLiteral("off")}) == 0;
    }

    // Takes host n's link down (it leaves the segment) or up again.
    bool SetLink(int host, bool up) const
    {
        return QProcess::execute(Script(), {QStringLiteral("link"), prefix, QString::number(host),
                                            up ? QStringLiteral("up") : QStringLiteral("down")}) ==
               0;
    }

    // nftables in host n's namespace: "m1" drops the M1 requests it
    // receives, "lossy" 30% of the frames it sends, "none" nothing.
    bool Drop(int host, const QString &what) const
    {
        return QProcess::execute(
                   Script(), {QStringLiteral("drop"), prefix, QString::number(host), what}) == 0;
    }

    // The syslog host's received lines ("PRI|HOST|PROGRAM|TAG|MSG|TIMESTAMP|
    // FROM-IP"; in received5424.log the RFC 5424 fields, see scripts/labnet),
    // once at least count have arrived or the time is up.
    QStringList ReceivedSyslog(int count, int timeoutMs = 10000,
                               const QString &file = QStringLiteral("received.log")) const
    {
        QStringList lines;
        QDeadlineTimer deadline(timeoutMs);
        for (;;) {
            QFile f(syslogDir + u'/' + file);
            if (f.open(QIODevice::ReadOnly)) {
                // rsyslogd writes through a buffer of its own size, which
                // may end inside a line: only whole lines count.
                QByteArray data = f.readAll();
                data.truncate(data.lastIndexOf('\n') + 1);
                lines = QString::fromUtf8(data).split(u'\n', Qt::SkipEmptyParts);
            }
            if (lines.size() >= count || deadline.hasExpired())
                return lines;
            QThread::msleep(100);
        }
    }

    // Host n's address and MAC, as scripts/labnet gives them.
    static QString HostIp(int host) { return QStringLiteral("10.77.0.%1").arg(10 + host); }
    static QString HostMac(int host)
    {
        return QStringLiteral("02:77:00:00:00:%1").arg(host + 1, 2, 16, QChar(u'0')).toUpper();
    }

    // The large lab: as many hosts as labnet builds, every 30th promiscuous
    // (hosts 7, 37, ... 217: eight of them), spread over the range.
    static constexpr int LargeHosts = 240;
    static QStringList LargePromiscuousHosts()
    {
        QStringList hosts;
        for (int host = 7; host <= LargeHosts; host += 30)
            hosts.append(QString::number(host));
        return hosts;
    }

    static constexpr auto ScannerIp = "10.77.0.1";
    static constexpr auto SyslogHostIp = "10.77.0.2";

    const QString prefix;
    const QString syslogDir;
    QString output;
    bool built = false;

  private:
    static QString Script() { return QStringLiteral(KEELWATCH_SOURCE_DIR "/scripts/labnet"); }
    static inline std::atomic<int> counter{0};
};

// Moves the calling thread into a network namespace until it goes; threads
// started meanwhile are born in it.
class EnteredNamespace
{
  public:
    explicit EnteredNamespace(const QString &name)
    {
        home = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        const QByteArray path = "/run/netns/" + name.toLocal8Bit();
        const int target = open(path.constData(), O_RDONLY | O_CLOEXEC);
        entered = home >= 0 && target >= 0 && setns(target, CLONE_NEWNET) == 0;
        if (target >= 0)
            close(target);
    }
    ~EnteredNamespace()
    {
        if (entered)
            setns(home, CLONE_NEWNET);
        if (home >= 0)
            close(home);
    }
    EnteredNamespace(const EnteredNamespace &) = delete;
    EnteredNamespace &operator=(const EnteredNamespace &) = delete;

    bool entered = false;

  private:
    int home = -1;
};
