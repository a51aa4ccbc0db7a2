// The session's autostart entry, and the Options box that keeps it.
#include "app/autostart.h"
#include "app/window_fixture.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QToolButton>

#include "ui/spin_button.h"

#include <sys/stat.h>

namespace testing_support {
namespace {

using app::AutostartState;

std::string readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

TEST(QuoteExecArgument, QuotesAndEscapesAsTheDesktopEntryRulesSay)
{
    const struct {
        const char* argument;
        const char* exec;
    } cases[] = {
        {"tikora", "tikora"},
        {"/usr/bin/tikora", "/usr/bin/tikora"},
        {"/opt/my apps/tikora", R"("/opt/my apps/tikora")"},
        {"/home/a$b/tikora", R"("/home/a\\$b/tikora")"},
        {"/home/a\"b/tikora", R"("/home/a\\"b/tikora")"},
        {"/home/a\\b/tikora", R"("/home/a\\\\b/tikora")"},
        {"/home/100%/tikora", "/home/100%%/tikora"},
        {"/home/a\nb/tikora", R"("/home/a\nb/tikora")"},
        {"", R"("")"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(app::QuoteExecArgument(c.argument), c.exec) << c.argument;
}

TEST(EntryStartsProgram, SwitchedOffByTheDesktopsOwnSettings)
{
    const struct {
        std::string text;
        bool starts;
    } cases[] = {
        {"[Desktop Entry]\nType=Application\nExec=tikora\n", true},
        {"[Desktop Entry]\nExec=tikora\nHidden=true\n", false},
        {"[Desktop Entry]\nExec=tikora\nHidden = true\r\n", false},
        {"[Desktop Entry]\nExec=tikora\nHidden=false\n", true},
        {"[Desktop Entry]\nExec=tikora\nX-GNOME-Autostart-enabled=false\n", false},
        {"[Desktop Entry]\nExec=tikora\n[Desktop Action x]\nHidden=true\n", true},
        {"# Hidden=true\n[Desktop Entry]\nExec=tikora\n", true},
        // Only an entry whose main group's Exec runs this program is ours.
        {"[Desktop Entry]\nExec=/usr/bin/tikora\n", true},
        {"[Desktop Entry]\nExec=" + app::QuoteExecArgument("/opt/my apps/tikora"), true},
        {"[Desktop Entry]\nExec=" + app::QuoteExecArgument("/home/a$b/tikora"), true},
        {"[Desktop Entry]\nExec=rm -rf ~\n", false},
        {"[Desktop Entry]\nExec=sh -c tikora\n", false},
        {"[Desktop Entry]\nExec=/usr/bin/tikora-cli check\n", false},
        {"[Desktop Entry]\nExec=\"/tmp/tikora x\"\n", false},
        {"[Desktop Entry]\nExec=\n", false},
        {"[Desktop Entry]\nName=x\nExec = rm -rf ~\n[Desktop Action a]\nExec=tikora\n", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(app::ExecRunsThisProgram(app::EntryExec(c.text)) && app::EntryStartsProgram(c.text), c.starts)
            << c.text;
    EXPECT_TRUE(app::EntryStartsProgram(app::AutostartEntryText("tikora")));
}

TEST(AutostartEntryPath, ConfigHomeWhenAbsoluteElseHomeConfig)
{
    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", "/home/someone");
    qputenv("XDG_CONFIG_HOME", "/tmp/config");
    EXPECT_EQ(app::AutostartEntryPath(), "/tmp/config/autostart/tikora.desktop");
    qputenv("XDG_CONFIG_HOME", "relative/config");
    EXPECT_EQ(app::AutostartEntryPath(), "/home/someone/.config/autostart/tikora.desktop");
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(app::AutostartEntryPath(), "/home/someone/.config/autostart/tikora.desktop");
    qputenv("HOME", home);
}

TEST(AutostartProgram, TheNameWhenThePathFindsThisProgram)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string bin = dir.filePath("bin").toStdString();
    const std::string other = dir.filePath("other").toStdString();
    ASSERT_TRUE(QDir().mkpath(dir.filePath("bin")) && QDir().mkpath(dir.filePath("other")));
    QFile(dir.filePath("bin/tikora")).open(QIODevice::WriteOnly);
    QFile(dir.filePath("other/tikora")).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QFile::link(dir.filePath("bin/tikora"), dir.filePath("link")));
    const std::string program = bin + "/tikora";

    EXPECT_EQ(app::AutostartProgram(program, "/usr/bin:" + bin), "tikora");
    EXPECT_EQ(app::AutostartProgram(dir.filePath("link").toStdString(), bin), "tikora");
    // Found first elsewhere: a different program of the same name would start.
    EXPECT_EQ(app::AutostartProgram(program, other), program);
    EXPECT_EQ(app::AutostartProgram(program, ""), program);
    EXPECT_EQ(app::AutostartProgram(program, "relative/bin"), program);
}

TEST(AutostartEntry, WrittenWholeAndRemoved)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::filesystem::path entry = dir.filePath("new/autostart/tikora.desktop").toStdString();
    EXPECT_EQ(app::ReadAutostartState(entry), AutostartState::Missing);

    app::EnableAutostart(entry, "/opt/my apps/tikora");
    EXPECT_EQ(readFile(QString::fromStdString(entry.string())), app::AutostartEntryText("/opt/my apps/tikora"));
    EXPECT_EQ(app::ReadAutostartState(entry), AutostartState::Enabled);
    struct stat info {};
    ASSERT_EQ(::stat(entry.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    ASSERT_EQ(::stat(entry.parent_path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(QDir(dir.filePath("new/autostart")).entryList(QDir::Files), QStringList{"tikora.desktop"});

    app::EnableAutostart(entry, "tikora");   // over the old one
    EXPECT_NE(readFile(QString::fromStdString(entry.string())).find("\nExec=tikora\n"), std::string::npos);
    app::DisableAutostart(entry);
    EXPECT_EQ(app::ReadAutostartState(entry), AutostartState::Missing);
    EXPECT_NO_THROW(app::DisableAutostart(entry));
}

TEST(AutostartEntry, FailuresNameThePathAndTheReason)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // A file where the folder should be: refused even to root.
    QFile(dir.filePath("autostart")).open(QIODevice::WriteOnly);
    const std::filesystem::path blocked = dir.filePath("autostart/tikora.desktop").toStdString();
    try {
        app::EnableAutostart(blocked, "tikora");
        ADD_FAILURE() << "no error";
    } catch (const Exception& error) {
        EXPECT_EQ(std::string(error.what()), "Unable to write to " + blocked.string() + " (Not a directory)");
    }
    // A folder where the entry should be cannot be removed, nor read.
    const std::filesystem::path folder = dir.filePath("tikora.desktop").toStdString();
    ASSERT_TRUE(QDir().mkpath(dir.filePath("tikora.desktop/inside")));
    EXPECT_EQ(app::ReadAutostartState(folder), AutostartState::Unreadable);
    EXPECT_THROW(app::DisableAutostart(folder), Exception);
    EXPECT_THROW(app::EnableAutostart(folder, "tikora"), Exception);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"autostart"});   // no temporary left
}

class AutostartBox : public WindowTest {
protected:
    QString entryPath() const { return config.path() + "/autostart/tikora.desktop"; }
    void writeEntry(const QByteArray& text)
    {
        ASSERT_TRUE(QDir().mkpath(config.path() + "/autostart"));
        QFile file(entryPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
};

TEST_F(AutostartBox, SitsBelowTimeoutInsideThePage)
{
    TViewForm& window = open();
    EXPECT_EQ(window.chkAutostart->text(), "Start with the desktop session");
    EXPECT_EQ(window.chkAutostart->parentWidget(), window.GroupBox2);
    EXPECT_FALSE(window.chkAutostart->isChecked());
    const QRect box = window.chkAutostart->geometry();
    EXPECT_EQ(box, QRect(16, 79, 185, 17));
    EXPECT_FALSE(box.intersects(window.TOEdit->geometry()));
    EXPECT_TRUE(window.GroupBox2->rect().contains(box));
    EXPECT_LE(window.GroupBox2->geometry().bottom(), window.GroupBox2->parentWidget()->height() - 1);
}

TEST_F(AutostartBox, ClicksWriteAndRemoveTheEntryAndExitKeepsTheKey)
{
    TViewForm& window = open();
    window.chkAutostart->click();
    EXPECT_EQ(readFile(entryPath()), app::AutostartEntryText("tikora"));
    window.FormDestroy();
    EXPECT_TRUE(readSettings().contains("Autostart=1"));

    window.chkAutostart->click();
    EXPECT_FALSE(QFile::exists(entryPath()));
    window.FormDestroy();
    EXPECT_TRUE(readSettings().contains("Autostart=0"));
    EXPECT_TRUE(errors.empty());
}

TEST_F(AutostartBox, AtStartTheEntryDecidesAndTheKeyOnlyWhenItCannotBeRead)
{
    const struct {
        const char* key;
        const char* entry;   // nullptr: none; "": a folder in its place
        bool checked;
    } cases[] = {
        {"0", "[Desktop Entry]\nExec=tikora\n", true},
        {"1", nullptr, false},                           // removed by the desktop's settings
        {"1", "[Desktop Entry]\nExec=tikora\nHidden=true\n", false},   // switched off there
        {"1", "", true},
        {"0", "", false},
    };
    for (const auto& c : cases) {
        QDir(config.path() + "/autostart").removeRecursively();
        writeSettings(QByteArray("[ViewForm]\nAutostart=") + c.key + "\n");
        if (c.entry && *c.entry) {
            writeEntry(c.entry);
        } else if (c.entry) {
            ASSERT_TRUE(QDir().mkpath(entryPath() + "/inside"));
        }
        const bool before = QFile::exists(entryPath());
        EXPECT_EQ(open().chkAutostart->isChecked(), c.checked) << c.key << " " << (c.entry ? c.entry : "none");
        EXPECT_EQ(QFile::exists(entryPath()), before);   // reading never writes
    }
}

// Another program's entry at our name: reported once, never on, replaced only when the user agrees.
TEST_F(AutostartBox, AnEntryThatRunsAnotherProgramIsLeftAloneUnlessTheUserAgrees)
{
    const QByteArray foreign = "[Desktop Entry]\nType=Application\nExec=rm -rf ~\n";
    for (const bool agree : {false, true}) {
        writeSettings("[ViewForm]\nAutostart=1\n");
        writeEntry(foreign);
        errors.clear();
        std::vector<std::string> questions;
        const platform::Question previous = platform::SetQuestion([&](const std::string& question, const QObject*) {
            questions.push_back(question);
            return agree;
        });
        TViewForm& window = open();
        EXPECT_FALSE(window.chkAutostart->isChecked());
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0], app::ForeignEntryReport(entryPath().toStdString()));
        window.FormDestroy();
        EXPECT_TRUE(readSettings().contains("Autostart=0"));
        EXPECT_EQ(readFile(entryPath()), foreign.toStdString());

        window.chkAutostart->click();
        ASSERT_EQ(questions.size(), 1u);
        EXPECT_EQ(questions[0], app::ReplaceForeignEntryQuestion(entryPath().toStdString()));
        EXPECT_EQ(window.chkAutostart->isChecked(), agree);
        EXPECT_EQ(readFile(entryPath()), agree ? app::AutostartEntryText("tikora") : foreign.toStdString());
        EXPECT_EQ(errors.size(), 1u);
        platform::SetQuestion(previous);
    }
}

TEST_F(AutostartBox, AFailedWriteIsReportedAndTheOtherSettingsAreKept)
{
    QFile(config.path() + "/autostart").open(QIODevice::WriteOnly);
    TViewForm& window = open();
    window.SpinButton1->UpButton()->click();
    window.chkAutostart->click();
    EXPECT_FALSE(window.chkAutostart->isChecked());
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Unable to write to " + entryPath().toStdString() + " (Not a directory)");
    window.FormDestroy();
    const QByteArray settings = readSettings();
    EXPECT_TRUE(settings.contains("Timeout=15")) << settings.toStdString();
    EXPECT_TRUE(settings.contains("Autostart=0"));
}

} // namespace
} // namespace testing_support
