// The sensor program on a lab segment, started in the scanner's namespace as
// an administrator would start it, judged by its exit code, its JSON lines
// and its event log.

#include "report/eventline.h"
#include "report/hostname.h"
#include "report/syslog5424.h"
#include "support/heldsignals.h"
#include "support/labsegment.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr int Hosts = 6;
constexpr int SwitchedHost = 5;
const QStringList PromiscuousHosts = {u"2"_s, u"4"_s};
const QString VendorName = u"Lab Cards Ltd"_s;
// Guards against a hung sensor, not timing goals.
constexpr int SweepMs = 60000;
constexpr int SwitchMs = 30000;

QString HostIp(int host)
{
    return u"10.77.0.%1"_s.arg(10 + host);
}

class SensorOnLab : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        if (const auto reason = LabSegment::Unavailable())
            GTEST_SKIP() << reason->toStdString();
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir(dir.path()).mkpath(u"syslog"_s));
        lab = std::make_unique<LabSegment>(Hosts, PromiscuousHosts, dir.filePath(u"syslog"_s));
        ASSERT_TRUE(lab->built) << lab->output.toStdString();
        // A copy of the program beside its own oui.txt and comment.txt.
        binary = dir.filePath(u"keelwatch-sensor"_s);
        ASSERT_TRUE(QFile::copy(QStringLiteral(KEELWATCH_SENSOR_BINARY), binary));
        QFile oui(dir.filePath(u"oui.txt"_s));
        ASSERT_TRUE(oui.open(QIODevice::WriteOnly));
        oui.write("027700     (base 16)\t\t" + VendorName.toLatin1() + "\r\n");
        oui.close();
        // The installation's own MAC (and any spool) is kept in the test's
        // folder, never in the user's.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"XDG_DATA_HOME"_s, dir.filePath(u"data"_s));
        sensor.setProcessEnvironment(environment);
        QFile comments(dir.filePath(u"comment.txt"_s));
        ASSERT_TRUE(comments.open(QIODevice::WriteOnly));
        comments.write((HostIp(SwitchedHost) + u",switched host\r\n"_s).toLatin1());
    }

    void TearDown() override
    {
        if (sensor.state() != QProcess::NotRunning) {
            sensor.kill();
            sensor.waitForFinished();
        }
    }

    // Started from this thread while it is in the scanner's namespace, so the
    // sensor is born there and is this test's own child for the signals.
    void StartSensor(const QStringList &options)
    {
        StartSensorWith(options, [] {});
    }

    // As StartSensor, with a change to the child process before the program
    // is run.
    void StartSensorWith(const QStringList &options, const std::function<void()> &childModifier)
    {
        sensor.setChildProcessModifier(childModifier);
        EnteredNamespace scanner(lab->Namespace(u"scan"_s));
        ASSERT_TRUE(scanner.entered);
        sensor.start(binary,
                     QStringList{u"--interface"_s, u"wire0"_s, u"--range"_s,
                                 HostIp(1) + u'-' + HostIp(Hosts), u"--node-timer"_s, u"0"_s,
                                 u"--packets"_s, u"2"_s, u"--interval"_s, u"1"_s, u"--json"_s} +
                         options);
        ASSERT_TRUE(sensor.waitForStarted());
    }

    // The JSON lines so far, read as they come.
    QList<QJsonObject> Events()
    {
        output += sensor.readAllStandardOutput();
        QList<QJsonObject> events;
        for (const QByteArray &line : output.split('\n')) {
            if (line.isEmpty())
                continue;
            QJsonParseError error;
            const QJsonDocument json = QJsonDocument::fromJson(line, &error);
            EXPECT_EQ(error.error, QJsonParseError::NoError) << line.constData();
            events << json.object();
        }
        return events;
    }

    bool WaitForEvent(const std::function<bool(const QJsonObject &)> &wanted, int timeoutMs)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            sensor.waitForReadyRead(200);
            const QList<QJsonObject> events = Events();
            if (std::any_of(events.begin(), events.end(), wanted))
                return true;
        }
        return false;
    }

    static std::function<bool(const QJsonObject &)> Is(const QString &event, int host)
    {
        return [event, host](const QJsonObject &o) {
            return o.value(u"event"_s).toString() == event &&
                   o.value(u"ip"_s).toString() == HostIp(host);
        };
    }

    QTemporaryDir dir;
    std::unique_ptr<LabSegment> lab;
    QString binary;
    QProcess sensor;
    QByteArray output;
};

