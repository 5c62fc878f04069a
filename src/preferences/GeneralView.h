#pragma once
// The General tab: the scroll and system switches, each with a help text the
// user can hide per section by clicking the section's heading.
#include <QWidget>
#include <array>

#include "preferences/PreferencesContext.h"
#include "preferences/Widgets.h"
#include "settings/SettingsManager.h"

class QLabel;

namespace gm::preferences {

class ClickableLabel;
class SwitchButton;

class GeneralView : public QWidget {
    Q_OBJECT
public:
    enum Switch { animationEasing, horizontalSmooth, reverse, launchAtLogin, showMenuIcon, switchCount };
    enum Section { scrollSection, systemSection };

    GeneralView(settings::SettingsManager& manager, GeneralActions actions, QWidget* parent = nullptr);

    void display(const settings::GlidemarkSettings& value);

    SwitchButton* switchButton(Switch which) const { return switches_[which]; }
    QLabel* helpText(Switch which) const { return helps_[which]; }
    ClickableLabel* heading(Section section) const { return headings_[section]; }

private:
    void toggled(Switch which, bool on);
    void flipHelperText(Section section);

    settings::SettingsManager& manager_;
    GeneralActions actions_;
    std::array<SwitchButton*, switchCount> switches_{};
    std::array<QLabel*, switchCount> helps_{};
    std::array<ClickableLabel*, 2> headings_{};
    // The stored values last seen, so the shell is told only when they change.
    bool launchAtLogin_ = false;
    bool showMenuIcon_ = true;
    SettingsObservation observation_;
};

}  // namespace gm::preferences
