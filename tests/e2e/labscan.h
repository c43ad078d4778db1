#pragma once

#include <QRegularExpression>
#include <QSettings>
#include <QString>
#include <QStringList>

#include <functional>

// The lab both end-to-end tests scan: a dozen hosts, 2 and 4 promiscuous from
// the start and SwitchedHost switched by the test between cycles.
namespace labscan {

constexpr int Hosts = 12;
constexpr int SwitchedHost = 7;
const QStringList PromiscuousHosts = {QStringLiteral("2"), QStringLiteral("4")};
// Scan Timer 1 s in List Mode: a cycle takes about three seconds. Deadlines
// are guards against a hung scan, not timing goals.
constexpr int FirstCyclesMs = 60000;
constexpr int SwitchMs = 30000;

QString HostIp(int host);
QString HostMac(int host);
bool StartsPromiscuous(int host);

// Every setting of a List Mode cyclic scan of the lab with all ten test
// addresses, two probes each and no pause, into the user's INI store.
// syslogServer empty: no syslog.
// lastHost ends the range; a sendRate paces the sweeps by frames per second
// (none: the Node Timer paces, as in a store from before rate pacing).
void WriteSettings(QSettings &store, const QString &logPath, bool tabDelimiter,
                   const QString &syslogServer, int lastHost = Hosts,
                   const QString &sendRate = QString());

// The program copied to folder/bin/keelwatch with its capture helper where
// the packages put it, folder/libexec/keelwatch/keelwatch-capture: the path
// of the copy, or empty when either cannot be copied.
QString CopyProgram(const QString &folder, const QString &program, const QString &helper);

// oui.txt naming the lab's card maker and comment.txt with a comment for the
// switched host, into the folder of the program.
void WriteProgramFiles(const QString &folder);
const QString VendorName = QStringLiteral("Lab Cards Ltd");
const QString SwitchedComment = QStringLiteral("switched host");

// "dd/mmm/yyyy hh:mm:ss" as the event log and the alert lines write it.
const QString DateTimePattern = QStringLiteral(R"(\d\d/[A-Z][a-z]{2}/\d{4} \d\d:\d\d:\d\d)");

// How many lines of text start a cycle ("#Cyclic_Count" lines).
int CycleLines(const QString &text);

// Waits for the next cycle line in what text() returns, then switches the
// host: between two cycles, so that no sweep sees half a change.
bool SwitchBetweenCycles(const std::function<QString()> &text,
                         const std::function<bool()> &doSwitch);

} // namespace labscan
