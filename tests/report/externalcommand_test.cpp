#include "report/externalcommand.h"

#include "core/node.h"
#include "scan/pcapdriver.h"

#include "support/eventwait.h"
#include "support/labsegment.h"
#include "support/processinfo.h"
#include "support/qtprint.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

struct Started
{
    QString program;
    QStringList arguments;
};

struct Fixture
{
    Node node;
    QList<Started> started;
    QStringList messages;
    bool startResult = true;

    Fixture()
    {
        node.ip = IpAddress::FromIpv4(0xC0A80005);
        node.mac = *MacAddress::FromText(u"00:11:22:33:44:55");
    }
    void Run(const Node *selected, const QString &command)
    {
        RunExternalCommand(
            selected, command,
            [this](const QString &p, const QStringList &a) {
                started.append({p, a});
                return startResult;
            },
            [this](const QString &m) { messages.append(m); });
    }
};

struct ExpandCase
{
    const char *name;
    const char16_t *command;
    std::vector<const char16_t *> pieces;
};

class Expand : public testing::TestWithParam<ExpandCase>
{
};

TEST_P(Expand, ReplacesPlaceholdersInsideEachPiece)
{
    Fixture f;
    f.Run(&f.node, QString::fromUtf16(GetParam().command));
    ASSERT_EQ(f.started.size(), 1);
    QStringList expected;
    for (const char16_t *p : GetParam().pieces)
        expected.append(QString::fromUtf16(p));
    EXPECT_EQ(QStringList{f.started[0].program} + f.started[0].arguments, expected);
    EXPECT_TRUE(f.messages.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    ExternalCommand, Expand,
    testing::Values(
        ExpandCase{"Ping", u"cmd /K ping $IP", {u"cmd", u"/K", u"ping", u"192.168.0.5"}},
        ExpandCase{"TrimmedMac", u"  arp -d $mac  ", {u"arp", u"-d", u"00:11:22:33:44:55"}},
        ExpandCase{"AnyCase",
                   u"tool $Ip/$iP $MaC",
                   {u"tool", u"192.168.0.5/192.168.0.5", u"00:11:22:33:44:55"}},
        ExpandCase{"InsideAPiece", u"xdg-open smb://$IP/", {u"xdg-open", u"smb://192.168.0.5/"}},
        ExpandCase{"QuotedArgument",
                   u"net send $IP \"Don't Sniff\"",
                   {u"net", u"send", u"192.168.0.5", u"Don't Sniff"}},
        ExpandCase{"NoPlaceholder", u"top", {u"top"}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ExternalCommand, NoNodeOrEmptyTemplateIsAnError)
{
    Fixture f;
    f.Run(nullptr, u"ping $IP"_s); // nothing selected
    f.Run(&f.node, u"   "_s);
    EXPECT_TRUE(f.started.isEmpty());
    EXPECT_EQ(f.messages, QStringList(2, u"External Command ERROR!!!"_s));
}

TEST(ExternalCommand, CellTextCannotAddArgumentsOrCommands)
{
    EXPECT_EQ(ExpandCommand(u"arp -d $MAC"_s, u"192.168.0.5"_s, u"x\" ; rm -rf ~ ; \"y"_s),
              (QStringList{u"arp"_s, u"-d"_s, u"x\" ; rm -rf ~ ; \"y"_s}));
}

TEST(ExternalCommand, ProgramThatCannotStartIsReported)
{
    Fixture f;
    f.startResult = false;
    f.Run(&f.node, u"cmd /K nbtstat -A $IP"_s);
    EXPECT_EQ(f.messages, QStringList{u"Cannot start the external command cmd."_s});
}

TEST(ExternalCommand, RealStartRunsNoShell)
{
    QTemporaryDir dir;
    Fixture f;
    // Through a shell this would create "a" (and "b" in the current folder);
    // without one, a single file whose name holds the semicolon.
    RunExternalCommand(&f.node, u"touch \"%1\""_s.arg(dir.filePath(u"a;touch b"_s)),
                       StartDetachedProcess, [&](const QString &m) { f.messages.append(m); });
    EXPECT_TRUE(f.messages.isEmpty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(dir.filePath(u"a;touch b"_s)); }));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(u"a"_s)));
}

