#include "recordingoutputs.h"

#include "report/eventlog.h"
#include "report/hostname.h"
#include "report/syslogsender.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <memory>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

const QString SenderIp = u"10.78.5.1"_s;
const QString SyslogHostIp = u"10.78.5.2"_s;

// Runs a program to its end; true when it exits with 0. Its error output goes
// to *error.
bool Run(const QStringList &command, QByteArray *output = nullptr, QByteArray *error = nullptr)
{
    QProcess p;
    p.start(command.first(), command.mid(1));
    if (!p.waitForFinished(10000)) {
        p.kill();
        p.waitForFinished();
        return false;
    }
    if (output)
        *output = p.readAllStandardOutput();
    if (error)
        *error = p.readAllStandardError();
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Two network namespaces joined by a veth pair that never exists outside
// them: the Keelwatch side and the syslog host. The names carry the process
// id, and both namespaces (with the link) go when the object goes, also when
// a test fails halfway.
class SyslogLab
{
  public:
    SyslogLab() : tag(QString::number(QCoreApplication::applicationPid())) {}
    ~SyslogLab()
    {
        for (const QString &ns : created)
            Run({u"ip"_s, u"netns"_s, u"delete"_s, ns});
    }

    QString SenderNs() const { return u"kw-syslog-sender-"_s + tag; }
    QString HostNs() const { return u"kw-syslog-host-"_s + tag; }

    // Builds the lab; the error text of the first step that failed, or empty.
    QString Build()
    {
        for (const QString &ns : {SenderNs(), HostNs()}) {
            QByteArray error;
            if (!Run({u"ip"_s, u"netns"_s, u"add"_s, ns}, nullptr, &error))
                return u"ip netns add: "_s + QString::fromLocal8Bit(error);
            created << ns;
        }
        const QString senderLink = u"kwsl"_s + tag + u"s"_s;
        const QString hostLink = u"kwsl"_s + tag + u"h"_s;
        const QList<QStringList> steps = {
            {u"ip"_s, u"link"_s, u"add"_s, u"name"_s, senderLink, u"netns"_s, SenderNs(), u"type"_s,
             u"veth"_s, u"peer"_s, u"name"_s, hostLink, u"netns"_s, HostNs()},
            {u"ip"_s, u"-n"_s, SenderNs(), u"addr"_s, u"add"_s, SenderIp + u"/30"_s, u"dev"_s,
             senderLink},
            {u"ip"_s, u"-n"_s, HostNs(), u"addr"_s, u"add"_s, SyslogHostIp + u"/30"_s, u"dev"_s,
             hostLink},
            {u"ip"_s, u"-n"_s, SenderNs(), u"link"_s, u"set"_s, senderLink, u"up"_s},
            {u"ip"_s, u"-n"_s, HostNs(), u"link"_s, u"set"_s, hostLink, u"up"_s},
        };
        for (const QStringList &step : steps) {
            QByteArray error;
            if (!Run(step, nullptr, &error))
                return step.join(u' ') + u": "_s + QString::fromLocal8Bit(error);
        }
        return QString();
    }

    // Whether a UDP socket of the syslog host listens on 10.78.5.2:514.
    bool HostListens() const
    {
        QByteArray table;
        Run({u"ip"_s, u"netns"_s, u"exec"_s, HostNs(), u"cat"_s, u"/proc/net/udp"_s}, &table);
        return table.contains("02054E0A:0202 "); // 10.78.5.2:514, little-endian address
    }

  private:
    QString tag;
    QStringList created;
};

// The calling thread's network namespace while the object lives. Sockets
// created meanwhile stay in that namespace for good.
class InNamespace
{
  public:
    explicit InNamespace(const QString &ns)
    {
        home = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        const int target =
            open(("/run/netns/"_L1 + ns).toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC);
        entered = home >= 0 && target >= 0 && setns(target, CLONE_NEWNET) == 0;
        if (target >= 0)
            close(target);
    }
    ~InNamespace()
    {
        // Staying in the lab would send every later test's traffic there.
        if (entered && setns(home, CLONE_NEWNET) != 0)
            std::abort();
        if (home >= 0)
            close(home);
    }
    bool entered = false;

  private:
    int home = -1;
};

class RsyslogTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "needs root to build network namespaces for the syslog host";
        const QString problem = lab.Build();
        if (!problem.isEmpty())
            GTEST_SKIP() << "no network namespaces here: " << problem.toStdString();

        const QString rsyslogd = QStandardPaths::findExecutable(
            u"rsyslogd"_s, {u"/usr/sbin"_s, u"/sbin"_s, u"/usr/bin"_s});
        ASSERT_FALSE(rsyslogd.isEmpty()) << "rsyslogd is missing: install the package rsyslog";
        ASSERT_TRUE(dir.isValid());
        WriteConfig();
        daemon.setProcessChannelMode(QProcess::MergedChannels);
        daemon.start(u"ip"_s,
                     {u"netns"_s, u"exec"_s, lab.HostNs(), rsyslogd, u"-n"_s, u"-f"_s,
                      dir.filePath(u"rsyslog.conf"_s), u"-i"_s, dir.filePath(u"rsyslogd.pid"_s)});
        ASSERT_TRUE(daemon.waitForStarted());
        for (int i = 0; i < 100 && !lab.HostListens(); ++i) {
            ASSERT_EQ(daemon.state(), QProcess::Running)
                << "rsyslogd ended: " << daemon.readAll().toStdString();
            QThread::msleep(100);
        }
        ASSERT_TRUE(lab.HostListens()) << "rsyslogd does not listen on 514";
    }

    void TearDown() override
    {
        if (daemon.state() == QProcess::NotRunning)
            return;
        daemon.terminate();
        if (!daemon.waitForFinished(5000)) {
            daemon.kill();
            daemon.waitForFinished();
        }
    }

    // UDP input on the syslog host's address, and one line per message with
    // the fields as rsyslog parsed them.
    void WriteConfig()
    {
        QFile conf(dir.filePath(u"rsyslog.conf"_s));
        ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
        conf.write(u"global(workDirectory=\"%1\")\n"
                   "module(load=\"imudp\")\n"
                   "input(type=\"imudp\" address=\"%2\" port=\"514\")\n"
                   "template(name=\"fields\" type=\"string\" string=\"%pri%|%hostname%|"
                   "%programname%|%syslogtag%|%msg%|%timereported:::date-rfc3164%|"
                   "%fromhost-ip%\\n\")\n"
                   "*.* action(type=\"omfile\" file=\"%1/received.log\" template=\"fields\")\n"_s
                       .arg(dir.path(), SyslogHostIp)
                       .toUtf8());
    }

    // The parsed lines, once count of them have arrived or after 10 s.
    QStringList Received(int count) const
    {
        QStringList lines;
        for (int i = 0; i < 100; ++i) {
            QFile f(dir.filePath(u"received.log"_s));
            if (f.open(QIODevice::ReadOnly))
                lines = QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
            if (lines.size() >= count)
                break;
            QThread::msleep(100);
        }
        return lines;
    }

    SyslogLab lab;
    QTemporaryDir dir;
    QProcess daemon;
};

