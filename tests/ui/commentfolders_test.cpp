#include "report/commenttable.h"
#include "report/tinydisk.h"
#include "ui/commentsave.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/fsuid.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

bool WriteFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

enum class Folder { Program, User };

struct FolderCase
{
    const char *name;
    bool programFolderWritable;
    bool fileBesideProgram;
    bool userFile;
    Folder read;
    Folder save;
};

class CommentFolderChoice : public ::testing::TestWithParam<FolderCase>
{
};

// A read-only folder is a read-only mount, which holds for root as for
// anyone else.
TEST_P(CommentFolderChoice, BesideTheProgramWhileItCanBeWritten)
{
    const FolderCase &c = GetParam();
    TinyDisk programFolder(64);
    SKIP_WITHOUT_TINY_DISK(programFolder);
    QTemporaryDir userData;
    ASSERT_TRUE(userData.isValid());
    const QString userDir = QDir(userData.path()).filePath(u"Quillstone/keelwatch"_s);
    if (c.fileBesideProgram) {
        ASSERT_TRUE(WriteFile(programFolder.FilePath(u"comment.txt"_s), "10.0.0.1,desk\n"));
    }
    if (c.userFile) {
        ASSERT_TRUE(QDir().mkpath(userDir));
        ASSERT_TRUE(WriteFile(QDir(userDir).filePath(u"comment.txt"_s), "10.0.0.2,mine\n"));
    }
    if (!c.programFolderWritable) {
        ASSERT_EQ(::mount(nullptr, programFolder.Path().toLocal8Bit().constData(), nullptr,
                          MS_REMOUNT | MS_RDONLY, nullptr),
                  0);
    }

    const CommentFolders chosen = ChooseCommentFolders(programFolder.Path(), userDir);
    const auto folder = [&](Folder f) {
        return f == Folder::Program ? programFolder.Path() : userDir;
    };
    EXPECT_EQ(chosen.readDir, folder(c.read));
    EXPECT_EQ(chosen.saveDir, folder(c.save));
    // The chosen folder takes the file; nothing is left beside the program
    // by the choice itself.
    CommentTable comments;
    EXPECT_EQ(comments.SaveComments(chosen.saveDir), QString());
    EXPECT_EQ(QDir(programFolder.Path()).entryList(QDir::Files).size(),
              c.fileBesideProgram || c.save == Folder::Program ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Comments, CommentFolderChoice,
    ::testing::Values(
        FolderCase{"WritableFolder", true, false, false, Folder::Program, Folder::Program},
        FolderCase{"WritableFolderWithFile", true, true, true, Folder::Program, Folder::Program},
        FolderCase{"ReadOnlyFolder", false, false, false, Folder::User, Folder::User},
        FolderCase{"ReadOnlyFolderWithFile", false, true, false, Folder::Program, Folder::User},
        FolderCase{"ReadOnlyFolderAndUserFile", false, true, true, Folder::User, Folder::User}),
    [](const ::testing::TestParamInfo<FolderCase> &info) { return std::string(info.param.name); });

// Acts as an ordinary user for file access on this thread: root's rights
// would let every write through.
class FileAccessAs
{
  public:
    // Group too: root's group would otherwise pick the group's bits.
    explicit FileAccessAs(uid_t uid, gid_t gid)
        : previousGroup(setfsgid(gid)), previous(setfsuid(uid))
    {
    }
    ~FileAccessAs()
    {
        setfsuid(previous);
        setfsgid(previousGroup);
    }
    FileAccessAs(const FileAccessAs &) = delete;
    FileAccessAs &operator=(const FileAccessAs &) = delete;

  private:
    gid_t previousGroup;
    uid_t previous;
};

// A folder closed to the user with a comment.txt opened up to everyone, as
// an administrator may have set up: the file stays in use and takes the save.
TEST(CommentFolders, WritableFileInAClosedFolderKeepsBeingUsed)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    QTemporaryDir programFolder;
    QTemporaryDir userData;
    ASSERT_TRUE(programFolder.isValid() && userData.isValid());
    const QString file = programFolder.filePath(u"comment.txt"_s);
    ASSERT_TRUE(WriteFile(file, "10.0.0.1,old\n"));
    ASSERT_TRUE(QFile::setPermissions(programFolder.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                                QFile::ExeOwner | QFile::ReadOther |
                                                                QFile::ExeOther));
    ASSERT_TRUE(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner |
                                                QFile::ReadOther | QFile::WriteOther));
    CommentTable comments;
    ASSERT_TRUE(comments.SetComment(u"10.0.0.1"_s, u"new"_s));

    FileAccessAs nobody(65534, 65534);
    const CommentFolders chosen = ChooseCommentFolders(programFolder.path(), userData.path());
    EXPECT_EQ(chosen.readDir, programFolder.path());
    EXPECT_EQ(chosen.saveDir, programFolder.path());
    EXPECT_EQ(comments.SaveComments(chosen.saveDir), QString());
    EXPECT_EQ(ReadFile(file), "10.0.0.1,new\r\n");
}

} // namespace
