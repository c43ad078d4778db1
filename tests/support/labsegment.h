#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

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

    LabSegment(int hosts, const QStringList &promiscuousHosts)
        : prefix(QStringLiteral("kw%1x%2").arg(getpid()).arg(++counter))
    {
        QStringList args = {QStringLiteral("up"), prefix, QString::number(hosts)};
        args += promiscuousHosts;
        QProcess up;
        up.start(Script(), args);
        up.waitForFinished(60000);
        output = QString::fromLocal8Bit(up.readAllStandardOutput() + up.readAllStandardError());
        built = up.exitStatus() == QProcess::NormalExit && up.exitCode() == 0;
    }
    ~LabSegment() { QProcess::execute(Script(), {QStringLiteral("down"), prefix}); }
    LabSegment(const LabSegment &) = delete;
    LabSegment &operator=(const LabSegment &) = delete;

    QString Namespace(const QString &part) const { return prefix + u'-' + part; }

    const QString prefix;
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
