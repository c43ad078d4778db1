// The sensor program on a lab segment, started in the scanner's namespace as
// an administrator would start it, judged by its exit code, its JSON lines
// and its event log.

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
    for (const QString &line : lines) {
        const QStringList fields = line.split(u'\t');
        if (fields.value(0) == u"#Cyclic_Count"_s)
            cycles << fields.value(1);
        else if (fields.value(3) == u"PROMISC"_s)
            promisc << fields.value(1) + u' ' + fields.value(4);
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
