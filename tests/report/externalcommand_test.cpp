#include "report/externalcommand.h"

#include "core/node.h"

#include "support/qtprint.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

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

} // namespace
