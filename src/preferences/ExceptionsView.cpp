#include "preferences/ExceptionsView.h"

#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "preferences/ScrollAdvancedSliderView.h"
#include "preferences/ScrollPreview.h"
#include "preferences/Symbols.h"

namespace gm::preferences {

using settings::ExceptionRef;

namespace {

constexpr int kIdRole = Qt::UserRole + 1;
constexpr int kListHeight = 120;
constexpr int kRowIcon = 24;
constexpr int kGearColumn = 24;

QString qstr(const std::string& s) { return QString::fromStdString(s); }

// A one-line label that elides instead of clipping or widening its column.
class ElidedLabel : public QLabel {
public:
    using QLabel::QLabel;
    QSize minimumSizeHint() const override { return {10, QLabel::minimumSizeHint().height()}; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
        const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width());
        painter.drawText(contentsRect(), static_cast<int>(alignment()), shown);
    }
};

QLabel* iconLabel(const QIcon& icon, int side, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setFixedSize(side, side);
    label->setPixmap(icon.pixmap(QSize(side, side), parent ? parent->devicePixelRatioF() : 1.0));
    label->setScaledContents(false);
    return label;
}

QFrame* makePopup(QWidget* owner) {
    auto* popup = new QFrame(owner, Qt::Popup);
    popup->setFrameShape(QFrame::StyledPanel);
    // A click on the button that opened it only closes it.
    popup->setAttribute(Qt::WA_NoMouseReplay);
    return popup;
}

void placeBelow(QWidget* popup, QWidget* anchor) {
    popup->adjustSize();
    const QPoint origin = anchor->mapToGlobal(QPoint((anchor->width() - popup->width()) / 2, anchor->height() + 4));
    popup->move(origin);
}

}  // namespace

// ---- ExceptionsRunningAppView --------------------------------------------------------------

ExceptionsRunningAppView::ExceptionsRunningAppView(std::function<void(const std::string&)> onSelect, QWidget* parent)
    : QWidget(parent), onSelect_(std::move(onSelect)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    list_ = new QListWidget(this);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setFrameShape(QFrame::NoFrame);
    list_->setIconSize(QSize(20, 20));
    list_->setUniformItemSizes(false);
    layout->addWidget(list_);
    connect(list_, &QListWidget::itemSelectionChanged, this, [this] {
        const auto items = list_->selectedItems();
        if (items.isEmpty()) {
            selectedApp_.reset();
            return;
        }
        const std::string id = items.front()->data(kIdRole).toString().toStdString();
        if (selectedApp_ == id) return;
        selectedApp_ = id;
        // From the event loop: the handler may close this picker or refill this very list.
        QMetaObject::invokeMethod(
            this, [this, id] { if (onSelect_) onSelect_(id); }, Qt::QueuedConnection);
    });
}

void ExceptionsRunningAppView::reload(const platform::Workspace* workspace, const AppInfoProvider& appInfo,
                                      const std::vector<std::string>& listed) {
    const QSignalBlocker block(list_);
    list_->clear();
    selectedApp_.reset();

    auto* browse = new QListWidgetItem(tr("Browse..."));
    QFont browseFont = title3Font(list_->font());
    browseFont.setWeight(QFont::DemiBold);
    browse->setFont(browseFont);
    browse->setData(kIdRole, QString::fromLatin1(kBrowseTag));
    browse->setSizeHint(QSize(0, QFontMetrics(browseFont).height() + 8));  // 4 points of padding
    list_->addItem(browse);

    struct Offer {
        std::string id;
        QString name;
    };
    std::vector<Offer> offers;
    if (workspace) {
        for (const auto& app : workspace->runningApplications()) {
            if (!app || !app->bundleIdentifier || app->bundleIdentifier->empty()) continue;
            if (app->activationPolicy != platform::ActivationPolicy::Regular) continue;
            const std::string& id = *app->bundleIdentifier;
            if (std::find(listed.begin(), listed.end(), id) != listed.end()) continue;
            // One row per application, however many copies of it run.
            if (std::any_of(offers.begin(), offers.end(), [&](const Offer& o) { return o.id == id; })) continue;
            offers.push_back({id, app->localizedName.empty() ? qstr(id) : QString::fromStdString(app->localizedName)});
        }
    }
    std::stable_sort(offers.begin(), offers.end(),
                     [](const Offer& a, const Offer& b) { return QString::localeAwareCompare(a.name, b.name) < 0; });
    for (const Offer& offer : offers) {
        auto* item = new QListWidgetItem(appInfo.info(offer.id).icon, offer.name);
        item->setData(kIdRole, qstr(offer.id));
        item->setSizeHint(QSize(0, 28));
        list_->addItem(item);
    }
}