TEST_F(SensorOnLab, OnceListsEveryHostMarksThePromiscuousOnesAndExitsOne)
{
    StartSensor({u"--once"_s, u"--tests"_s, u"Br,B47,B16,B8,Gr,M0,M1,M3"_s});
    ASSERT_TRUE(sensor.waitForFinished(SweepMs));
    EXPECT_EQ(sensor.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sensor.exitCode(), 1) << sensor.readAllStandardError().constData();

    QMap<QString, QJsonObject> nodes;
    QSet<QString> suspects;
    for (const QJsonObject &event : Events()) {
        const QString ip = event.value(u"ip"_s).toString();
        if (event.value(u"event"_s).toString() == u"NODE"_s) {
            EXPECT_FALSE(nodes.contains(ip)) << ip.toStdString() << " listed twice";
            nodes.insert(ip, event);
        } else if (event.value(u"event"_s).toString() == u"PROMISC SUSPECT"_s) {
            suspects.insert(ip);
        }
    }
    ASSERT_EQ(nodes.size(), Hosts);
    for (int host = 1; host <= Hosts; ++host) {
        SCOPED_TRACE(HostIp(host).toStdString());
        const QJsonObject node = nodes.value(HostIp(host));
        EXPECT_EQ(node.value(u"mac"_s).toString(),
                  u"02:77:00:00:00:%1"_s.arg(host + 1, 2, 16, QChar(u'0')).toUpper());
        EXPECT_EQ(node.value(u"vendor"_s).toString(), VendorName);
        EXPECT_TRUE(node.value(u"answers"_s).toArray().contains(u"Br"_s));
        EXPECT_EQ(node.value(u"suspect"_s).toBool(), suspects.contains(HostIp(host)));
        // A normal card may hear a group address that shares a hash bucket
        // with one it joined; a promiscuous one must be caught.
        if (PromiscuousHosts.contains(QString::number(host))) {
            EXPECT_TRUE(node.value(u"suspect"_s).toBool());
            EXPECT_EQ(node.value(u"answers"_s).toArray().size(), 8);
        }
    }
    EXPECT_EQ(nodes.value(HostIp(SwitchedHost)).value(u"comment"_s).toString(), u"switched host"_s);
}

// One run: a host switched promiscuous and back, the log renamed away and
// SIGHUP between the two, SIGTERM at the end.
TEST_F(SensorOnLab, CyclicReportsASwitchedHostAndSurvivesLogRotation)
{
    const QString log = dir.filePath(u"keelwatch.log"_s);
    const QString rotated = dir.filePath(u"keelwatch.log.1"_s);
    StartSensor({u"--log"_s, log});
    const auto cycle = [](const QJsonObject &o) { return o.value(u"event"_s) == u"CYCLE"_s; };
    ASSERT_TRUE(WaitForEvent(cycle, SweepMs)) << sensor.readAllStandardError().constData();

    ASSERT_TRUE(lab->SetPromiscuous(SwitchedHost, true));
    ASSERT_TRUE(WaitForEvent(Is(u"PROMISC START"_s, SwitchedHost), SwitchMs)) << output.constData();

    ASSERT_TRUE(QFile::rename(log, rotated));
    ::kill(pid_t(sensor.processId()), SIGHUP);
    QDeadlineTimer reopened(SwitchMs);
    while (!QFile::exists(log) && !reopened.hasExpired())
        QThread::msleep(50);
    ASSERT_TRUE(QFile::exists(log));

    ASSERT_TRUE(lab->SetPromiscuous(SwitchedHost, false));
    ASSERT_TRUE(WaitForEvent(Is(u"PROMISC STOP"_s, SwitchedHost), SwitchMs)) << output.constData();

    ::kill(pid_t(sensor.processId()), SIGTERM);
    ASSERT_TRUE(sensor.waitForFinished(SwitchMs));
    EXPECT_EQ(sensor.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sensor.exitCode(), 0);

    // The two files hold every event line the JSON told of, each once and in
    // order: nothing was lost or written twice across the rotation.
    QStringList lines;
    for (const QString &path : {rotated, log}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
        lines += QString::fromUtf8(file.readAll()).split(u"\r\n"_s, Qt::SkipEmptyParts);
    }
    QStringList cycles;
    QStringList promisc;
    keelwatch::LogLineReader reader('\t');
    for (const QString &line : lines) {
        const keelwatch::LogLine read = reader.Read(line.toUtf8());
        if (read.kind == keelwatch::LogLineKind::Cycle)
            cycles << QString::fromUtf8(read.countText);
        else if (read.kind == keelwatch::LogLineKind::Node &&
                 read.word == keelwatch::NodeWord::Promisc)
            promisc << QString::fromUtf8(read.ipText) + u' ' + QString::fromUtf8(read.stateText);
    }
    QStringList jsonCycles;
    QStringList jsonPromisc;
    for (const QJsonObject &event : Events()) {
        const QString name = event.value(u"event"_s).toString();
        if (name == u"CYCLE"_s)
            jsonCycles << QString::number(event.value(u"cycle"_s).toInt());
        else if (name.startsWith(u"PROMISC "_s))
            jsonPromisc << event.value(u"ip"_s).toString() + u' ' + name.mid(8);
    }
    EXPECT_EQ(cycles, jsonCycles);
    EXPECT_EQ(promisc, jsonPromisc);
    EXPECT_TRUE(promisc.contains(HostIp(SwitchedHost) + u" START"_s));
    EXPECT_TRUE(promisc.contains(HostIp(SwitchedHost) + u" STOP"_s));
    // The lines are the desktop program's: TAB-separated, the scan's banner
    // first.
    EXPECT_TRUE(lines.value(0).startsWith(u"### START Keelwatch\t001F\t"_s))
        << lines.value(0).toStdString();
}

