// Launch at login as an XDG autostart entry, against a temporary config home.

#include "AppTestSupport.h"
#include "app/LaunchAtLogin.h"

namespace gm::app::test {
namespace {

class LaunchAtLoginTest : public ::testing::Test {
protected:
    LaunchAtLoginTest() {
        // With the characters the shell and the field codes would take.
        LaunchAtLogin::setProgramPath(R"(/opt/a "b" $c `d` \e 100%/glidemark)");
        logLines().clear();
    }
    ~LaunchAtLoginTest() override { LaunchAtLogin::setProgramPath(QString()); }

    QString entry() const { return config + "/autostart/glidemark.desktop"; }
    QByteArray entryText() const { return contents(entry()); }

    QString config = makeTempDir();
    ScopedEnvironment environment{{{"XDG_CONFIG_HOME", config}}};
};

// The file is the truth on every read; enabling, enabled or not, writes an entry that starts this program.
TEST_F(LaunchAtLoginTest, TheFileIsTheTruthAndEnablingWritesAnEntryThatStartsThisProgram) {
    EXPECT_TRUE(LaunchAtLogin::entryPath() == entry() && !LaunchAtLogin::isEnabled()) << LaunchAtLogin::entryPath().toStdString();
    const std::pair<QByteArray, bool> files[] = {
        {"[Desktop Entry]\nType=Application\nExec=glidemark\nHidden=true\n", false},
        {"[Desktop Entry]\nExec=glidemark\nX-GNOME-Autostart-enabled=false\n", false},
        {"not a desktop entry\n", false},
        {"# edited by hand\n[Desktop Entry]\nName=Glidemark\nExec=/usr/bin/glidemark --quiet\n", true},
    };
    for (const auto& [text, enabled] : files) {
        writeFile(entry(), text);
        EXPECT_EQ(LaunchAtLogin::isEnabled(), enabled) << text.constData();
    }
    LaunchAtLogin::setEnabled(true);
    EXPECT_TRUE(LaunchAtLogin::isEnabled());
    const QByteArray text = entryText();
    EXPECT_TRUE(!text.contains("--quiet") && text.startsWith("[Desktop Entry]\n") && text.contains("\nType=Application\n"));
    EXPECT_TRUE(text.contains("\nExec=" R"("/opt/a \"b\" \$c \`d\` \\e 100%%/glidemark")" "\n")) << text.constData();
    // Listed in the desktop's startup settings, and started once the tray is there where that can be asked.
    EXPECT_FALSE(text.contains("NoDisplay"));
    EXPECT_TRUE(text.contains("\nX-LXQt-Need-Tray=true\n"));

    LaunchAtLogin::setEnabled(false);
    EXPECT_FALSE(QFile::exists(entry()) || LaunchAtLogin::isEnabled());
    LaunchAtLogin::setEnabled(false);
    EXPECT_TRUE(logLines().lines().empty()) << "disabling what is not enabled is no failure";
}

TEST_F(LaunchAtLoginTest, TheToggleShowsTheEntryAndSpringsBackWhenAWriteFailsWhichIsLogged) {
    LaunchAtLogin::Toggle toggle;
    EXPECT_TRUE(toggle.text() == "Launch at login" && !toggle.isChecked());
    toggle.click();
    EXPECT_TRUE(toggle.isChecked() && LaunchAtLogin::isEnabled());

    // A file where the autostart folder should be: nothing can be written.
    QFile::remove(entry());
    QDir(config).rmdir("autostart");
    QFile blocker(config + "/autostart");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    toggle.show();
    EXPECT_FALSE(toggle.isChecked()) << "removed behind the program's back";
    QSignalSpy published(&LaunchAtLogin::publisher(), &LaunchAtLogin::Publisher::changed);
    logLines().clear();
    toggle.click();
    EXPECT_FALSE(toggle.isChecked() || LaunchAtLogin::isEnabled());
    // Into the program's log (the journal), under the module's own category.
    const auto lines = logLines().lines();
    ASSERT_EQ(lines.size(), 1U);
    EXPECT_EQ(std::tie(lines[0].level, lines[0].category), std::tuple(platform::LogLevel::Error, "main"));
    const std::string prefix = "Failed to enable launch at login: ";
    EXPECT_TRUE(lines[0].message.starts_with(prefix) && lines[0].message.size() > prefix.size()) << lines[0].message;
    // Views still hear of the write, and then read the real state.
    EXPECT_EQ(published, QList<QVariantList>{{true}});
}

}  // namespace
}  // namespace gm::app::test
