// The real program, started with "auto" in the lab's scanner namespace as a
// user would start it, judged only by the files it leaves: its event log and
// what the lab's syslog host received.

#include "labscan.h"

#include "report/hostname.h"
#include "support/eventwait.h"
#include "support/heldsignals.h"
#include "support/labsegment.h"
#include "support/processinfo.h"
#include "support/qtprint.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <iostream>
#include <memory>

using namespace Qt::StringLiterals;
using namespace labscan;

namespace {

// One line of the event log file, comma-delimited.
struct LogLine
{
    QString dateTime;
    QString ip;
    QString mac;
    QString what;  // test name, "PROMISC" or "MAC"
    QString state; // "ON", "OFF", "SUSPECT", "START", "STOP", "CHANGE"
    QString frame;
    int cycle; // cycles completed before the line
};

class ProgramOnLab : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        if (const auto reason = LabSegment::Unavailable())
            GTEST_SKIP() << reason->toStdString();
        ASSERT_TRUE(dir.isValid());
        const QDir root(dir.path());
        ASSERT_TRUE(root.mkpath(u"syslog"_s) && root.mkpath(u"bin"_s) &&
                    root.mkpath(u"config/Quillstone"_s));
        lab = std::make_unique<LabSegment>(Hosts, PromiscuousHosts, root.filePath(u"syslog"_s));
        ASSERT_TRUE(lab->built) << lab->output.toStdString();

        logPath = root.filePath(u"keelwatch.log"_s);
        settingsPath = root.filePath(u"config/Quillstone/keelwatch.conf"_s);
        QSettings store(settingsPath, QSettings::IniFormat);
        WriteSettings(store, logPath, false, QString::fromLatin1(LabSegment::SyslogHostIp));
        ASSERT_EQ(store.status(), QSettings::NoError);

        // A copy of the program, so that the comments it saves at exit stay
        // in this test's folder.
        binary = CopyProgram(root.path(), QStringLiteral(KEELWATCH_BINARY),
                             QStringLiteral(KEELWATCH_CAPTURE_HELPER));
        ASSERT_FALSE(binary.isEmpty());
        WriteProgramFiles(root.filePath(u"bin"_s));

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_CONFIG_HOME"_s, root.filePath(u"config"_s));
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.start(u"ip"_s,
                      {u"netns"_s, u"exec"_s, lab->Namespace(u"scan"_s), binary, u"auto"_s});
        ASSERT_TRUE(program.waitForStarted());
    }

    void TearDown() override
    {
        if (program.state() == QProcess::NotRunning)
            return;
        program.kill();
        program.waitForFinished();
    }

    QString Log() const
    {
        QFile f(logPath);
        return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
    }

    bool LogContains(const QString &text, int timeoutMs)
    {
        return WaitUntil(
                   [&] { return Log().contains(text) || program.state() == QProcess::NotRunning; },
                   timeoutMs) &&
               Log().contains(text);
    }

    static QString Promisc(int host, const QString &state)
    {
        return u"%1,[%2],PROMISC,%3,"_s.arg(HostIp(host), HostMac(host), state);
    }

    QTemporaryDir dir;
    std::unique_ptr<LabSegment> lab;
    QString logPath;
    QString settingsPath;
    QString binary;
    QProcess program;
};

// The node lines of the log with the number of cycles completed before
// each; banner and cycle lines are checked on the way.
QList<LogLine> ParseLog(const QStringList &lines, int *cycles)
{
    const QRegularExpression banner(u"^### START Keelwatch,03FF,"_s + DateTimePattern +
                                    u",10\\.77\\.0\\.11-10\\.77\\.0\\.22 ###$"_s);
    const QRegularExpression cycleLine(u"^#Cyclic_Count,(\\d+),"_s + DateTimePattern + u"$"_s);
    const QRegularExpression nodeLine(u"^("_s + DateTimePattern +
                                      u"),([\\d.]+),\\[([0-9A-F:]{17})\\],(\\w+),(\\w+),(.*)$"_s);
    QList<LogLine> nodes;
    *cycles = 0;
    EXPECT_GE(lines.size(), 2);
    EXPECT_EQ(lines.value(0), QString()) << "the banner opens with an empty line";
    EXPECT_TRUE(banner.match(lines.value(1)).hasMatch()) << lines.value(1).toStdString();
    for (const QString &line : lines.mid(2)) {
        if (const auto m = cycleLine.match(line); m.hasMatch()) {
            EXPECT_EQ(m.captured(1).toInt(), *cycles + 1) << "cycles counted one by one";
            ++*cycles;
        } else if (const auto n = nodeLine.match(line); n.hasMatch()) {
            nodes.append({n.captured(1), n.captured(2), n.captured(3), n.captured(4), n.captured(5),
                          n.captured(6), *cycles});
        } else {
            ADD_FAILURE() << "unexpected log line: " << line.toStdString();
        }
    }
    return nodes;
}