// The suspects reach a real rsyslogd as RFC 5424 messages that it parses into
// their fields.
TEST_F(SensorOnLab, ForwardsSuspectsAsRfc5424ThatRsyslogdParses)
{
    StartSensor({u"--once"_s, u"--syslog"_s, QString::fromLatin1(LabSegment::SyslogHostIp),
                 u"--syslog-format"_s, u"rfc5424"_s});
    const qint64 pid = sensor.processId();
    ASSERT_TRUE(sensor.waitForFinished(SweepMs));
    ASSERT_EQ(sensor.exitCode(), 1) << sensor.readAllStandardError().constData();
    const QStringList received =
        lab->ReceivedSyslog(int(PromiscuousHosts.size()), 10000, u"received5424.log"_s);
    const QString head =
        u"|"_s + QString::fromLatin1(keelwatch::Rfc5424HostName(keelwatch::SystemHostName())) +
        u"|KEELWATCH|%1|PROMISC_SUSPECT|[keelwatch@32473 time=\""_s.arg(pid);
    for (const QString &host : PromiscuousHosts) {
        const QString ip = HostIp(host.toInt());
        const QString mac =
            u"02:77:00:00:00:%1"_s.arg(host.toInt() + 1, 2, 16, QChar(u'0')).toUpper();
        const auto line = std::find_if(received.begin(), received.end(), [&](const QString &l) {
            return l.endsWith(u"|"_s + ip + u" ["_s + mac + u"] PROMISC SUSPECT"_s);
        });
        ASSERT_NE(line, received.end()) << received.join(u'\n').toStdString();
        // Warning severity of facility local4; the node's fields one by one.
        EXPECT_TRUE(line->startsWith(u"164|"_s)) << line->toStdString();
        EXPECT_TRUE(line->contains(head)) << line->toStdString();
        EXPECT_TRUE(line->contains(u" ip=\""_s + ip + u"\" mac=\""_s + mac +
                                   u"\" event=\"PROMISC SUSPECT\" vendor=\""_s + VendorName +
                                   u"\"]|"_s))
            << line->toStdString();
    }
}

// The text syslog receives for a line of the event log, empty for lines that
// are not forwarded.
QString ForwardedText(const QString &line)
{
    if (line.startsWith(u"### START Keelwatch"_s))
        return u"START"_s;
    const QStringList f = line.split(u'\t');
    if (f.size() < 5)
        return QString();
    const QString node = f[1] + u' ' + f[2] + u' ';
    if (f[3] == u"Br"_s)
        return node + (f[4] == u"ON"_s ? u"NODE FOUND"_s : u"NODE LOST"_s);
    if (f[3] == u"MAC"_s)
        return node + u"MAC CHANGE"_s;
    if (f[3] == u"PROMISC"_s)
        return node + u"PROMISC "_s + f[4] + (f.value(5).isEmpty() ? QString() : u' ' + f[5]);
    return QString();
}

