#pragma once
// The Advanced tab: the global numeric scroll parameters, a preview of what
// they do, the block keys and "Reset to defaults".
#include <QWidget>

#include "preferences/Widgets.h"
#include "settings/SettingsManager.h"

class QPushButton;

namespace gm::preferences {

class BlockKeysView;
class ScrollAdvancedSliderView;
class ScrollPreviewView;

class AdvancedView : public QWidget {
    Q_OBJECT
public:
    explicit AdvancedView(settings::SettingsManager& manager, QWidget* parent = nullptr);

    void display(const settings::GlidemarkSettings& value);

    ScrollAdvancedSliderView* sliders() const { return sliders_; }
    ScrollPreviewView* preview() const { return preview_; }
    BlockKeysView* blockKeys() const { return blockKeys_; }
    QPushButton* resetButton() const { return reset_; }

private:
    settings::SettingsManager& manager_;
    ScrollAdvancedSliderView* sliders_ = nullptr;
    ScrollPreviewView* preview_ = nullptr;
    BlockKeysView* blockKeys_ = nullptr;
    QPushButton* reset_ = nullptr;
    SettingsObservation observation_;
};

}  // namespace gm::preferences
