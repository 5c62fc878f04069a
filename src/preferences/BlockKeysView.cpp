#include "preferences/BlockKeysView.h"

#include <QCheckBox>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/LocalText.h"
#include "preferences/Symbols.h"

namespace gm::preferences {

using settings::ModifierKey;

namespace {
// The key as this system's keyboards name it ("Command" is Super on a PC).
QString keyName(ModifierKey key) { return QString::fromUtf8(platform::localText(settings::displayName(key).data())); }
// Its symbol's name, or "" where the key has no symbol of its own (a PC's Ctrl
// and Alt are known by their names).
std::string_view keySymbol(ModifierKey key) { return platform::localText(settings::symbolName(key).data()); }

constexpr int kSymbol = 12;
constexpr int kGap = 5;
}  // namespace

bool isBlockKeyChosen(const settings::ScrollAdvanced& value, ModifierKey key) {
    return std::find(value.block.begin(), value.block.end(), settings::keyCode(key)) != value.block.end();
}

void setBlockKeyChosen(settings::SettingsManager& manager, ModifierKey key, bool chosen) {
    const std::int64_t code = settings::keyCode(key);
    settings::ScrollAdvanced value = manager.scrollAdvanced();
    if (chosen) value.block.push_back(code);
    else value.block.erase(std::remove(value.block.begin(), value.block.end(), code), value.block.end());
    manager.setScrollAdvanced(value);

    // Sorted as a second, separately stored step, so the stored list is always ascending after a change here.
    value = manager.scrollAdvanced();
    std::sort(value.block.begin(), value.block.end());
    manager.setScrollAdvanced(value);
}

// ---- BlockKeysListView --------------------------------------------------------------

BlockKeysListView::BlockKeysListView(settings::SettingsManager& manager, QWidget* parent)
    : QWidget(parent), manager_(manager),
      observation_(manager, this, [this](const settings::GlidemarkSettings& s) { display(s.scrollAdvanced); }) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 10, 16, 10);
    layout->setSpacing(6);
    const QPalette pal = palette();
    for (ModifierKey key : settings::allModifierKeys) {
        auto* box = new QCheckBox(keyName(key), this);
        if (hasSymbol(keySymbol(key))) {
            box->setIcon(symbolIcon(keySymbol(key), pal.color(QPalette::WindowText),
                                    pal.color(QPalette::Disabled, QPalette::WindowText)));
            box->setIconSize(QSize(14, 14));
        }
        boxes_[static_cast<std::size_t>(key)] = box;
        layout->addWidget(box);
        connect(box, &QCheckBox::toggled, this, [this, key](bool on) { setBlockKeyChosen(manager_, key, on); });
    }
    display(manager_.scrollAdvanced());
}

void BlockKeysListView::display(const settings::ScrollAdvanced& value) {
    for (ModifierKey key : settings::allModifierKeys) {
        QCheckBox* box = checkBox(key);
        const QSignalBlocker block(box);
        box->setChecked(isBlockKeyChosen(value, key));
    }
}

QCheckBox* BlockKeysListView::checkBox(ModifierKey key) const { return boxes_[static_cast<std::size_t>(key)]; }

// ---- BlockKeysView --------------------------------------------------------------

BlockKeysView::BlockKeysView(settings::SettingsManager& manager, QWidget* parent)
    : QWidget(parent), manager_(manager),
      observation_(manager, this, [this](const settings::GlidemarkSettings& s) { display(s.scrollAdvanced); }) {
    setFixedSize(100, 20);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
    setToolTip(tr("Choose the block keys"));
    display(manager_.scrollAdvanced());
}

BlockKeysView::~BlockKeysView() = default;

void BlockKeysView::display(const settings::ScrollAdvanced& value) {
    shown_.clear();
    for (ModifierKey key : settings::allModifierKeys)
        if (isBlockKeyChosen(value, key)) shown_.push_back(key);
    update();
}

void BlockKeysView::setShowPopover(bool show) {
    if (show == showPopover_) return;
    showPopover_ = show;
    if (show) {
        if (!popover_) {
            popover_ = new QFrame(this, Qt::Popup);
            popover_->setFrameShape(QFrame::StyledPanel);
            // A click on the field while the popup is open only closes it.
            popover_->setAttribute(Qt::WA_NoMouseReplay);
            auto* layout = new QVBoxLayout(popover_);
            layout->setContentsMargins(0, 0, 0, 0);
            list_ = new BlockKeysListView(manager_, popover_);
            layout->addWidget(list_);
            popover_->installEventFilter(this);
        }
        list_->display(manager_.scrollAdvanced());
        popover_->adjustSize();
        const QPoint below = mapToGlobal(QPoint((width() - popover_->width()) / 2, height() + 4));
        popover_->move(below);
        popover_->show();
    } else if (popover_ && popover_->isVisible()) {
        popover_->hide();
    }
}

bool BlockKeysView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == popover_ && event->type() == QEvent::Hide) showPopover_ = false;
    return QWidget::eventFilter(watched, event);
}

void BlockKeysView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        setShowPopover(!showPopover_);
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void BlockKeysView::enterEvent(QEnterEvent* event) {
    isHovered_ = true;
    update();
    QWidget::enterEvent(event);
}

void BlockKeysView::leaveEvent(QEvent* event) {
    isHovered_ = false;
    update();
    QWidget::leaveEvent(event);
}

void BlockKeysView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(greyFill(palette(), isHovered_ ? 0.30 : 0.20));
    painter.drawRoundedRect(QRectF(rect()), 4, 4);

    // Each key is its symbol, or its name in a small font where it has none.
    QFont small = font();
    small.setPixelSize(11);
    const QFontMetrics metrics(small);
    auto itemWidth = [&](ModifierKey key) {
        return hasSymbol(keySymbol(key)) ? kSymbol : metrics.horizontalAdvance(keyName(key));
    };
    int total = 0;
    for (ModifierKey key : shown_) total += itemWidth(key) + (total > 0 ? kGap : 0);
    int x = (width() - total) / 2;
    const QColor color = palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText);
    painter.setFont(small);
    painter.setPen(color);
    for (ModifierKey key : shown_) {
        if (hasSymbol(keySymbol(key))) {
            painter.drawPixmap(x, (height() - kSymbol) / 2,
                               symbolPixmap(keySymbol(key), QSize(kSymbol, kSymbol), color, devicePixelRatioF()));
        } else {
            painter.drawText(QRect(x, 0, itemWidth(key), height()), Qt::AlignCenter, keyName(key));
        }
        x += itemWidth(key) + kGap;
    }
}

}  // namespace gm::preferences