struct OutageCase
{
    const char *name;
    const char16_t *transport;
};

void PrintTo(const OutageCase &c, std::ostream *os)
{
    *os << c.name;
}

// A collector that is shut down for 30 s in the middle of a cyclic scan,
// while a host starts and stops sniffing, and then comes back.
class CollectorOutage : public SensorOnLab, public ::testing::WithParamInterface<OutageCase>
{
  protected:
    static constexpr int OutageMs = 30000;

    void SetUp() override
    {
        // A test CA and the syslog host's certificate, made before the lab
        // starts its rsyslogd so that it listens for TLS too.
        ASSERT_TRUE(dir.isValid());
        tls = dir.filePath(u"syslog/tls"_s);
        ASSERT_TRUE(QDir().mkpath(tls));
        const auto openssl = [this](const QStringList &args) {
            QProcess p;
            p.setWorkingDirectory(tls);
            p.start(u"openssl"_s, args);
            return p.waitForFinished(60000) && p.exitCode() == 0;
        };
        QFile ext(QDir(tls).filePath(u"ext"_s));
        ASSERT_TRUE(ext.open(QIODevice::WriteOnly));
        ext.write("subjectAltName=IP:" + QByteArray(LabSegment::SyslogHostIp) + '\n');
        ext.close();
        if (!openssl({u"version"_s}))
            GTEST_SKIP() << "openssl is missing";
        ASSERT_TRUE(openssl({u"req"_s, u"-x509"_s, u"-newkey"_s, u"rsa:2048"_s, u"-nodes"_s,
                             u"-keyout"_s, u"ca-key.pem"_s, u"-out"_s, u"ca.pem"_s, u"-days"_s,
                             u"2"_s, u"-subj"_s, u"/CN=Keelwatch test CA"_s}));
        ASSERT_TRUE(openssl({u"req"_s, u"-newkey"_s, u"rsa:2048"_s, u"-nodes"_s, u"-keyout"_s,
                             u"server-key.pem"_s, u"-out"_s, u"server.csr"_s, u"-subj"_s,
                             u"/CN=syslog host"_s}));
        ASSERT_TRUE(openssl({u"x509"_s, u"-req"_s, u"-in"_s, u"server.csr"_s, u"-CA"_s, u"ca.pem"_s,
                             u"-CAkey"_s, u"ca-key.pem"_s, u"-CAcreateserial"_s, u"-out"_s,
                             u"server-cert.pem"_s, u"-days"_s, u"2"_s, u"-extfile"_s, u"ext"_s}));
        SensorOnLab::SetUp();
    }

    bool Collector(const QString &action)
    {
        return QProcess::execute(QStringLiteral(KEELWATCH_SOURCE_DIR "/scripts/labnet"),
                                 {u"syslog"_s, lab->prefix, action, dir.filePath(u"syslog"_s)}) ==
               0;
    }

    // The messages rsyslogd wrote, without the blank after the tag.
    QStringList Received() const
    {
        QStringList texts;
        for (const QString &line : lab->ReceivedSyslog(0, 0))
            texts << line.section(u'|', 4, 4).trimmed();
        return texts;
    }

    QString tls;
};

