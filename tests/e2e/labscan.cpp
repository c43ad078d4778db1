#include "labscan.h"

#include "support/eventwait.h"

#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;

namespace labscan {

QString CopyProgram(const QString &folder, const QString &program, const QString &helper)
{
    const QDir root(folder);
    const QString binary = root.filePath(QStringLiteral("bin/keelwatch"));
    if (!root.mkpath(QStringLiteral("bin")) || !root.mkpath(QStringLiteral("libexec/keelwatch")) ||
        !QFile::copy(program, binary) ||
        !QFile::copy(helper, root.filePath(QStringLiteral("libexec/keelwatch/keelwatch-capture"))))
        return QString();
    return binary;
}

QString HostIp(int host)
{
    return u"10.77.0.%1"_s.arg(10 + host);
}

QString HostMac(int host)
{
    return u"02:77:00:00:00:%1"_s.arg(host + 1, 2, 16, QChar(u'0')).toUpper();
}

bool StartsPromiscuous(int host)
{
    return PromiscuousHosts.contains(QString::number(host));
}

void WriteSettings(QSettings &store, const QString &logPath, bool tabDelimiter,
                   const QString &syslogServer, int lastHost, const QString &sendRate)
{
    store.clear();
    const QList<std::pair<QString, QVariant>> values = {
        {u"TIPF"_s, HostIp(1)},
        {u"TIPT"_s, HostIp(lastHost)},
        {u"NIC"_s, u"10.77.0.1 : wire0"_s},
        {u"OIP"_s, u"10.77.0.1"_s},
        {u"OMAC"_s, u"02 11 22 33 44 50"_s},
        // Groups no lab host joins.
        {u"FS1MAC"_s, u"01 00 5E 00 00 02"_s},
        {u"FS2MAC"_s, u"01 00 5E 00 00 04"_s},
        {u"FBR"_s, 1},
        {u"F31"_s, 1},
        {u"F016"_s, 1},
        {u"F8"_s, 1},
        {u"FM"_s, 1},
        {u"M1"_s, 1},
        {u"M2"_s, 1},
        {u"FG"_s, 1},
        {u"FS1"_s, 1},
        {u"FS2"_s, 1},
        {u"FastScan"_s, 1},
        {u"CyclicScan"_s, 1},
        {u"IVTIME"_s, u"1"_s},
        // Two of each probe: a reply lost on a busy machine would read as a
        // card that changed its mode.
        {u"PNUM"_s, u"2"_s},
        {u"PacketTIME"_s, u"0"_s},
        {u"Scroll"_s, 1},
        {u"Beep"_s, 0},
        {u"Logpath"_s, logPath},
        {u"DTAB"_s, tabDelimiter ? 1 : 0},
        {u"DCOM"_s, tabDelimiter ? 0 : 1},
        {u"showall"_s, 1},
        {u"Command"_s, u"true $IP $MAC"_s},
        {u"Syslog"_s, syslogServer.isEmpty() ? 0 : 1},
        {u"SyslogServ"_s, syslogServer},
        // The plain rule, which these tests pin line by line; confirmation
        // has a lab test of its own.
        {u"ConfirmSuspects"_s, 0},
    };
    for (const auto &[name, value] : values)
        store.setValue(name, value);
    if (!sendRate.isEmpty())
        store.setValue(u"SendRate"_s, sendRate);
    store.sync();
}

void WriteProgramFiles(const QString &folder)
{
    QFile oui(QDir(folder).filePath(u"oui.txt"_s));
    if (oui.open(QIODevice::WriteOnly))
        oui.write("027700     (base 16)\t\t" + VendorName.toLatin1() + "\r\n");
    QFile comments(QDir(folder).filePath(u"comment.txt"_s));
    if (comments.open(QIODevice::WriteOnly))
        comments.write((HostIp(SwitchedHost) + u',' + SwitchedComment + u"\r\n"_s).toLatin1());
}

int CycleLines(const QString &text)
{
    return int(text.count(u"#Cyclic_Count"_s));
}

bool SwitchBetweenCycles(const std::function<QString()> &text,
                         const std::function<bool()> &doSwitch)
{
    const int seen = CycleLines(text());
    return WaitUntil([&] { return CycleLines(text()) > seen; }, SwitchMs) && doSwitch();
}

} // namespace labscan