// Starts a command that waits, through the program's own starter, and
// returns what descriptors it holds; the command is ended again.
QMap<int, QString> DescriptorsOfAStartedCommand()
{
    const QString sleep = QFileInfo(QStandardPaths::findExecutable(u"sleep"_s)).canonicalFilePath();
    const QList<pid_t> before = processinfo::Children();
    if (!StartDetachedProcess(u"sleep"_s, {u"30"_s}))
        return {{-1, u"not started"_s}};
    std::optional<pid_t> pid;
    WaitUntil(
        [&] {
            for (pid_t child : processinfo::Children()) {
                if (!before.contains(child) && processinfo::Program(child) == sleep)
                    pid = child;
            }
            return pid.has_value();
        },
        5000);
    if (!pid)
        return {{-1, u"not found"_s}};
    // Just started, the command may still open and close files of its own
    // (locale data): its descriptors count once two reads agree.
    QMap<int, QString> fds = processinfo::Descriptors(*pid);
    for (int read = 0; read < 100; ++read) {
        QThread::msleep(20);
        QMap<int, QString> again = processinfo::Descriptors(*pid);
        if (again == fds)
            break;
        fds = std::move(again);
    }
    kill(*pid, SIGTERM);
    return fds;
}

// Not even a descriptor opened without close-on-exec, as libraries open
// theirs, reaches the command.
TEST(ExternalCommand, InheritsOnlyStandardInputOutputAndError)
{
    const int leaked = socket(AF_INET, SOCK_DGRAM, 0);
    int pipeEnds[2];
    ASSERT_GE(leaked, 0);
    ASSERT_EQ(pipe(pipeEnds), 0);
    const QMap<int, QString> fds = DescriptorsOfAStartedCommand();
    close(leaked);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    EXPECT_EQ(fds.keys(), QList<int>({0, 1, 2})) << processinfo::Describe(fds);
}

class ExternalCommandOnLab : public ::testing::TestWithParam<CaptureAccess>
{
};

// With a scan's adapter open, in this process or through the capture
// helper, the command holds no socket of the program.
TEST_P(ExternalCommandOnLab, HoldsNoSocketOfTheProgram)
{
    if (const auto reason = LabSegment::Unavailable())
        GTEST_SKIP() << reason->toStdString();
    LabSegment lab(1, {});
    ASSERT_TRUE(lab.built) << lab.output.toStdString();
    EnteredNamespace scanner(lab.Namespace(u"scan"_s));
    ASSERT_TRUE(scanner.entered);
    PcapDriver driver(GetParam(), QStringLiteral(KEELWATCH_CAPTURE_HELPER));
    QString error;
    ProbeSenders senders;
    senders.blocks = {{0x02, 0x00, 0x00, 0x77, 0x00, 0x50}};
    const auto capture = driver.PacketOpenAdapter(u"wire0"_s, senders, &error);
    ASSERT_TRUE(capture) << error.toStdString();
    ASSERT_TRUE(capture->PacketSetBpf(CaptureFilterProgram)) << capture->ErrorText().toStdString();

    const QMap<int, QString> fds = DescriptorsOfAStartedCommand();
    EXPECT_EQ(fds.keys(), QList<int>({0, 1, 2})) << processinfo::Describe(fds);
    for (const QString &target : fds)
        EXPECT_FALSE(target.startsWith(u"socket:"_s)) << processinfo::Describe(fds);

    // Every socket this process opened is close-on-exec itself, for any
    // program started otherwise.
    const QMap<int, QString> own = processinfo::Descriptors(getpid());
    for (auto fd = own.begin(); fd != own.end(); ++fd) {
        if (fd.value().startsWith(u"socket:"_s)) {
            EXPECT_TRUE(fcntl(fd.key(), F_GETFD) & FD_CLOEXEC) << fd.key();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(ExternalCommand, ExternalCommandOnLab,
                         ::testing::Values(CaptureAccess::Direct, CaptureAccess::Helper),
                         [](const auto &info) {
                             return info.param == CaptureAccess::Direct ? "Direct" : "Helper";
                         });

} // namespace