TEST_P(CollectorOutage, StreamsLoseNothingAndDatagramsTellTheOutage)
{
    const QString transport = QString::fromUtf16(GetParam().transport);
    const QString log = dir.filePath(u"keelwatch.log"_s);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // The spool goes into the test's folder.
    environment.insert(u"XDG_DATA_HOME"_s, dir.filePath(u"data"_s));
    sensor.setProcessEnvironment(environment);
    QStringList options{u"--log"_s,
                        log,
                        u"--syslog"_s,
                        QString::fromLatin1(LabSegment::SyslogHostIp),
                        u"--syslog-transport"_s,
                        transport};
    if (transport == u"tls"_s)
        options << u"--syslog-ca"_s << QDir(tls).filePath(u"ca.pem"_s);
    StartSensor(options);
    const auto cycle = [](const QJsonObject &o) { return o.value(u"event"_s) == u"CYCLE"_s; };
    ASSERT_TRUE(WaitForEvent(cycle, SweepMs)) << sensor.readAllStandardError().constData();
    // START and a NODE FOUND for every host.
    ASSERT_GE(lab->ReceivedSyslog(1 + Hosts).size(), 1 + Hosts);

    ASSERT_TRUE(Collector(u"stop"_s));
    QDeadlineTimer outage(OutageMs);
    ASSERT_TRUE(lab->SetPromiscuous(SwitchedHost, true));
    ASSERT_TRUE(WaitForEvent(Is(u"PROMISC START"_s, SwitchedHost), SwitchMs)) << output.constData();
    while (!outage.hasExpired())
        sensor.waitForReadyRead(200);
    const qsizetype receivedBefore = Received().size();
    ASSERT_TRUE(Collector(u"start"_s));

    ASSERT_TRUE(lab->SetPromiscuous(SwitchedHost, false));
    ASSERT_TRUE(WaitForEvent(Is(u"PROMISC STOP"_s, SwitchedHost), SwitchMs)) << output.constData();
    const auto expected = [&] {
        QFile file(log);
        QStringList texts;
        if (file.open(QIODevice::ReadOnly))
            for (const QString &line : QString::fromUtf8(file.readAll()).split(u"\r\n"_s))
                if (const QString text = ForwardedText(line); !text.isEmpty())
                    texts << text;
        return texts;
    };
    QDeadlineTimer delivered(SwitchMs);
    while (transport != u"udp"_s && Received() != expected() && !delivered.hasExpired())
        sensor.waitForReadyRead(200);
    // Time for the end of a UDP outage to be noticed.
    QThread::msleep(2000);
    ::kill(pid_t(sensor.processId()), SIGTERM);
    ASSERT_TRUE(sensor.waitForFinished(SwitchMs));
    const QString errors = QString::fromLocal8Bit(sensor.readAllStandardError());

    const QStringList sent = expected();
    ASSERT_TRUE(sent.contains(HostIp(SwitchedHost) + u" [02:77:00:00:00:06] PROMISC START"_s))
        << sent.join(u'\n').toStdString();
    if (transport == u"udp"_s) {
        // What was sent during the outage is gone, and the sensor said so.
        EXPECT_LT(Received().size(), sent.size());
        EXPECT_EQ(errors.count(u"over UDP: Connection refused"_s), 1) << errors.toStdString();
        EXPECT_EQ(errors.count(u"over UDP: the server takes datagrams again."_s), 1)
            << errors.toStdString();
    } else {
        // Every event of the log once, in order, the outage's ones included.
        EXPECT_EQ(Received(), sent) << errors.toStdString();
        EXPECT_GT(sent.size(), receivedBefore);
        // A server that is still starting may take a connection and drop
        // it again: each outage is told, and so is its end.
        const qsizetype outages =
            errors.count(u"Events wait in the spool until the server answers."_s);
        EXPECT_GE(outages, 1) << errors.toStdString();
        EXPECT_EQ(errors.count(u"connected again"_s), outages) << errors.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Transports, CollectorOutage,
                         ::testing::Values(OutageCase{"Udp", u"udp"}, OutageCase{"Tcp", u"tcp"},
                                           OutageCase{"Tls", u"tls"}),
                         [](const ::testing::TestParamInfo<OutageCase> &info) {
                             return info.param.name;
                         });

// A service stop at any moment of the start ends the sensor in order:
// exit code 0 as for a stop later on, never death by the signal. At -1 the
// stop is already waiting when the program's first instruction runs; else
// it comes that many milliseconds after the sensor took the signal from the
// default action.
TEST_F(SensorOnLab, StopAtAnyMomentOfTheStartEndsInOrder)
{
    for (const int moment : {-1, 0, 1, 5, 20, 80, 300}) {
        SCOPED_TRACE(moment);
        if (moment < 0) {
            StartSensorWith({}, [] {
                sigset_t stop;
                sigemptyset(&stop);
                sigaddset(&stop, SIGTERM);
                sigprocmask(SIG_BLOCK, &stop, nullptr);
                raise(SIGTERM);
            });
        } else {
            StartSensor({});
            QDeadlineTimer deadline(10000);
            while (!keelwatch::SignalTaken(sensor.processId(), SIGTERM) && !deadline.hasExpired())
                QThread::msleep(1);
            QThread::msleep(ulong(moment));
            ::kill(pid_t(sensor.processId()), SIGTERM);
        }
        ASSERT_TRUE(sensor.waitForFinished(15000));
        EXPECT_EQ(sensor.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(sensor.exitCode(), 0) << sensor.readAllStandardError().toStdString();
    }
}

} // namespace