int ExceptionsRunningAppView::contentHeight() const {
    int height = 2 * list_->frameWidth();
    for (int i = 0; i < list_->count(); ++i) height += list_->sizeHintForRow(i);
    return height;
}

std::vector<std::string> ExceptionsRunningAppView::rowIds() const {
    std::vector<std::string> ids;
    for (int i = 0; i < list_->count(); ++i) ids.push_back(list_->item(i)->data(kIdRole).toString().toStdString());
    return ids;
}

void ExceptionsRunningAppView::select(const std::string& id) {
    for (int i = 0; i < list_->count(); ++i)
        if (list_->item(i)->data(kIdRole).toString().toStdString() == id) list_->setCurrentRow(i);
}

void ExceptionsRunningAppView::clearSelection() {
    const QSignalBlocker block(list_);
    list_->clearSelection();
    list_->setCurrentRow(-1);
    selectedApp_.reset();
}

// ---- ExceptionsAdvancedView --------------------------------------------------------------

ExceptionsAdvancedView::ExceptionsAdvancedView(ExceptionRef exception, settings::SettingsManager& manager, AppInfo info,
                                               QWidget* parent)
    : QToolButton(parent), exception_(std::move(exception)), manager_(manager), info_(std::move(info)) {
    const QPalette pal = palette();
    setIcon(symbolIcon("gearshape.fill", secondaryTextColor(pal), pal.color(QPalette::Disabled, QPalette::WindowText)));
    setIconSize(QSize(16, 16));
    setAutoRaise(true);
    setCursor(Qt::PointingHandCursor);
    setToolTip(tr("Settings for %1").arg(info_.name));
    setAccessibleName(toolTip());
    connect(this, &QToolButton::clicked, this, [this] { setShowPopover(!showPopover_); });
}

void ExceptionsAdvancedView::buildPanel() {
    popover_ = makePopup(this);
    popover_->installEventFilter(this);
    auto* layout = new QVBoxLayout(popover_);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->setSpacing(10);

    auto* header = new QHBoxLayout;
    header->setSpacing(8);
    header->addWidget(iconLabel(info_.icon, kRowIcon, popover_));
    auto* name = new ElidedLabel(info_.name, popover_);
    QFont bold = name->font();
    bold.setWeight(QFont::DemiBold);
    name->setFont(bold);
    name->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    name->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    header->addWidget(name, 1);
    inherit_ = new SwitchButton(tr("Use global settings"), popover_);
    header->addWidget(inherit_);
    layout->addLayout(header);

    // The sliders sit in a rounded outline, greyed out while the global values apply.
    auto* box = new QFrame(popover_);
    box->setObjectName(QStringLiteral("exceptionSliderBox"));
    box->setStyleSheet(QStringLiteral("#exceptionSliderBox { border: 1px solid rgba(128,128,128,160); border-radius: 8px; }"));
    auto* boxLayout = new QVBoxLayout(box);
    boxLayout->setContentsMargins(8, 8, 8, 8);
    sliders_ = new ScrollAdvancedSliderView(
        {[this] { return exception_->scrollAdvanced(); },
         [this](const settings::ScrollAdvanced& v) {
             exception_->setScrollAdvanced(v);
             writeBack();
         }},
        150, 200, false, box);
    boxLayout->addWidget(sliders_);
    layout->addWidget(box);

    preview_ = new ScrollPreviewView(popover_);
    layout->addWidget(preview_);

    reset_ = new QPushButton(tr("Reset to defaults"), popover_);
    layout->addWidget(reset_, 0, Qt::AlignLeft);

    connect(inherit_, &SwitchButton::toggled, this, [this](bool on) {
        exception_->setInherit(on);
        writeBack();
    });
    connect(reset_, &QPushButton::clicked, this, [this] {
        exception_->setScrollAdvanced(settings::ScrollAdvanced{});
        writeBack();
    });
    display(manager_.settings());
}

