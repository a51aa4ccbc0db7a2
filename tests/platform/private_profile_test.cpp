// The settings file: case-insensitive look-ups, other lines kept, atomic replace.
#include "platform/exception.h"
#include "platform/private_profile.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace platform {
namespace {

class PrivateProfile : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    }
    void TearDown() override { qunsetenv("XDG_CONFIG_HOME"); }
    void write(const QByteArray& content)
    {
        QFile file(dir.path() + "/Test.ini");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QByteArray read() const
    {
        QFile file(dir.path() + "/Test.ini");
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QTemporaryDir dir;
};

TEST_F(PrivateProfile, LivesInTheConfigDirectory)
{
    EXPECT_EQ(ProfilePath("Test.ini"), dir.path().toStdString() + "/Test.ini");
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(ProfilePath("Test.ini"), (qEnvironmentVariable("HOME") + "/.config/Test.ini").toStdString());
}

TEST_F(PrivateProfile, MissingFileSectionOrKeyGivesTheDefault)
{
    EXPECT_EQ(GetPrivateProfileStringA("ViewForm", "Timeout", "10", "Test.ini"), "10");
    write("[Other]\nTimeout=5\n[ViewForm]\nServer=a\n");
    EXPECT_EQ(GetPrivateProfileStringA("ViewForm", "Timeout", "10", "Test.ini"), "10");
    EXPECT_EQ(GetPrivateProfileStringA("Missing", "Server", "d", "Test.ini"), "d");
}

TEST_F(PrivateProfile, SectionsAndKeysMatchWithoutRegardToCase)
{
    write("; settings\n[viewform]\n  RETRYSECS = 7 \nServer=\"time.example\"\n");
    EXPECT_EQ(GetPrivateProfileStringA("ViewForm", "RetrySecs", "3", "Test.ini"), "7");
    EXPECT_EQ(GetPrivateProfileStringA("VIEWFORM", "retrysecs", "3", "Test.ini"), "7");
    EXPECT_EQ(GetPrivateProfileStringA("ViewForm", "Server", "", "Test.ini"), "time.example");
}

TEST_F(PrivateProfile, ValuesAreCutAt1023Characters)
{
    write("[S]\nK=" + QByteArray(2000, 'x') + "\n");
    EXPECT_EQ(GetPrivateProfileStringA("S", "K", "", "Test.ini").size(), 1023u);
}

TEST_F(PrivateProfile, WritingReplacesTheKeyAndKeepsEveryOtherLine)
{
    write("; kept comment\n[ViewForm]\nRetrySecs=5\nunknown line\n\n[Other]\nx=1\n");
    TIniFile file("Test.ini");
    file.WriteString("ViewForm", "Retrysecs", "3");
    file.WriteString("ViewForm", "Timeout", "10");
    file.WriteString("Info", "Last Updated", "12/7/26 1:02:03 PM");
    file.UpdateFile();
    EXPECT_EQ(read(), "; kept comment\n[ViewForm]\nRetrysecs=3\nunknown line\nTimeout=10\n\n[Other]\nx=1\n"
                      "\n[Info]\nLast Updated=12/7/26 1:02:03 PM\n");
}

TEST_F(PrivateProfile, WritingKeepsLinesChangedSinceTheFileWasRead)
{
    // The window reads the file at start and writes it at exit, hours later;
    // what was edited in between must survive the exit.
    write("[ViewForm]\nTimeout=10\n");
    TIniFile file("Test.ini");
    write("; added meanwhile\n[ViewForm]\nTimeout=10\nServer=edited\n\n[Other]\nx=1\n");
    file.WriteString("ViewForm", "Timeout", "15");
    EXPECT_EQ(file.ReadString("viewform", "timeout", ""), "15");
    file.UpdateFile();
    EXPECT_EQ(read(), "; added meanwhile\n[ViewForm]\nTimeout=15\nServer=edited\n\n[Other]\nx=1\n");
}

TEST_F(PrivateProfile, WindowsLineEndsStayWindowsLineEnds)
{
    write("[S]\r\nA=1\r\n");
    ASSERT_TRUE(WritePrivateProfileStringA("S", "B", "2", "Test.ini"));
    EXPECT_EQ(read(), "[S]\r\nA=1\r\nB=2\r\n");
}

TEST_F(PrivateProfile, WritingCreatesTheDirectory)
{
    qputenv("XDG_CONFIG_HOME", (dir.path() + "/new/config").toUtf8());
    ASSERT_TRUE(WritePrivateProfileStringA("S", "K", "v", "Test.ini"));
    EXPECT_EQ(GetPrivateProfileStringA("S", "K", "", "Test.ini"), "v");
}

TEST_F(PrivateProfile, AFailedWriteNamesTheFileAndChangesNothing)
{
    write("[S]\nK=old\n");
    // A plain file where the directory should be: nothing can be written there.
    qputenv("XDG_CONFIG_HOME", (dir.path() + "/Test.ini/sub").toUtf8());
    TIniFile file("Test.ini");
    file.WriteString("S", "K", "new");
    try {
        file.UpdateFile();
        FAIL() << "no error";
    } catch (const Exception& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Unable to write to " + dir.path().toStdString() + "/Test.ini/sub/Test.ini: Not a directory");
    }
    EXPECT_FALSE(WritePrivateProfileStringA("S", "K", "new", "Test.ini"));
    EXPECT_EQ(read(), "[S]\nK=old\n");
}

TEST_F(PrivateProfile, AnUnchangedFileIsWrittenBackByteForByte)
{
    const QByteArray files[] = {
        "",
        "[S]\nK=1",                                    // no final newline
        "\xEF\xBB\xBF[S]\r\nK=1\r\n",                  // byte-order mark, Windows endings
        "; mixed\r\n[S]\nK=1\r\n\n\n",                 // endings differ line by line
        "\r\n\r\r\n[S]\nK=1\r\r\n",                     // stray carriage returns
        QByteArray("[S]\nK=a\0b\n\xFF\xFE junk\n", 17),  // NUL and bytes that are no UTF-8
        "\xEF\xBB\xBF",                                // only the mark
    };
    for (const QByteArray& content : files) {
        write(content);
        TIniFile file("Test.ini");
        file.UpdateFile();
        EXPECT_EQ(read(), content) << content.toStdString();
    }
}

TEST_F(PrivateProfile, AByteOrderMarkHidesNoSectionAndIsKept)
{
    write("\xEF\xBB\xBF[ViewForm]\r\nAdjust=0\r\n");
    TIniFile file("Test.ini");
    EXPECT_EQ(file.ReadString("ViewForm", "Adjust", "1"), "0");
    file.WriteString("ViewForm", "Adjust", "1");
    file.WriteString("ViewForm", "Server", "a");
    file.UpdateFile();
    EXPECT_EQ(read(), "\xEF\xBB\xBF[ViewForm]\r\nAdjust=1\r\nServer=a\r\n");
}

TEST_F(PrivateProfile, AddedLinesFollowTheFirstLineEndingAndNeverRunOn)
{
    const struct {
        QByteArray before;
        QByteArray after;
    } cases[] = {
        {"[S]\nA=1", "[S]\nA=1\nB=2\n"},
        {"; c\r\n[S]\nA=1\n", "; c\r\n[S]\nA=1\nB=2\r\n"},
        {"[T]\nx=1", "[T]\nx=1\n\n[S]\nB=2\n"},
        {"[S]\r\nA=1\r\n\r\n[T]\r\n", "[S]\r\nA=1\r\nB=2\r\n\r\n[T]\r\n"},
    };
    for (const auto& test : cases) {
        write(test.before);
        TIniFile file("Test.ini");
        file.WriteString("S", "B", "2");
        file.UpdateFile();
        EXPECT_EQ(read(), test.after) << test.before.toStdString();
    }
}

} // namespace
} // namespace platform