// "dd/mmm/yyyy hh:mm:ss" as a syslog timestamp: "mmm dd hh:mm:ss", the day
// padded with a blank.
QString SyslogTime(const QString &dateTime)
{
    const int day = dateTime.left(2).toInt();
    return u"%1 %2 %3"_s.arg(dateTime.mid(3, 3)).arg(day, 2).arg(dateTime.mid(12));
}

TEST_F(ProgramOnLab, LogAndSyslogTellTheScanAsItHappened)
{
    // The automatic start after ten seconds, then the first cycles.
    ASSERT_TRUE(LogContains(u"#Cyclic_Count,2,"_s, 10000 + FirstCyclesMs))
        << program.readAll().toStdString() << Log().toStdString();
    // Run as root, the program scans holding no capability, through one
    // capture helper.
    const QStringList held = processinfo::HeldCapabilities(pid_t(program.processId()));
    EXPECT_TRUE(held.isEmpty()) << held.join(u"; "_s).toStdString();
    const QString helper =
        QFileInfo(QFileInfo(binary).dir().filePath(u"../libexec/keelwatch/keelwatch-capture"_s))
            .canonicalFilePath();
    const QList<pid_t> children = processinfo::Children(pid_t(program.processId()));
    EXPECT_EQ(std::count_if(children.begin(), children.end(),
                            [&](pid_t child) { return processinfo::Program(child) == helper; }),
              1);
    const int host = SwitchedHost;
    ASSERT_TRUE(SwitchBetweenCycles([this] { return Log(); },
                                    [&] { return lab->SetPromiscuous(host, true); }));
    ASSERT_TRUE(LogContains(Promisc(host, u"START"_s), SwitchMs)) << Log().toStdString();
    ASSERT_TRUE(SwitchBetweenCycles([this] { return Log(); },
                                    [&] { return lab->SetPromiscuous(host, false); }));
    ASSERT_TRUE(LogContains(Promisc(host, u"STOP"_s), SwitchMs)) << Log().toStdString();
    // One more cycle, in which nothing changes.
    const int cyclesBefore = CycleLines(Log());
    ASSERT_TRUE(WaitUntil([&] { return CycleLines(Log()) > cyclesBefore + 1; }, SwitchMs));

    // SIGTERM closes the program as its File menu's Exit does.
    program.terminate();
    ASSERT_TRUE(program.waitForFinished(15000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0) << program.readAll().toStdString();
    QSettings saved(settingsPath, QSettings::IniFormat);
    EXPECT_EQ(saved.value(u"TIPT"_s).toString(), HostIp(Hosts));
    EXPECT_EQ(saved.value(u"SyslogServ"_s).toString(),
              QString::fromLatin1(LabSegment::SyslogHostIp));
    QFile comments(QDir(dir.path()).filePath(u"bin/comment.txt"_s));
    ASSERT_TRUE(comments.open(QIODevice::ReadOnly));
    EXPECT_EQ(comments.readAll(), (HostIp(host) + u","_s + SwitchedComment + u"\r\n"_s).toLatin1());

    const QString log = Log();
    EXPECT_FALSE(log.contains(u'\t')) << "comma delimiter chosen";
    EXPECT_TRUE(log.endsWith(u"\r\n"_s));
    int cycles = 0;
    const QList<LogLine> lines = ParseLog(log.chopped(2).split(u"\r\n"_s), &cycles);
    EXPECT_GE(cycles, 6);

    QMap<QString, int> hostOf;
    for (int h = 1; h <= Hosts; ++h)
        hostOf[HostIp(h)] = h;
    // Per host: the state words of each test in order, and its PROMISC lines.
    QMap<int, QMap<QString, QStringList>> states;
    QMap<int, QList<LogLine>> promisc;
    for (const LogLine &line : lines) {
        SCOPED_TRACE(line.ip.toStdString() + " " + line.what.toStdString());
        ASSERT_TRUE(hostOf.contains(line.ip)) << "no such lab host";
        const int h = hostOf[line.ip];
        EXPECT_EQ(line.mac, HostMac(h));
        if (line.what == u"PROMISC") {
            EXPECT_EQ(line.frame, QString());
            promisc[h].append(line);
        } else {
            EXPECT_NE(line.what, u"MAC"_s) << "no card changed its address";
            EXPECT_EQ(line.frame, u"ethernet"_s);
            states[h][line.what].append(line.state);
        }
    }

    const QStringList illegal = {u"B47"_s, u"B16"_s, u"B8"_s, u"Gr"_s,
                                 u"M0"_s,  u"M3"_s,  u"S1"_s, u"S2"_s};
    for (int h = 1; h <= Hosts; ++h) {
        SCOPED_TRACE(HostIp(h).toStdString());
        // Every host is found once and never lost.
        EXPECT_EQ(states[h].value(u"Br"_s), QStringList{u"ON"_s});
        EXPECT_EQ(states[h].value(u"M1"_s), QStringList{u"ON"_s});
        // A response is logged ON once, and again only after it was OFF.
        for (const auto &[test, words] : states[h].asKeyValueRange()) {
            for (int i = 0; i < words.size(); ++i)
                EXPECT_EQ(words[i], i % 2 == 0 ? u"ON"_s : u"OFF"_s) << test.toStdString();
        }
        QStringList kinds;
        for (const LogLine &line : promisc[h])
            kinds.append(line.state);
        if (StartsPromiscuous(h)) {
            for (const QString &test : illegal)
                EXPECT_EQ(states[h].value(test), QStringList{u"ON"_s}) << test.toStdString();
            EXPECT_EQ(kinds, QStringList{u"SUSPECT"_s});
            // Judged at the first cycle's end.
            EXPECT_EQ(promisc[h].value(0).cycle, 0);
        } else {
            // A normal card hears the group addresses that share a hash
            // bucket with one it joined (the buckets differ per link), from
            // the start on and for good.
            int heard = 0, switched = 0;
            for (const QString &test : illegal) {
                const QStringList words = states[h].value(test);
                if (words == QStringList{u"ON"_s})
                    ++heard;
                else if (words == QStringList{u"ON"_s, u"OFF"_s})
                    ++switched;
                else
                    EXPECT_EQ(words, QStringList()) << test.toStdString();
            }
            if (heard > 0) {
                EXPECT_EQ(kinds.value(0), u"SUSPECT"_s);
                EXPECT_EQ(promisc[h].value(0).cycle, 0);
                kinds.removeFirst();
            }
            if (h == SwitchedHost) {
                EXPECT_GT(switched, 0);
                EXPECT_EQ(kinds, (QStringList{u"START"_s, u"STOP"_s}));
            } else {
                EXPECT_EQ(switched, 0);
                EXPECT_EQ(kinds, QStringList());
            }
        }
    }

    // The syslog host received the same events in the same order, each
    // stamped with its log line's time.
    const QString from = u"|"_s + QString::fromLatin1(LabSegment::ScannerIp);
    const QString sent =
        u"|"_s + QString::fromLatin1(keelwatch::LocalHostName()) + u"|KEELWATCH|KEELWATCH:| "_s;
    const QRegularExpression bannerTime(u"Keelwatch,03FF,("_s + DateTimePattern + u")"_s);
    QStringList expected = {u"166"_s + sent + u"START|"_s +
                            SyslogTime(bannerTime.match(log).captured(1)) + from};
    for (const LogLine &line : lines) {
        const QString node = line.ip + u" ["_s + line.mac + u"] "_s;
        QString priority, text;
        if (line.what == u"PROMISC") {
            priority = line.state == u"SUSPECT" ? u"164"_s : u"161"_s;
            text = u"PROMISC "_s + line.state;
        } else if (line.what == u"Br") {
            priority = u"166"_s;
            text = line.state == u"ON" ? u"NODE FOUND"_s : u"NODE LOST"_s;
        } else {
            continue;
        }
        expected.append(priority + sent + node + text + u"|"_s + SyslogTime(line.dateTime) + from);
    }
    EXPECT_EQ(lab->ReceivedSyslog(int(expected.size())), expected);
    if (HasFailure())
        std::cerr << "event log:\n" << log.toStdString();
}

// A logout or service stop at any moment of the start, once the program
// has taken the signal from the default action, ends it as File, Exit does:
// exit code 0, never death by the signal. Nothing is scanned, so no lab.
class StopDuringStart : public ::testing::TestWithParam<int>
{
};

// Negative: the stop is already waiting when the program's first
// instruction runs.
void StopBeforeTheStart(QProcess &program)
{
    program.setChildProcessModifier([] {
        sigset_t stop;
        sigemptyset(&stop);
        sigaddset(&stop, SIGTERM);
        sigprocmask(SIG_BLOCK, &stop, nullptr);
        raise(SIGTERM);
    });
}

TEST_P(StopDuringStart, EndsTheProgramInOrder)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"XDG_CONFIG_HOME"_s, dir.path());
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    QProcess program;
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::MergedChannels);
    if (GetParam() < 0)
        StopBeforeTheStart(program);
    program.start(QString::fromUtf8(KEELWATCH_BINARY), QStringList{});
    ASSERT_TRUE(program.waitForStarted());
    if (GetParam() >= 0) {
        ASSERT_TRUE(
            WaitUntil([&] { return keelwatch::SignalTaken(program.processId(), SIGTERM); }));
        QThread::msleep(ulong(GetParam()));
        program.terminate();
    }
    ASSERT_TRUE(program.waitForFinished(15000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0) << program.readAll().toStdString();
}

// Milliseconds after the signal was taken: in the start's first steps,
// while the windows are built, and once they show.
INSTANTIATE_TEST_SUITE_P(Moments, StopDuringStart,
                         ::testing::Values(-1, 0, 1, 5, 20, 80, 300, 1000));

} // namespace
