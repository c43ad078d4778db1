#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <string>

// A tmpfs of a few KiB mounted on a temporary folder, where a write runs out
// of space the way it does on a nearly full disk, or a read-only one. Mounting
// needs root (or a mount namespace); Reason() says why there is none.
class TinyDisk
{
  public:
    explicit TinyDisk(int kib, unsigned long mountFlags = 0)
    {
        if (!dir.isValid()) {
            reason = "no temporary folder";
            return;
        }
        const QByteArray options = "size=" + QByteArray::number(kib) + 'k';
        if (::mount("tmpfs", dir.path().toLocal8Bit().constData(), "tmpfs", mountFlags,
                    options.constData()) != 0) {
            reason = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
            return;
        }
        mounted = true;
    }
    ~TinyDisk()
    {
        if (mounted)
            ::umount2(dir.path().toLocal8Bit().constData(), MNT_DETACH);
    }
    TinyDisk(const TinyDisk &) = delete;
    TinyDisk &operator=(const TinyDisk &) = delete;

    bool IsMounted() const { return mounted; }
    const std::string &Reason() const { return reason; }
    QString Path() const { return dir.path(); }
    QString FilePath(const QString &name) const { return dir.filePath(name); }

    // Takes all the space that is left with a file of this name; removing
    // the file gives it back.
    bool Fill(const QString &name) const
    {
        QFile filler(FilePath(name));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return false;
        const QByteArray block(1024, 'f');
        while (filler.write(block) == block.size()) {
        }
        // The last partial block may leave a few bytes: fill them too.
        while (filler.write(block.left(1)) == 1) {
        }
        return true;
    }

  private:
    QTemporaryDir dir;
    bool mounted = false;
    std::string reason;
};

#define SKIP_WITHOUT_TINY_DISK(disk)                                                               \
    if (!(disk).IsMounted())                                                                       \
    GTEST_SKIP() << (disk).Reason()