TEST_F(RsyslogTest, DaemonReadsPriorityHostTagAndMessage)
{
    FixedSettings settings;
    settings.values.syslog = true;
    settings.values.syslogServer = u" "_s + SyslogHostIp;
    NodeTable nodes;
    const int row =
        nodes.AddNodeRow(u"192.168.0.5"_s, u"00:11:22:33:44:55"_s, settings.values.tests);
    FixedClock clock(QDateTime(QDate(2004, 1, 5), QTime(14, 3, 27)));
    RecordingOutputs out;

    std::unique_ptr<SyslogSender> sender;
    {
        InNamespace keelwatchSide(lab.SenderNs());
        ASSERT_TRUE(keelwatchSide.entered);
        sender = std::make_unique<SyslogSender>(settings, out);
    }
    // Nothing holds port 514 on the Keelwatch side of the lab.
    EXPECT_EQ(sender->LocalPort(), SyslogSender::SyslogPort);

    EventLog log(settings, nodes, clock, out, *sender);
    log.WriteEvent(u"start"_s, 0, 0);
    log.WriteEvent(u"UP"_s, 3, row);
    clock.Set(QDateTime(QDate(2004, 1, 15), QTime(9, 5, 7)));
    log.WriteEvent(u"mac"_s, 3, row);
    log.WriteEvent(u"X"_s, 3, row); // not forwarded
    log.WriteEvent(u"X"_s, 2, row);
    log.WriteEvent(u"+"_s, 2, row);

    const QString host = QString::fromLatin1(LocalHostName());
    const QString from = u"|"_s + SenderIp;
    const QString sent = u"|"_s + host + u"|KEELWATCH|KEELWATCH:| "_s;
    EXPECT_EQ(
        Received(5),
        (QStringList{u"166"_s + sent + u"START|Jan  5 14:03:27"_s + from,
                     u"161"_s + sent +
                         u"192.168.0.5 [00:11:22:33:44:55] PROMISC START|Jan  5 14:03:27"_s + from,
                     u"164"_s + sent +
                         u"192.168.0.5 [00:11:22:33:44:55] MAC CHANGE|Jan 15 09:05:07"_s + from,
                     u"166"_s + sent +
                         u"192.168.0.5 [00:11:22:33:44:55] NODE FOUND|Jan 15 09:05:07"_s + from,
                     u"166"_s + sent +
                         u"192.168.0.5 [00:11:22:33:44:55] NODE LOST|Jan 15 09:05:07"_s + from}));
    EXPECT_EQ(out.Matching(u"server"_s).first(), u"server "_s + SyslogHostIp);
    EXPECT_TRUE(out.Matching(u"box"_s).isEmpty());
}

} // namespace
