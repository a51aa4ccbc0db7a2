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
#include <sys/wait.h>
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
                                               "open-write", "fchmod", "write", "fsync", "fstat", "close", "rename",
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

// What may lie at the path by the time of a write; only the user's own
// (plain) file is replaced, and each refusal is said once.
TEST_F(SettingsFileFaults, AWriteNeverGoesThroughALinkToAnotherFileNorOverAFrozenOne)
{
    const std::string other = (dir.path() + "/other").toStdString();
    const std::string real = (dir.path() + "/real.ini").toStdString();
    const auto make = [](const std::string& name, const char* text) {
        QFile file(QString::fromStdString(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    };
    const auto relink = [&] {
        ASSERT_EQ(::unlink(path().c_str()), 0);
        ASSERT_EQ(::symlink(other.c_str(), path().c_str()), 0);
    };
    const struct {
        const char* change;            // after the start, before the write
        bool linkAtStart;              // the path is the user's link to real.ini at start
        std::function<void()> make;
        const char* refusal;           // nullptr: written
    } cases[] = {
        {"none", false, [] {}, nullptr},
        {"edited and saved by rename", false,
         [&] {
             make(path() + ".new", "[S]\nK=1\nMine=1\n");
             ASSERT_EQ(::rename((path() + ".new").c_str(), path().c_str()), 0);
         },
         nullptr},
        {"a link put in its place", false, relink, "a link there now leads to another file"},
        {"the user's link, unchanged", true, [] {}, nullptr},
        {"the user's link turned to another file", true, relink, "a link there now leads to another file"},
        {"made read-only", false, [&] { ASSERT_EQ(::chmod(path().c_str(), 0444), 0); }, "it is read-only (mode 0444)"},
        {"the link's target made read-only", true, [&] { ASSERT_EQ(::chmod(real.c_str(), 0400), 0); },
         "it is read-only (mode 0400)"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.change);
        QDir(dir.path()).removeRecursively();
        QDir().mkpath(dir.path());
        make(other, "root:x:0:0\n");
        if (test.linkAtStart) {
            make(real, "[S]\nK=1\n");
            ASSERT_EQ(::symlink(real.c_str(), path().c_str()), 0);
        } else {
            make(path(), "[S]\nK=1\n");
        }
        TIniFile file("Test.ini", files);
        file.WriteString("S", "K", "2");
        test.make();
        const QByteArray before = read();
        const std::string error = updateError(file);
        if (!test.refusal) {
            EXPECT_EQ(error, "");
            EXPECT_TRUE(read().contains("K=2"));
        } else {
            EXPECT_NE(error.find(std::string("Unable to write to ") + path() + ": " + test.refusal), std::string::npos)
                << error;
        }
        EXPECT_EQ(updateError(file), "") << "the second write; a refusal is said once";
        if (test.refusal) {
            EXPECT_EQ(read(), before);
        }
        QFile otherFile(QString::fromStdString(other));
        ASSERT_TRUE(otherFile.open(QIODevice::ReadOnly));
        EXPECT_EQ(otherFile.readAll(), "root:x:0:0\n");
    }
}

TEST_F(SettingsFileFaults, ADanglingLinkIsReportedAndNotReplacedByAPlainFile)
{
    const std::string target = (dir.path() + "/gone.ini").toStdString();
    ASSERT_EQ(::symlink(target.c_str(), path().c_str()), 0);
    TIniFile file("Test.ini", files);
    EXPECT_EQ(file.ReadError(), "Unable to read " + path() +
                                    ": a link to a file that does not exist. The program starts on the default "
                                    "settings and leaves the file as it is.");
    file.WriteString("S", "K", "2");
    EXPECT_NE(updateError(file), "");
    struct stat status {};
    ASSERT_EQ(::lstat(path().c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(target)));
}

TEST_F(SettingsFileFaults, TemporariesOfKilledWritersAreRemovedAtTheNextStart)
{
    pid_t dead = ::fork();
    if (dead == 0)
        ::_exit(0);
    ASSERT_GT(dead, 0);
    ::waitpid(dead, nullptr, 0);
    const std::string live = std::to_string(::getpid());
    const std::string gone = std::to_string(dead);
    const struct {
        std::string name;
        bool removed;
    } cases[] = {
        {".Test.ini." + gone + ".0.tmp", true},
        {".Test.ini." + gone + ".17.tmp", true},
        {".Test.ini." + live + ".0.tmp", false},    // a writer still at work
        {".Other.ini." + gone + ".0.tmp", false},   // not this file's
        {".Test.ini." + gone + ".x.tmp", false},
        {".Test.ini." + gone + ".0.tmp~", false},
        {"Test.ini." + gone + ".0.tmp", false},
    };
    for (const auto& test : cases) {
        QFile file(dir.path() + "/" + QString::fromStdString(test.name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    TIniFile file("Test.ini", files);
    for (const auto& test : cases)
        EXPECT_EQ(QFile::exists(dir.path() + "/" + QString::fromStdString(test.name)), !test.removed) << test.name;
}

TEST_F(SettingsFileFaults, ARelativeConfigHomeIsIgnored)
{
    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", "/home/someone");
    qputenv("XDG_CONFIG_HOME", "relative/config");
    EXPECT_EQ(ProfilePath("Tikora.ini"), "/home/someone/.config/Tikora.ini");
    qputenv("HOME", home);
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
