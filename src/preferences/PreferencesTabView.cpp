#include "preferences/PreferencesTabView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "preferences/AdvancedView.h"
#include "preferences/ExceptionsView.h"
#include "preferences/GeneralView.h"
#include "preferences/Symbols.h"
#include "preferences/Widgets.h"

namespace gm::preferences {

namespace {
constexpr int kSymbolSide = 20;
constexpr int kButtonHeight = 45;
constexpr int kPadH = 8;
constexpr int kPadV = 4;

QString qstr(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// The Updates page of a build that does not look for updates itself (no update
// feed): there is nothing to check or switch, only where updates come from.
QWidget* noUpdatesPage() {
    auto* page = new QWidget;
    auto* row = new QHBoxLayout(page);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    auto* label = new QLabel(QObject::tr("Updates:"), page);
    label->setFixedWidth(150);
    label->setAlignment(Qt::AlignRight | Qt::AlignTop);
    auto* note = new QLabel(QObject::tr("This copy of Glidemark does not look for updates itself: they come from "
                                        "where it was installed, such as the system's package manager."),
                            page);
    note->setObjectName(QStringLiteral("noUpdatesNote"));
    note->setWordWrap(true);
    note->setFixedWidth(262);
    row->addWidget(label, 0, Qt::AlignTop);
    row->addWidget(note, 0, Qt::AlignTop);
    row->addStretch(1);
    return page;
}
}  // namespace

// ---- PreferencesTabButton --------------------------------------------------------------

PreferencesTabButton::PreferencesTabButton(PreferencesTab tab, QWidget* parent) : QAbstractButton(parent), tab_(tab) {
    setText(qstr(title(tab)));
    setAccessibleName(text());
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
}

void PreferencesTabButton::setSelected(bool selected) {
    if (selected == selected_) return;
    selected_ = selected;
    update();
}

QSize PreferencesTabButton::sizeHint() const {
    const QFontMetrics metrics(captionFont(font()));
    return {std::max(kSymbolSide, metrics.horizontalAdvance(text())) + 2 * kPadH, kButtonHeight};
}

void PreferencesTabButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    if (selected_) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(greyFill(pal, 0.20));
        painter.drawRoundedRect(QRectF(rect()), 6, 6);
    }
    const QColor color = selected_ ? accentColor(pal) : pal.color(QPalette::WindowText);
    const QFont caption = captionFont(font());
    const QFontMetrics metrics(caption);
    const int contentHeight = kSymbolSide + 2 + metrics.height();
    const int top = std::max(kPadV, (height() - contentHeight) / 2);
    painter.drawPixmap((width() - kSymbolSide) / 2, top,
                       symbolPixmap(symbolName(tab_), QSize(kSymbolSide, kSymbolSide), color, devicePixelRatioF()));
    painter.setFont(caption);
    painter.setPen(color);
    painter.drawText(QRect(0, top + kSymbolSide + 2, width(), metrics.height()), Qt::AlignHCenter | Qt::AlignTop, text());
    if (hasFocus()) {
        painter.setPen(QPen(accentColor(pal), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    }
}

// ---- PreferencesTabView --------------------------------------------------------------

PreferencesTabView::PreferencesTabView(const PreferencesContext& context, PreferencesTab selectionTab, QWidget* parent)
    : QWidget(parent), context_(context), selectionTab_(selectionTab) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 10, 0, 10);
    column->setSpacing(8);
    // The window is as tall as the page it shows, and follows it when the tab changes.
    column->setSizeConstraint(QLayout::SetFixedSize);

    auto* bar = new QHBoxLayout;
    bar->setSpacing(8);
    bar->addStretch(1);
    for (PreferencesTab tab : allPreferencesTabs) {
        auto* button = new PreferencesTabButton(tab, this);
        buttons_[static_cast<std::size_t>(tab)] = button;
        bar->addWidget(button, 0, Qt::AlignVCenter);
        connect(button, &QAbstractButton::clicked, this, [this, tab] { setSelectionTab(tab); });
    }
    bar->addStretch(1);
    column->addLayout(bar);
    column->addWidget(makeDivider(this));

    pageHolder_ = new QWidget(this);
    pageHolder_->setFixedWidth(kWidth);
    pageLayout_ = new QVBoxLayout(pageHolder_);
    pageLayout_->setContentsMargins(10, 10, 10, 10);
    column->addWidget(pageHolder_);

    page_ = makePage(selectionTab_);
    pageLayout_->addWidget(page_);
    tabButton(selectionTab_)->setSelected(true);
}

void PreferencesTabView::setSelectionTab(PreferencesTab tab) {
    if (tab == selectionTab_) return;
    tabButton(selectionTab_)->setSelected(false);
    selectionTab_ = tab;
    tabButton(tab)->setSelected(true);
    // The old page may be on the stack of the click that got here; let it go later.
    pageLayout_->removeWidget(page_);
    page_->hide();
    page_->deleteLater();
    page_ = makePage(tab);
    pageLayout_->addWidget(page_);
    emit selectionTabChanged(tab);
}

QWidget* PreferencesTabView::makePage(PreferencesTab tab) {
    settings::SettingsManager& manager = *context_.settingsManager;
    QWidget* page = nullptr;
    switch (tab) {
    case PreferencesTab::general: page = new GeneralView(manager, context_.generalActions); break;
    case PreferencesTab::advanced: page = new AdvancedView(manager); break;
    case PreferencesTab::exceptions: page = new ExceptionsView(context_); break;
    case PreferencesTab::updates: page = context_.updatesPage ? context_.updatesPage() : nullptr; break;
    }
    if (!page) page = noUpdatesPage();
    page->setParent(pageHolder_);
    return page;
}

PreferencesTabView* createPreferencesTabView(const PreferencesContext& context, QWidget* parent) {
    return new PreferencesTabView(context, PreferencesTab::general, parent);
}

}  // namespace gm::preferences