void ExceptionsAdvancedView::writeBack() { manager_.setSettings(manager_.settings()); }

void ExceptionsAdvancedView::display(const settings::GlidemarkSettings& value) {
    if (!popover_) return;
    const auto fields = exception_->fields();
    {
        const QSignalBlocker block(inherit_);
        inherit_->setChecked(fields.inherit);
    }
    sliders_->display(fields.scrollAdvanced);
    sliders_->setEnabled(!fields.inherit);
    reset_->setEnabled(!(fields.scrollAdvanced == settings::ScrollAdvanced{}));
    // What the application really gets: the global numbers while inherited; easing is always global.
    preview_->setInputs(fields.inherit ? value.scrollAdvanced : fields.scrollAdvanced, value.scrollBase.animationEasing);
}

void ExceptionsAdvancedView::setShowPopover(bool show) {
    if (show == showPopover_) return;
    showPopover_ = show;
    if (show) {
        if (!popover_) buildPanel();
        else display(manager_.settings());
        placeBelow(popover_, this);
        popover_->show();
    } else if (popover_ && popover_->isVisible()) {
        popover_->hide();
    }
}

bool ExceptionsAdvancedView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == popover_ && event->type() == QEvent::Hide) showPopover_ = false;
    return QToolButton::eventFilter(watched, event);
}

// ---- ExceptionRow --------------------------------------------------------------

ExceptionRow::ExceptionRow(ExceptionRef exception, settings::SettingsManager& manager, AppInfo info,
                           int smoothColumnWidth, QWidget* parent)
    : QWidget(parent), exception_(std::move(exception)), manager_(manager) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 3, 6, 3);
    layout->setSpacing(8);
    layout->addWidget(iconLabel(info.icon, kRowIcon, this));
    name_ = new ElidedLabel(info.name, this);
    name_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    name_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    layout->addWidget(name_, 1);

    smooth_ = new SwitchButton(QString(), this);
    smooth_->setAccessibleName(tr("Enable smooth"));
    auto* smoothColumn = new QWidget(this);
    smoothColumn->setFixedWidth(smoothColumnWidth);
    auto* smoothLayout = new QHBoxLayout(smoothColumn);
    smoothLayout->setContentsMargins(0, 0, 0, 0);
    smoothLayout->addWidget(smooth_, 0, Qt::AlignCenter);
    layout->addWidget(smoothColumn);

    advanced_ = new ExceptionsAdvancedView(exception_, manager_, info, this);
    advanced_->setFixedWidth(kGearColumn);
    layout->addWidget(advanced_);

    connect(smooth_, &SwitchButton::toggled, this, [this](bool on) {
        settings::ScrollBase base = exception_->scrollBase();
        base.smooth = on;
        exception_->setScrollBase(base);  // stores, unannounced
        manager_.setSettings(manager_.settings());
    });
}

void ExceptionRow::setSelected(bool selected) {
    name_->setForegroundRole(selected ? QPalette::HighlightedText : QPalette::WindowText);
    name_->update();
    smooth_->setOnSelection(selected);
}

