#pragma once
// The Exceptions tab: per-application exceptions with their "Enable smooth"
// switch and own scroll values, added from a picker of running applications
// or a file dialog, and removed by selection.
#include <QFrame>
#include <QToolButton>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "preferences/AppInfo.h"
#include "preferences/PreferencesContext.h"
#include "preferences/Widgets.h"
#include "settings/SettingsManager.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace gm::preferences {

class ScrollAdvancedSliderView;
class ScrollPreviewView;
class SwitchButton;

// The picker: "Browse..." first, then the running regular applications that
// have no exception yet, by name. Choosing a row calls `onSelect` with its
// identifier ("browse" for the first row), from the event loop.
class ExceptionsRunningAppView : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kBrowseTag = "browse";

    ExceptionsRunningAppView(std::function<void(const std::string&)> onSelect, QWidget* parent = nullptr);

    // Fills the list anew from the running applications, leaving out `listed`.
    void reload(const platform::Workspace* workspace, const AppInfoProvider& appInfo,
                const std::vector<std::string>& listed);
    // The row identifiers in display order, "browse" first.
    std::vector<std::string> rowIds() const;
    // The height that shows every row without scrolling.
    int contentHeight() const;
    std::optional<std::string> selectedApp() const { return selectedApp_; }
    // Selects a row as the user would (calls `onSelect` when the selection changes).
    void select(const std::string& id);
    // Forgets the selection without calling `onSelect`.
    void clearSelection();
    QListWidget* list() const { return list_; }

private:
    std::function<void(const std::string&)> onSelect_;
    QListWidget* list_ = nullptr;
    std::optional<std::string> selectedApp_;
};

// The gear button of a row and its panel of the application's own values.
class ExceptionsAdvancedView : public QToolButton {
    Q_OBJECT
public:
    ExceptionsAdvancedView(settings::ExceptionRef exception, settings::SettingsManager& manager, AppInfo info,
                           QWidget* parent = nullptr);

    void display(const settings::GlidemarkSettings& value);
    bool isShowingPopover() const { return showPopover_; }
    void setShowPopover(bool show);

    // The panel's parts (null until it was first opened).
    QFrame* popover() const { return popover_; }
    SwitchButton* inheritSwitch() const { return inherit_; }
    ScrollAdvancedSliderView* sliders() const { return sliders_; }
    ScrollPreviewView* preview() const { return preview_; }
    QPushButton* resetButton() const { return reset_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildPanel();
    // The exception was changed in place (which stored it); now the list is
    // assigned back through the manager so that every view hears of it.
    void writeBack();

    settings::ExceptionRef exception_;
    settings::SettingsManager& manager_;
    AppInfo info_;
    bool showPopover_ = false;
    QFrame* popover_ = nullptr;
    SwitchButton* inherit_ = nullptr;
    ScrollAdvancedSliderView* sliders_ = nullptr;
    ScrollPreviewView* preview_ = nullptr;
    QPushButton* reset_ = nullptr;
};

// One row of the list: icon, name, "Enable smooth" switch and the gear.
class ExceptionRow : public QWidget {
    Q_OBJECT
public:
    ExceptionRow(settings::ExceptionRef exception, settings::SettingsManager& manager, AppInfo info,
                 int smoothColumnWidth, QWidget* parent = nullptr);
    void display(const settings::GlidemarkSettings& value);
    // Follows the list's selection, so the row reads on the selection colour.
    void setSelected(bool selected);
    SwitchButton* smoothSwitch() const { return smooth_; }
    ExceptionsAdvancedView* advanced() const { return advanced_; }
    const settings::ExceptionRef& exception() const { return exception_; }

private:
    settings::ExceptionRef exception_;
    settings::SettingsManager& manager_;
    QLabel* name_ = nullptr;
    SwitchButton* smooth_ = nullptr;
    ExceptionsAdvancedView* advanced_ = nullptr;
};

class ExceptionsView : public QWidget {
    Q_OBJECT
public:
    explicit ExceptionsView(const PreferencesContext& context, QWidget* parent = nullptr);

    void display(const settings::GlidemarkSettings& value);

    // The add handler: "browse" runs the file dialog; an identifier already
    // listed adds nothing; otherwise a new exception goes to the top. The
    // picker closes, except after "browse".
    void addApplication(const std::string& bundleId);
    // Asks for a `.desktop` file and adds its application (the picker stays open).
    void browseForApplication();
    // Removes the selected exception and clears the selection.
    void removeSelected();

    std::optional<std::string> selectedApp() const { return selectedApp_; }
    void setSelectedApp(const std::optional<std::string>& bundleId);
    bool isShowingPopover() const { return showPicker_; }
    void setShowingPopover(bool show);

    QListWidget* list() const { return list_; }
    // The line over the list from the context's exceptionsNotice; null without one.
    QLabel* notice() const { return notice_; }
    QToolButton* addButton() const { return add_; }
    QToolButton* removeButton() const { return remove_; }
    QFrame* pickerPopover() const { return pickerPopover_; }
    ExceptionsRunningAppView* picker() const { return picker_; }
    ExceptionRow* row(const std::string& bundleId) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void rebuildRows(const settings::GlidemarkSettings& value);
    void insertException(const std::string& bundleId);
    void updateHeaderMargin();
    void markSelectedRow();
    std::vector<std::string> listedIds() const;

    settings::SettingsManager& manager_;
    PreferencesContext context_;
    AppInfoProvider defaultAppInfo_;
    std::optional<std::string> selectedApp_;
    bool showPicker_ = false;
    std::vector<settings::ExceptionRef> shown_;  // the exceptions the rows stand for, in order
    int smoothColumnWidth_ = 0;
    QWidget* header_ = nullptr;
    QLabel* notice_ = nullptr;
    QListWidget* list_ = nullptr;
    QToolButton* add_ = nullptr;
    QToolButton* remove_ = nullptr;
    QFrame* pickerPopover_ = nullptr;
    ExceptionsRunningAppView* picker_ = nullptr;
    SettingsObservation observation_;
};

}  // namespace gm::preferences
