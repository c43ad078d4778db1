// The real program on the large lab with rate pacing: a cyclic List Mode
// scan with all ten tests and two probes each finds every host and flags
// every promiscuous one in its first cycle, and later cycles lose nobody,
// on the lab's stock receive queues.

#include "labscan.h"

#include "support/eventwait.h"
#include "support/labsegment.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

TEST(PacedScanOnLargeLab, FindsEveryHostInTheFirstCycleAndLosesNoneLater)
{
    if (const auto reason = LabSegment::Unavailable())
        GTEST_SKIP() << reason->toStdString();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QDir root(dir.path());
    ASSERT_TRUE(root.mkpath(u"bin"_s) && root.mkpath(u"config/Quillstone"_s));
    const QStringList promiscuous = LabSegment::LargePromiscuousHosts();
    LabSegment lab(LabSegment::LargeHosts, promiscuous);
    ASSERT_TRUE(lab.built) << lab.output.toStdString();

    const QString logPath = root.filePath(u"keelwatch.log"_s);
    {
        QSettings store(root.filePath(u"config/Quillstone/keelwatch.conf"_s), QSettings::IniFormat);
        labscan::WriteSettings(store, logPath, false, QString(), LabSegment::LargeHosts,
                               u"20000"_s);
        ASSERT_EQ(store.status(), QSettings::NoError);
    }
    const QString binary = root.filePath(u"bin/keelwatch"_s);
    ASSERT_TRUE(QFile::copy(QString::fromUtf8(KEELWATCH_BINARY), binary));

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"XDG_CONFIG_HOME"_s, root.filePath(u"config"_s));
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(u"ip"_s, {u"netns"_s, u"exec"_s, lab.Namespace(u"scan"_s), binary, u"auto"_s});
    ASSERT_TRUE(program.waitForStarted());
    const auto log = [&] {
        QFile f(logPath);
        return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
    };
    // The automatic start after ten seconds, then four cycles of about three
    // seconds each; the deadline guards against a hung scan.
    const bool cycled = WaitUntil(
        [&] {
            return log().contains(u"#Cyclic_Count,4,"_s) || program.state() == QProcess::NotRunning;
        },
        120000);
    program.terminate();
    program.waitForFinished(15000);
    ASSERT_TRUE(cycled && log().contains(u"#Cyclic_Count,4,"_s))
        << program.readAll().toStdString() << log().toStdString();

    // Lines before the first "#Cyclic_Count" belong to the first cycle.
    const QString text = log();
    const QString firstCycle = text.left(text.indexOf(u"#Cyclic_Count,1,"_s));
    int found = 0;
    int flagged = 0;
    for (int host = 1; host <= LabSegment::LargeHosts; ++host) {
        const QString node =
            u","_s + LabSegment::HostIp(host) + u",["_s + LabSegment::HostMac(host) + u"],"_s;
        found += firstCycle.contains(node + u"Br,ON,"_s);
        if (promiscuous.contains(QString::number(host)))
            flagged += firstCycle.contains(node + u"PROMISC,SUSPECT,"_s);
    }
    EXPECT_EQ(found, LabSegment::LargeHosts);
    EXPECT_EQ(flagged, promiscuous.size());
    // A normal card may answer a group address through its hash filter, so
    // extra suspects are allowed; a lost reply is not.
    const QStringList lines = text.split(u"\r\n"_s);
    for (const QString &lost : {u",Br,OFF,"_s, u",PROMISC,STOP,"_s})
        EXPECT_EQ(lines.filter(lost), QStringList()) << text.toStdString();
}

} // namespace