void ExceptionRow::display(const settings::GlidemarkSettings& value) {
    {
        const QSignalBlocker block(smooth_);
        smooth_->setChecked(exception_->scrollBase().smooth);
    }
    advanced_->display(value);
}

// ---- ExceptionsView --------------------------------------------------------------

ExceptionsView::ExceptionsView(const PreferencesContext& context, QWidget* parent)
    : QWidget(parent), manager_(*context.settingsManager), context_(context),
      observation_(*context.settingsManager, this, [this](const settings::GlidemarkSettings& s) { display(s); }) {
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(8);

    if (!context.exceptionsNotice.isEmpty()) {
        notice_ = new QLabel(context.exceptionsNotice, this);
        notice_->setFont(footnoteFont(notice_->font()));
        notice_->setWordWrap(true);  // long translations wrap instead of widening the window
        QPalette pal = notice_->palette();
        pal.setColor(QPalette::WindowText, secondaryTextColor(pal));
        notice_->setPalette(pal);
        page->addWidget(notice_);
    }

    auto* group = new QFrame(this);
    group->setFrameShape(QFrame::StyledPanel);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->setContentsMargins(1, 4, 1, 1);
    groupLayout->setSpacing(4);

    // Column titles over the name and switch columns of the rows below.
    header_ = new QWidget(group);
    auto* headerLayout = new QHBoxLayout(header_);
    headerLayout->setSpacing(8);
    auto* appTitle = new QLabel(tr("Application"), header_);
    auto* smoothTitle = new QLabel(tr("Enable smooth"), header_);
    for (QLabel* title : {appTitle, smoothTitle}) {
        QFont font = footnoteFont(title->font());
        font.setWeight(QFont::DemiBold);
        title->setFont(font);
    }
    smoothColumnWidth_ = smoothTitle->fontMetrics().horizontalAdvance(smoothTitle->text()) + 12;
    smoothTitle->setFixedWidth(smoothColumnWidth_);
    smoothTitle->setAlignment(Qt::AlignCenter);
    // Spacers get no layout spacing next to them, so the rows' 8-point gaps are added here.
    headerLayout->addSpacing(kRowIcon + 8);  // the title sits over the names, not the icons
    headerLayout->addWidget(appTitle, 1);
    headerLayout->addWidget(smoothTitle);
    headerLayout->addSpacing(8 + kGearColumn);
    groupLayout->addWidget(header_);
    groupLayout->addWidget(makeDivider(group));

    list_ = new QListWidget(group);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setFrameShape(QFrame::NoFrame);
    list_->setFixedHeight(kListHeight);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->verticalScrollBar()->installEventFilter(this);
    groupLayout->addWidget(list_);
    page->addWidget(group);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(4);
    const QPalette pal = palette();
    auto makeButton = [&](const char* symbol, const QString& name) {
        auto* button = new QToolButton(this);
        button->setIcon(symbolIcon(symbol, pal.color(QPalette::ButtonText), pal.color(QPalette::Disabled, QPalette::ButtonText)));
        button->setIconSize(QSize(12, 12));
        button->setFixedSize(26, 22);
        button->setAccessibleName(name);
        buttons->addWidget(button);
        return button;
    };
    add_ = makeButton("plus", tr("Add an application"));
    remove_ = makeButton("minus", tr("Remove the selected application"));
    buttons->addStretch(1);
    page->addLayout(buttons);

    connect(add_, &QToolButton::clicked, this, [this] { setShowingPopover(!showPicker_); });
    connect(remove_, &QToolButton::clicked, this, [this] { removeSelected(); });
    connect(list_, &QListWidget::itemSelectionChanged, this, [this] {
        const auto items = list_->selectedItems();
        if (items.isEmpty()) selectedApp_.reset();
        else selectedApp_ = items.front()->data(kIdRole).toString().toStdString();
        remove_->setEnabled(selectedApp_.has_value());
        markSelectedRow();
    });

    display(manager_.settings());
}

