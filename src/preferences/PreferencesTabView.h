#pragma once
// The preferences window's content: a row of tab buttons, a divider and the
// selected tab's page. It is 440 points wide and as tall as its page; the
// window that shows it takes its size.
#include <QAbstractButton>
#include <QWidget>
#include <array>

#include "preferences/PreferencesContext.h"
#include "preferences/PreferencesTab.h"

class QVBoxLayout;

namespace gm::preferences {

// A tab button: the tab's symbol above its title, in the accent colour and
// on a rounded grey background while selected.
class PreferencesTabButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit PreferencesTabButton(PreferencesTab tab, QWidget* parent = nullptr);
    PreferencesTab tab() const { return tab_; }
    void setSelected(bool selected);
    bool isSelected() const { return selected_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PreferencesTab tab_;
    bool selected_ = false;
};

class PreferencesTabView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 440;

    PreferencesTabView(const PreferencesContext& context, PreferencesTab selectionTab = PreferencesTab::general,
                       QWidget* parent = nullptr);

    PreferencesTab selectionTab() const { return selectionTab_; }
    // Shows that tab's page, built anew; selecting the current tab changes nothing.
    void setSelectionTab(PreferencesTab tab);
    QWidget* page() const { return page_; }
    PreferencesTabButton* tabButton(PreferencesTab tab) const { return buttons_[static_cast<std::size_t>(tab)]; }

signals:
    void selectionTabChanged(gm::preferences::PreferencesTab tab);

private:
    QWidget* makePage(PreferencesTab tab);

    PreferencesContext context_;
    PreferencesTab selectionTab_;
    std::array<PreferencesTabButton*, 4> buttons_{};
    QWidget* pageHolder_ = nullptr;
    QVBoxLayout* pageLayout_ = nullptr;
    QWidget* page_ = nullptr;
};

// The preferences window's content, starting on General; the window registry
// opens it under the identifier "preferences" with the title "Glidemark Preferences".
PreferencesTabView* createPreferencesTabView(const PreferencesContext& context, QWidget* parent = nullptr);

}  // namespace gm::preferences
