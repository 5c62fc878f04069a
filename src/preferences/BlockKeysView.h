#pragma once
// The block-key selector: a small field showing the symbols of the chosen
// modifier keys, which opens a popup of one checkbox per key.
#include <QFrame>
#include <QWidget>
#include <array>
#include <memory>

#include "preferences/Widgets.h"
#include "settings/SettingsManager.h"

class QCheckBox;

namespace gm::preferences {

// Whether the key is among the global block keys of `value`.
bool isBlockKeyChosen(const settings::ScrollAdvanced& value, settings::ModifierKey key);
// Checking appends the key's code and stores, then sorts the list and stores
// again; unchecking removes every occurrence and stores, then sorts and
// stores again.
void setBlockKeyChosen(settings::SettingsManager& manager, settings::ModifierKey key, bool chosen);

// The popup's content: one checkbox per key, checked while the key is chosen.
class BlockKeysListView : public QWidget {
    Q_OBJECT
public:
    explicit BlockKeysListView(settings::SettingsManager& manager, QWidget* parent = nullptr);
    void display(const settings::ScrollAdvanced& value);
    QCheckBox* checkBox(settings::ModifierKey key) const;

private:
    settings::SettingsManager& manager_;
    std::array<QCheckBox*, 3> boxes_{};
    SettingsObservation observation_;
};

class BlockKeysView : public QWidget {
    Q_OBJECT
public:
    explicit BlockKeysView(settings::SettingsManager& manager, QWidget* parent = nullptr);
    ~BlockKeysView() override;

    void display(const settings::ScrollAdvanced& value);
    bool showPopover() const { return showPopover_; }
    void setShowPopover(bool show);
    bool isHovered() const { return isHovered_; }
    // The popup and its list (built on first opening; null before).
    QFrame* popover() const { return popover_; }
    BlockKeysListView* listView() const { return list_; }
    // The chosen keys in display order, as drawn.
    const std::vector<settings::ModifierKey>& shownKeys() const { return shown_; }

    QSize sizeHint() const override { return {100, 20}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    settings::SettingsManager& manager_;
    bool showPopover_ = false;
    bool isHovered_ = false;
    std::vector<settings::ModifierKey> shown_;
    QFrame* popover_ = nullptr;
    BlockKeysListView* list_ = nullptr;
    SettingsObservation observation_;
};

}  // namespace gm::preferences