std::vector<std::string> ExceptionsView::listedIds() const {
    std::vector<std::string> ids;
    for (const auto& e : shown_)
        if (e) ids.push_back(e->bundleId());
    return ids;
}

void ExceptionsView::display(const settings::GlidemarkSettings& value) {
    // Rows are rebuilt only when the list itself changed (by object, not by
    // identifier), so an open per-application panel survives its own edits.
    if (shown_ != value.appSettings.exceptionalApplication) rebuildRows(value);
    for (int i = 0; i < list_->count(); ++i)
        if (auto* r = qobject_cast<ExceptionRow*>(list_->itemWidget(list_->item(i)))) r->display(value);
    remove_->setEnabled(selectedApp_.has_value());
}

void ExceptionsView::rebuildRows(const settings::GlidemarkSettings& value) {
    const QSignalBlocker block(list_);
    list_->clear();  // the old row widgets go with the next turn of the event loop
    shown_ = value.appSettings.exceptionalApplication;
    const AppInfoProvider& appInfo = context_.appInfo ? *context_.appInfo : defaultAppInfo_;
    bool selectionFound = false;
    for (const auto& exception : shown_) {
        if (!exception) continue;
        const std::string id = exception->bundleId();
        auto* item = new QListWidgetItem(list_);
        item->setData(kIdRole, qstr(id));
        auto* row = new ExceptionRow(exception, manager_, appInfo.info(id), smoothColumnWidth_);
        item->setSizeHint(QSize(0, row->sizeHint().height()));
        list_->setItemWidget(item, row);
        if (selectedApp_ == id && !selectionFound) {
            item->setSelected(true);
            list_->setCurrentItem(item);
            selectionFound = true;
        }
    }
    if (!selectionFound) selectedApp_.reset();
    markSelectedRow();
    updateHeaderMargin();
}

void ExceptionsView::markSelectedRow() {
    for (int i = 0; i < list_->count(); ++i)
        if (auto* r = qobject_cast<ExceptionRow*>(list_->itemWidget(list_->item(i))))
            r->setSelected(list_->item(i)->isSelected());
}

ExceptionRow* ExceptionsView::row(const std::string& bundleId) const {
    for (int i = 0; i < list_->count(); ++i)
        if (list_->item(i)->data(kIdRole).toString().toStdString() == bundleId)
            return qobject_cast<ExceptionRow*>(list_->itemWidget(list_->item(i)));
    return nullptr;
}

void ExceptionsView::setSelectedApp(const std::optional<std::string>& bundleId) {
    list_->clearSelection();
    if (bundleId)
        for (int i = 0; i < list_->count(); ++i)
            if (list_->item(i)->data(kIdRole).toString().toStdString() == *bundleId) {
                list_->setCurrentRow(i);
                list_->item(i)->setSelected(true);
                return;
            }
    selectedApp_.reset();
    remove_->setEnabled(false);
}

void ExceptionsView::insertException(const std::string& bundleId) {
    settings::AppSettings app = manager_.appSettings();
    auto& list = app.exceptionalApplication;
    if (std::any_of(list.begin(), list.end(), [&](const ExceptionRef& e) { return e && e->hasBundleId(bundleId); }))
        return;
    // Newest first: a new list with the new exception at the front.
    std::vector<ExceptionRef> next;
    next.reserve(list.size() + 1);
    next.push_back(std::make_shared<settings::ExceptionalApplication>(bundleId));
    for (const auto& e : list) next.push_back(e);
    list = std::move(next);
    manager_.setAppSettings(std::move(app));
}

void ExceptionsView::addApplication(const std::string& bundleId) {
    if (bundleId == ExceptionsRunningAppView::kBrowseTag) {
        browseForApplication();
        return;
    }
    insertException(bundleId);
    setShowingPopover(false);
}

