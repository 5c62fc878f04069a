#include "preferences/GeneralView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "platform/LocalText.h"

namespace gm::preferences {

namespace {
constexpr int kHeadingColumn = 150;
constexpr int kSwitchColumn = 262;  // the rest of the 420-point page beside the heading

struct SwitchDef {
    const char* label;
    const char* help;
    GeneralView::Section section;
};

const std::array<SwitchDef, GeneralView::switchCount> kSwitches{{
    {"Animation easing", "Apply a gentle animation curve", GeneralView::scrollSection},
    {"Horizontal smooth scrolling", "Disable if you need custom horizontal scrolling", GeneralView::scrollSection},
    {"Reverse wheel direction", "Invert system scroll direction for mouse", GeneralView::scrollSection},
    {"Launch on login", "Automatically launch the app at login", GeneralView::systemSection},
    {"Show menu bar icon", "Shows the app icon in status bar.\nRe-run Glidemark to show Preferences window",
     GeneralView::systemSection},
}};

// Works on a const record (reading) and a mutable one (writing) alike.
template <class Settings>
auto& field(Settings& s, GeneralView::Switch which) {
    switch (which) {
    case GeneralView::animationEasing: return s.scrollBase.animationEasing;
    case GeneralView::horizontalSmooth: return s.scrollBase.horizontalSmooth;
    case GeneralView::reverse: return s.scrollBase.reverse;
    case GeneralView::launchAtLogin: return s.appSettings.launchAtLogin;
    case GeneralView::showMenuIcon: return s.appSettings.showMenuIcon;
    case GeneralView::switchCount: break;
    }
    return s.scrollBase.animationEasing;
}

}  // namespace

GeneralView::GeneralView(settings::SettingsManager& manager, GeneralActions actions, QWidget* parent)
    : QWidget(parent), manager_(manager), actions_(std::move(actions)),
      observation_(manager, this, [this](const settings::GlidemarkSettings& s) { display(s); }) {
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(12);

    const char* headings[] = {"Scroll:", "System:"};
    for (Section section : {scrollSection, systemSection}) {
        auto* row = new QHBoxLayout;
        row->setSpacing(8);
        auto* heading = new ClickableLabel(tr(headings[section]), this);
        heading->setFixedWidth(kHeadingColumn);
        heading->setAlignment(Qt::AlignRight | Qt::AlignTop);
        heading->setToolTip(tr("Click on me to hide helper text"));
        connect(heading, &ClickableLabel::clicked, this, [this, section] { flipHelperText(section); });
        headings_[section] = heading;

        auto* column = new QVBoxLayout;
        column->setSpacing(12);
        for (int i = 0; i < switchCount; ++i) {
            const auto which = static_cast<Switch>(i);
            const SwitchDef& params = kSwitches[static_cast<std::size_t>(i)];
            if (params.section != section) continue;
            auto* group = new QVBoxLayout;
            group->setSpacing(2);
            auto* button = new SwitchButton(tr(platform::localText(params.label)), this);
            auto* help = makeFootnoteLabel(tr(platform::localText(params.help)), this);
            help->setFixedWidth(kSwitchColumn);
            group->addWidget(button, 0, Qt::AlignLeft);
            group->addWidget(help);
            column->addLayout(group);
            switches_[which] = button;
            helps_[which] = help;
            connect(button, &SwitchButton::toggled, this, [this, which](bool on) { toggled(which, on); });
        }
        // The heading lines up with the first switch's label.
        heading->setFixedHeight(switches_[section == scrollSection ? animationEasing : launchAtLogin]->sizeHint().height());
        row->addWidget(heading, 0, Qt::AlignTop);
        row->addLayout(column);
        row->addStretch(1);
        page->addLayout(row);
    }

    const settings::GlidemarkSettings current = manager_.settings();
    launchAtLogin_ = current.appSettings.launchAtLogin;
    showMenuIcon_ = current.appSettings.showMenuIcon;
    display(current);
}

void GeneralView::display(const settings::GlidemarkSettings& s) {
    for (int i = 0; i < switchCount; ++i) {
        const auto which = static_cast<Switch>(i);
        const QSignalBlocker block(switches_[which]);
        switches_[which]->setChecked(field(s, which));
        const bool shown = kSwitches[static_cast<std::size_t>(i)].section == scrollSection
                               ? s.appSettings.showScrollHelperText
                               : s.appSettings.showSystemHelperText;
        helps_[which]->setVisible(shown);
    }
    // The shell follows the stored values while this page is shown, whoever changed them.
    if (s.appSettings.launchAtLogin != launchAtLogin_) {
        launchAtLogin_ = s.appSettings.launchAtLogin;
        if (actions_.setLaunchAtLogin) actions_.setLaunchAtLogin(launchAtLogin_);
    }
    if (s.appSettings.showMenuIcon != showMenuIcon_) {
        showMenuIcon_ = s.appSettings.showMenuIcon;
        if (actions_.setMenuIconVisible) actions_.setMenuIconVisible(showMenuIcon_);
    }
}

void GeneralView::toggled(Switch which, bool on) {
    if (kSwitches[static_cast<std::size_t>(which)].section == scrollSection) {
        settings::GlidemarkSettings s;
        s.scrollBase = manager_.scrollBase();
        field(s, which) = on;
        manager_.setScrollBase(s.scrollBase);
    } else {
        settings::GlidemarkSettings s = manager_.settings();
        field(s, which) = on;
        manager_.setSettings(std::move(s));
    }
}

void GeneralView::flipHelperText(Section section) {
    settings::AppSettings app = manager_.appSettings();
    bool& flag = section == scrollSection ? app.showScrollHelperText : app.showSystemHelperText;
    flag = !flag;
    manager_.setAppSettings(std::move(app));
}

}  // namespace gm::preferences
