// The settings file under faults: every failing step of a write leaves the
// old file byte for byte; a file that exists but cannot be read is reported
// and never written over.
#include "fakes/fake_file_system.h"
#include "platform/exception.h"
#include "platform/private_profile.h"
#include "platform/safe_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <functional>

namespace platform {
namespace {

using Step = fakes::FakeFileSystem::Step;

class SettingsFileFaults : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    }
    void TearDown() override { qunsetenv("XDG_CONFIG_HOME"); }
    std::string path() const { return (dir.path() + "/Test.ini").toStdString(); }
    void write(const QByteArray& content)
    {
        QFile file(QString::fromStdString(path()));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QByteArray read() const
    {
        QFile file(QString::fromStdString(path()));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }
    // What UpdateFile raised, or "" when it did not raise.
    static std::string updateError(const TIniFile& file)
    {
        try {
            file.UpdateFile();
        } catch (const Exception& error) {
            return error.what();
        }
        return {};
    }
    QStringList entries() const
    {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }

    QTemporaryDir dir;
    fakes::FakeFileSystem files;
};

TEST_F(SettingsFileFaults, EveryFailingWriteStepKeepsTheOldFileAndNamesTheReason)
{
    const struct {
        Step step;
        int error;
        std::size_t writePartly;
    } cases[] = {
        {Step::OpenWrite, ENOSPC, 0}, {Step::OpenWrite, EACCES, 0}, {Step::Fchmod, EPERM, 0},
        {Step::Write, ENOSPC, 0},     {Step::Write, ENOSPC, 3},     {Step::Write, EDQUOT, 0},
        {Step::Fsync, EIO, 0},        {Step::Close, EDQUOT, 0},     {Step::Rename, EXDEV, 0},
    };
    const QByteArray old = "; mine\n[ViewForm]\nAdjust=0\n";
    for (const auto& test : cases) {
        write(old);
        files = {};
        TIniFile file("Test.ini", files);
        file.WriteString("ViewForm", "Adjust", "1");
        files.failing = test.step;
        files.failWith = test.error;
        files.writePartly = test.writePartly;
        const std::string context = std::to_string(static_cast<int>(test.step)) + " " + std::strerror(test.error);
        EXPECT_EQ(updateError(file), "Unable to write to " + path() + ": " + std::strerror(test.error)) << context;
        EXPECT_EQ(read(), old) << context;
        EXPECT_EQ(entries(), QStringList{"Test.ini"}) << "temporary file left behind: " << context;
    }
}

TEST_F(SettingsFileFaults, AWriteSyncsTheDataBeforeTheRenameAndTheDirectoryAfter)
{
    write("[S]\nK=1\n");
    TIniFile file("Test.ini", files);
    files.calls.clear();
    file.UpdateFile();
    const std::vector<std::string> expected = {"open-read", "fstat", "read", "read", "close",  // the file as it is now
                                               "open-write", "fchmod", "write", "fsync", "close", "rename",
                                               "open-read", "fsync", "close"};   // the directory
    EXPECT_EQ(files.calls, expected);
}

TEST_F(SettingsFileFaults, ReplacingKeepsTheModeAndFollowsALink)
{
    const std::string real = (dir.path() + "/real.ini").toStdString();
    {
        QFile file(QString::fromStdString(real));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[S]\nK=1\n");
    }
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    ASSERT_EQ(::symlink(real.c_str(), path().c_str()), 0);
    ASSERT_TRUE(WritePrivateProfileStringA("S", "K", "2", "Test.ini"));
    struct stat status {};
    ASSERT_EQ(::lstat(path().c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode));
    ASSERT_EQ(::stat(real.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
    EXPECT_EQ(GetPrivateProfileStringA("S", "K", "", "Test.ini"), "2");
}

// Each kind of file that exists but is no readable settings file.
TEST_F(SettingsFileFaults, AnUnreadableFileStartsOnDefaultsIsReportedAndIsNeverWritten)
{
    const std::string big = std::string("[S]\nK=1\n") + std::string(kSmallFileMaxBytes, ';');
    const struct {
        const char* kind;
        std::function<void()> make;
        std::string reason;
    } cases[] = {
        {"fifo", [&] { ASSERT_EQ(::mkfifo(path().c_str(), 0600), 0); }, "not a regular file"},
        {"directory", [&] { ASSERT_EQ(::mkdir(path().c_str(), 0700), 0); }, std::strerror(EISDIR)},
        {"device", [&] { ASSERT_EQ(::symlink("/dev/zero", path().c_str()), 0); }, "not a regular file"},
        {"over 1 MiB", [&] { write(QByteArray::fromStdString(big)); }, "larger than 1048576 bytes"},
        {"no read permission",
         [&] {
             write("[S]\nK=1\n");
             files.failing = Step::OpenRead;
             files.failWith = EACCES;
         },
         std::strerror(EACCES)},
        {"read error",
         [&] {
             write("[S]\nK=1\n");
             files.failing = Step::Read;
             files.failWith = EIO;
         },
         std::strerror(EIO)},
    };
    for (const auto& test : cases) {
        QDir(dir.path()).removeRecursively();
        QDir().mkpath(dir.path());
        files = {};
        test.make();
        struct stat before {};
        ASSERT_EQ(::lstat(path().c_str(), &before), 0) << test.kind;
        TIniFile file("Test.ini", files);
        EXPECT_EQ(file.ReadError(), "Unable to read " + path() + ": " + test.reason +
                                        ". The program starts on the default settings and leaves the file as it is.")
            << test.kind;
        EXPECT_EQ(file.ReadString("S", "K", "default"), "default") << test.kind;
        file.WriteString("S", "K", "2");
        files.failing = Step::None;
        EXPECT_EQ(updateError(file), "Unable to write to " + path() + ": it could not be read at start (" +
                                         test.reason + "), so it is left as it is")
            << test.kind;
        struct stat after {};
        ASSERT_EQ(::lstat(path().c_str(), &after), 0) << test.kind;
        EXPECT_EQ(after.st_ino, before.st_ino) << test.kind;
        EXPECT_EQ(after.st_size, before.st_size) << test.kind;
        EXPECT_EQ(entries().size(), 1) << test.kind;
    }
}

TEST_F(SettingsFileFaults, AFileOfExactlyTheCapIsRead)
{
    std::string content = "[S]\nK=1\n";
    content += std::string(kSmallFileMaxBytes - content.size(), ';');
    write(QByteArray::fromStdString(content));
    TIniFile file("Test.ini", files);
    EXPECT_EQ(file.ReadError(), "");
    EXPECT_EQ(file.ReadString("S", "K", ""), "1");
}

TEST_F(SettingsFileFaults, AFileThatBecameUnreadableSinceTheStartIsLeftAlone)
{
    write("[S]\nK=1\n");
    TIniFile file("Test.ini", files);
    file.WriteString("S", "K", "2");
    files.failing = Step::OpenRead;
    files.failWith = EACCES;
    EXPECT_EQ(updateError(file), "Unable to write to " + path() + ": it cannot be read now (" +
                                     std::strerror(EACCES) + "), so it is left as it is");
    EXPECT_EQ(read(), "[S]\nK=1\n");
}

TEST_F(SettingsFileFaults, AMissingFileIsNoError)
{
    TIniFile file("Test.ini", files);
    EXPECT_EQ(file.ReadError(), "");
    file.WriteString("S", "K", "1");
    EXPECT_EQ(updateError(file), "");
    EXPECT_EQ(read(), "[S]\nK=1\n");
}

} // namespace
} // namespace platform
