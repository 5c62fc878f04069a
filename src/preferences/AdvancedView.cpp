#include "preferences/AdvancedView.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "preferences/BlockKeysView.h"
#include "preferences/ScrollAdvancedSliderView.h"
#include "preferences/ScrollPreview.h"

namespace gm::preferences {

namespace {
constexpr int kLabelColumn = 150;
constexpr int kSliderColumn = 260;
constexpr int kContentColumn = 262;  // what is left of the page beside the label column
}  // namespace

AdvancedView::AdvancedView(settings::SettingsManager& manager, QWidget* parent)
    : QWidget(parent), manager_(manager),
      observation_(manager, this, [this](const settings::GlidemarkSettings& s) { display(s); }) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);

    sliders_ = new ScrollAdvancedSliderView(
        {[this] { return manager_.scrollAdvanced(); },
         [this](const settings::ScrollAdvanced& v) { manager_.setScrollAdvanced(v); }},
        kLabelColumn, kSliderColumn, false, this);
    layout->addWidget(sliders_);

    preview_ = new ScrollPreviewView(this);
    layout->addWidget(preview_);

    layout->addWidget(makeDivider(this));

    auto* keys = new QGridLayout;
    keys->setHorizontalSpacing(8);
    keys->setVerticalSpacing(6);
    auto* keysLabel = new QLabel(tr("Block keys:"), this);
    keysLabel->setFixedWidth(kLabelColumn);
    keysLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    blockKeys_ = new BlockKeysView(manager_, this);
    keysLabel->setFixedHeight(blockKeys_->height());
    auto* keysHelp = makeFootnoteLabel(tr("Block smooth scrolling when some of this key is pressed"), this);
    keysHelp->setFixedWidth(kContentColumn);
    keys->addWidget(keysLabel, 0, 0, Qt::AlignTop);
    keys->addWidget(blockKeys_, 0, 1, Qt::AlignLeft | Qt::AlignTop);
    keys->addWidget(keysHelp, 1, 1, Qt::AlignLeft | Qt::AlignTop);
    keys->setColumnStretch(2, 1);
    layout->addLayout(keys);

    auto* resetRow = new QHBoxLayout;
    resetRow->setSpacing(8);
    auto* spacer = new QLabel(QString(), this);
    spacer->setFixedWidth(kLabelColumn);
    reset_ = new QPushButton(tr("Reset to defaults"), this);
    resetRow->addWidget(spacer);
    resetRow->addWidget(reset_);
    resetRow->addStretch(1);
    layout->addLayout(resetRow);

    connect(reset_, &QPushButton::clicked, this, [this] { manager_.setScrollAdvanced(settings::ScrollAdvanced{}); });

    display(manager_.settings());
}

void AdvancedView::display(const settings::GlidemarkSettings& value) {
    sliders_->display(value.scrollAdvanced);
    preview_->setInputs(value.scrollAdvanced, value.scrollBase.animationEasing);
    reset_->setEnabled(!(value.scrollAdvanced == settings::ScrollAdvanced{}));
}

}  // namespace gm::preferences