void ExceptionsView::browseForApplication() {
    // A modal dialog would close the popup under it; put it away and bring it back after.
    const bool pickerWasOpen = showPicker_;
    if (pickerWasOpen && pickerPopover_) pickerPopover_->hide();

    std::optional<QString> chosen;
    if (context_.chooseApplicationFile) {
        chosen = context_.chooseApplicationFile(this);
    } else {
        const QStringList dirs = applicationDirectories();
        // Start in the first system-wide folder (the first entry is the user's own),
        // where most applications are; the sidebar offers all of them.
        QString start;
        for (qsizetype i = 1; i < dirs.size() && start.isEmpty(); ++i)
            if (QDir(dirs[i]).exists()) start = dirs[i];
        if (start.isEmpty() && !dirs.isEmpty() && QDir(dirs.front()).exists()) start = dirs.front();
        QFileDialog dialog(this, tr("Select an Application"), start, tr("Applications (*.desktop)"));
        dialog.setFileMode(QFileDialog::ExistingFile);
        QList<QUrl> places;
        for (const QString& dir : dirs)
            if (QDir(dir).exists()) places << QUrl::fromLocalFile(dir);
        dialog.setSidebarUrls(places);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            chosen = dialog.selectedFiles().front();
    }
    if (chosen) {
        const std::string id = desktopEntryId(*chosen, applicationDirectories());
        if (!id.empty()) insertException(id);
    }

    if (pickerWasOpen) {
        showPicker_ = false;
        setShowingPopover(true);
    }
}

void ExceptionsView::removeSelected() {
    if (!selectedApp_) return;
    settings::AppSettings app = manager_.appSettings();
    auto& list = app.exceptionalApplication;
    auto found = std::find_if(list.begin(), list.end(), [&](const ExceptionRef& e) { return e && e->hasBundleId(*selectedApp_); });
    if (found == list.end()) return;
    list.erase(found);
    selectedApp_.reset();
    manager_.setAppSettings(std::move(app));
    setSelectedApp(std::nullopt);
}

void ExceptionsView::setShowingPopover(bool show) {
    if (show == showPicker_) return;
    showPicker_ = show;
    if (show) {
        if (!pickerPopover_) {
            pickerPopover_ = makePopup(this);
            pickerPopover_->installEventFilter(this);
            auto* layout = new QVBoxLayout(pickerPopover_);
            layout->setContentsMargins(4, 4, 4, 4);
            picker_ = new ExceptionsRunningAppView([this](const std::string& id) { addApplication(id); }, pickerPopover_);
            layout->addWidget(picker_);
        }
        const AppInfoProvider& appInfo = context_.appInfo ? *context_.appInfo : defaultAppInfo_;
        picker_->reload(context_.workspace, appInfo, listedIds());
        pickerPopover_->resize(260, std::min(320, picker_->contentHeight() + 8 + 2 * pickerPopover_->frameWidth()));
        const QPoint origin = add_->mapToGlobal(QPoint(0, add_->height() + 4));
        pickerPopover_->move(origin);
        pickerPopover_->show();
    } else if (pickerPopover_ && pickerPopover_->isVisible()) {
        pickerPopover_->hide();
    }
}

void ExceptionsView::updateHeaderMargin() {
    // Keep the column titles over their columns when the list grows a scroll bar.
    const QScrollBar* bar = list_->verticalScrollBar();
    header_->layout()->setContentsMargins(6, 0, 6 + (bar->isVisible() ? bar->width() : 0), 0);
}

bool ExceptionsView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == pickerPopover_ && event->type() == QEvent::Hide) showPicker_ = false;
    if (watched == list_->verticalScrollBar() && (event->type() == QEvent::Show || event->type() == QEvent::Hide))
        updateHeaderMargin();
    return QWidget::eventFilter(watched, event);
}

}  // namespace gm::preferences
