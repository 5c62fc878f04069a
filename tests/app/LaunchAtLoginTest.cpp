// Launch at login as an XDG autostart entry, against a temporary config home.
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "app/LaunchAtLogin.h"

namespace gm::app::test {
namespace {

class LaunchAtLoginTest : public ::testing::Test {
protected:
    LaunchAtLoginTest() {
        previousConfig_ = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", config.toUtf8());
        LaunchAtLogin::setProgramPath("/opt/glide mark/bin/glidemark");
        logLines().clear();
    }
    ~LaunchAtLoginTest() override {
        qputenv("XDG_CONFIG_HOME", previousConfig_);
        LaunchAtLogin::setProgramPath(QString());
    }

    QString entry() const { return config + "/autostart/glidemark.desktop"; }
    QByteArray entryText() const {
        QFile file(entry());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void writeEntry(const QByteArray& text) const {
        QDir().mkpath(config + "/autostart");
        QFile file(entry());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }

    QString config = makeTempDir();

private:
    QByteArray previousConfig_;
};

TEST_F(LaunchAtLoginTest, EnablingWritesAnEntryThatStartsThisProgram) {
    EXPECT_EQ(LaunchAtLogin::entryPath(), entry());
    EXPECT_FALSE(LaunchAtLogin::isEnabled());
    LaunchAtLogin::setEnabled(true);
    EXPECT_TRUE(LaunchAtLogin::isEnabled());
    const QByteArray text = entryText();
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(text.contains("\nType=Application\n"));
    EXPECT_TRUE(text.contains("\nExec=\"/opt/glide mark/bin/glidemark\"\n"));
    // Listed in the desktop's startup settings, and started once the tray is there where that can be asked.
    EXPECT_FALSE(text.contains("NoDisplay"));
    EXPECT_TRUE(text.contains("\nX-LXQt-Need-Tray=true\n"));

    LaunchAtLogin::setEnabled(false);
    EXPECT_FALSE(QFile::exists(entry()));
    EXPECT_FALSE(LaunchAtLogin::isEnabled());
    LaunchAtLogin::setEnabled(false);
    EXPECT_TRUE(logLines().lines().empty()) << "disabling what is not enabled is no failure";
}

TEST_F(LaunchAtLoginTest, ExecQuotesCharactersTheShellAndFieldCodesWouldTake) {
    LaunchAtLogin::setProgramPath(R"(/tmp/a "b" $c `d` \e 100%)");
    LaunchAtLogin::setEnabled(true);
    EXPECT_TRUE(entryText().contains(R"(Exec="/tmp/a \"b\" \$c \`d\` \\e 100%%")"));
}

TEST_F(LaunchAtLoginTest, TheFileIsTheTruthOnEveryRead) {
    LaunchAtLogin::setEnabled(true);
    QFile::remove(entry());
    EXPECT_FALSE(LaunchAtLogin::isEnabled());

    writeEntry("[Desktop Entry]\nType=Application\nExec=glidemark\nHidden=true\n");
    EXPECT_FALSE(LaunchAtLogin::isEnabled());
    writeEntry("[Desktop Entry]\nExec=glidemark\nX-GNOME-Autostart-enabled=false\n");
    EXPECT_FALSE(LaunchAtLogin::isEnabled());
    writeEntry("not a desktop entry\n");
    EXPECT_FALSE(LaunchAtLogin::isEnabled());
    writeEntry("# edited by hand\n[Desktop Entry]\nName=Glidemark\nExec=/usr/bin/glidemark --quiet\n");
    EXPECT_TRUE(LaunchAtLogin::isEnabled());
}

TEST_F(LaunchAtLoginTest, EnablingWhenEnabledWritesTheEntryAnew) {
    writeEntry("[Desktop Entry]\nExec=/old/copy/glidemark\n");
    ASSERT_TRUE(LaunchAtLogin::isEnabled());
    LaunchAtLogin::setEnabled(true);
    EXPECT_TRUE(LaunchAtLogin::isEnabled());
    EXPECT_FALSE(entryText().contains("/old/copy"));
    EXPECT_TRUE(entryText().contains("/opt/glide mark/bin/glidemark"));
}

TEST_F(LaunchAtLoginTest, FailuresAreLoggedAndTheReadShowsTheRealState) {
    // A file where the autostart folder should be: nothing can be written.
    QFile blocker(config + "/autostart");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QSignalSpy published(&LaunchAtLogin::publisher(), &LaunchAtLogin::Publisher::changed);

    LaunchAtLogin::setEnabled(true);
    EXPECT_FALSE(LaunchAtLogin::isEnabled());
    // Into the program's log (the journal), under the module's own category.
    const auto lines = logLines().lines();
    ASSERT_EQ(lines.size(), 1U);
    EXPECT_EQ(lines[0].level, platform::LogLevel::Error);
    EXPECT_EQ(lines[0].category, "main");
    EXPECT_TRUE(QString::fromStdString(lines[0].message).startsWith("Failed to enable launch at login: "));
    EXPECT_GT(lines[0].message.size(), std::string("Failed to enable launch at login: ").size());
    // Views still hear of the write, and then read the real state.
    ASSERT_EQ(published.count(), 1);
    EXPECT_TRUE(published.at(0).at(0).toBool());
}

TEST_F(LaunchAtLoginTest, ToggleShowsTheEntryAndSpringsBackWhenAWriteFails) {
    LaunchAtLogin::Toggle toggle;
    EXPECT_EQ(toggle.text(), "Launch at login");
    EXPECT_FALSE(toggle.isChecked());
    toggle.click();
    EXPECT_TRUE(toggle.isChecked());
    EXPECT_TRUE(LaunchAtLogin::isEnabled());

    QFile::remove(entry());
    QDir(config).rmdir("autostart");
    QFile blocker(config + "/autostart");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    toggle.show();
    EXPECT_FALSE(toggle.isChecked()) << "removed behind the program's back";
    toggle.click();
    EXPECT_FALSE(toggle.isChecked());
}

}  // namespace
}  // namespace gm::app::test
