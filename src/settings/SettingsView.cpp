#include "settings/SettingsView.h"

#include "core/NotificationCenter.h"
#include "core/Version.h"
#include "settings/SettingsGlyphs.h"
#include "settings/SettingsText.h"
#include "settings/SettingsViewModel.h"
#include "settings/SettingsWidgets.h"

#include <QAbstractButton>
#include <QDateTime>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QRadialGradient>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QVariantAnimation>
#include <QWindow>
#include <optional>

namespace {

SettingsText::UpdateStatus statusOf(const SettingsViewModel& vm) {
    using S = SettingsViewModel::UpdateCheckStatus;
    if (!vm.updateCheckStatus()) return SettingsText::UpdateStatus::idle;
    switch (*vm.updateCheckStatus()) {
    case S::checking:
        return SettingsText::UpdateStatus::checking;
    case S::upToDate:
        return SettingsText::UpdateStatus::upToDate;
    case S::failed:
        return SettingsText::UpdateStatus::failed;
    }
    return SettingsText::UpdateStatus::idle;
}

// A page for a section that this build does not fill yet: its title alone.
class TitleOnlyPage : public SettingsPage {
public:
    explicit TitleOnlyPage(const QString& title) {
        auto* column = new QVBoxLayout(this);
        column->setContentsMargins(0, 0, 0, 0);
        column->addWidget(SettingsStyle::sectionTitle(title));
        column->addStretch(1);
    }
};

// The sidebar's floating glass panel; a drag on it moves the window.
class SidebarPanel : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        // Painted once per size and backdrop: the wide shadow blur would otherwise run
        // on every frame of the window.
        const GlassPainter::Backdrop backdrop = SettingsStyle::backdropOf(this);
        const qreal dpr = devicePixelRatioF();
        if (m_cache.size() != size() * dpr || m_cache.devicePixelRatio() != dpr ||
            m_cachedBackdrop != int(backdrop)) {
            m_cache = QPixmap(size() * dpr);
            m_cache.setDevicePixelRatio(dpr);
            m_cache.fill(Qt::transparent);
            QPainter p(&m_cache);
            p.setRenderHint(QPainter::Antialiasing);
            const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
            const QPainterPath shape = GlassPainter::continuousRoundedRect(r, 14);
            GlassPainter::paintShadow(p, shape, GlassPainter::black(0.2), 8, QPointF(0, 2));
            GlassPainter::paintMaterial(p, shape, backdrop);
            GlassPainter::strokeInside(p, r, 14, GlassPainter::white(0.11), 1.0);
            m_cachedBackdrop = int(backdrop);
        }
        QPainter(this).drawPixmap(0, 0, m_cache);
    }
    void mousePressEvent(QMouseEvent* e) override {
        m_grab.reset();
        if (e->button() != Qt::LeftButton) return;
        QWindow* handle = window()->windowHandle();
        // The window manager moves the window where it can; without one (or one that
        // does not offer it) the panel moves the window itself.
        if (!handle || !handle->startSystemMove())
            m_grab = e->globalPosition().toPoint() - window()->pos();
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        if (m_grab && (e->buttons() & Qt::LeftButton))
            window()->move(e->globalPosition().toPoint() - *m_grab);
    }
    void mouseReleaseEvent(QMouseEvent*) override { m_grab.reset(); }

private:
    std::optional<QPoint> m_grab; // the pointer's offset from the window during a move
    QPixmap m_cache;
    int m_cachedBackdrop = -1;
};

// The close dot and its two inert companions.
class CloseDot : public QAbstractButton {
public:
    explicit CloseDot(QWidget* parent) : QAbstractButton(parent) {
        setFixedSize(12, 12);
        setAttribute(Qt::WA_Hover);
        setAccessibleName(QStringLiteral("Close"));
        setToolTip(QStringLiteral("Close"));
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const bool hover = underMouse();
        p.setPen(Qt::NoPen);
        p.setBrush(hover ? GlassPainter::srgb(1.0, 0.38, 0.35) : GlassPainter::white(0.28));
        p.drawEllipse(QRectF(0, 0, 12, 12));
        if (hover)
            SettingsGlyphs::paint(p, QStringLiteral("xmark"), QRectF(2.5, 2.5, 7, 7),
                                  GlassPainter::black(0.55));
    }
    void enterEvent(QEnterEvent*) override { update(); }
    void leaveEvent(QEvent*) override { update(); }
};

class InertDot : public QWidget {
public:
    InertDot() { setFixedSize(12, 12); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(GlassPainter::white(0.14));
        p.drawEllipse(QRectF(0, 0, 12, 12));
    }
};

} // namespace

// One section row of the sidebar: its symbol and title, accent when selected, a faint
// lift while the pointer is over it.
class SidebarItem : public QAbstractButton {
public:
    SidebarItem(SettingsView& view, SettingsSection section)
        : QAbstractButton(nullptr), m_view(view), m_section(section),
          m_animation(new QVariantAnimation(this)) {
        setText(SettingsSections::title(section));
        setAccessibleName(text());
        setCursor(Qt::PointingHandCursor);
        setFixedHeight(30);
        setAttribute(Qt::WA_Hover);
        m_animation->setDuration(120);
        m_animation->setEasingCurve(QEasingCurve::OutCubic);
        connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
            m_lift = v.toReal();
            update();
        });
        connect(this, &QAbstractButton::clicked, this, [this] { m_view.selectSection(m_section); });
    }
    void hoverChanged() {
        const bool hovered = m_view.hoveredSection() == m_section;
        m_animation->stop();
        m_animation->setStartValue(m_lift);
        m_animation->setEndValue(hovered ? 1.0 : 0.0);
        m_animation->start();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const bool selected = m_view.selectedSection() == m_section;
        const QRectF r = rect();
        if (selected)
            p.fillPath(GlassPainter::continuousRoundedRect(r, 8), SettingsStyle::accent(0.25));
        else if (m_lift > 0)
            p.fillPath(GlassPainter::continuousRoundedRect(r, 8),
                       GlassPainter::white(0.07 * m_lift));
        const QColor colour = selected ? SettingsStyle::accent() : GlassPainter::white(0.4);
        SettingsGlyphs::paint(p, SettingsSections::symbol(m_section),
                              QRectF(8 + 2, (r.height() - 14) / 2, 14, 14), colour);
        p.setFont(PopoverStyle::systemFont(13, QFont::DemiBold));
        p.setPen(colour);
        p.drawText(r.adjusted(8 + 18 + 8, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, text());
    }
    void enterEvent(QEnterEvent*) override { m_view.setHovered(m_section); }
    void leaveEvent(QEvent*) override {
        // The pointer may already be over another row, which keeps its highlight.
        if (m_view.hoveredSection() == m_section) m_view.setHovered(std::nullopt);
    }

private:
    SettingsView& m_view;
    SettingsSection m_section;
    qreal m_lift = 0;
    QVariantAnimation* m_animation;
};

SettingsView::SettingsView(SettingsViewModel& viewModel, QWidget* parent)
    : QWidget(parent), m_viewModel(viewModel) {
    setObjectName(QStringLiteral("SettingsView"));
    setFixedSize(viewWidth, viewHeight);
    const QDateTime now = QDateTime::currentDateTime();
    factIndex = now.date().dayOfYear() * 24 + now.time().hour();

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 8, 0, 8);
    row->setSpacing(0);
    m_sidebar = buildSidebar();
    row->addWidget(m_sidebar);

    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setStyleSheet(QStringLiteral(
        "QScrollArea, QScrollArea > QWidget > QWidget { background: transparent; }"
        "QScrollBar:vertical { background: transparent; width: 8px; margin: 4px 1px; }"
        "QScrollBar::handle:vertical { background: rgba(255,255,255,60); border-radius: 3px; "
        "min-height: 24px; }"
        "QScrollBar::add-line, QScrollBar::sub-line { height: 0; }"
        "QScrollBar::add-page, QScrollBar::sub-page { background: transparent; }"));
    auto* content = new QWidget;
    content->setAttribute(Qt::WA_TranslucentBackground);
    m_pagesColumn = new QVBoxLayout(content);
    m_pagesColumn->setContentsMargins(24, 16, 24, 16);
    m_pagesColumn->setSpacing(0);
    m_pagesColumn->addStretch(1);
    m_scroll->setWidget(content);
    m_scroll->viewport()->setAutoFillBackground(false);
    row->addWidget(m_scroll, 1);

    connect(&m_viewModel, &SettingsViewModel::updateStateChanged, this,
            &SettingsView::refreshFooter);
    refreshFooter();

    NotificationCenter::defaultCenter().addObserver(
        this, setSettingsSectionNotification, [this](const Notification& n) {
            const QVariant v = n.userInfo.value(QStringLiteral("section"));
            if (v.typeId() != QMetaType::QString) return;
            if (const auto s = SettingsSections::fromRawValue(v.toString())) selectSection(*s);
        });

    // The insights page re-reads its store once a minute while the window is seen; the
    // home page's fact moves on every hour.
    m_minuteTimer = new QTimer(this);
    m_minuteTimer->setInterval(60'000);
    connect(m_minuteTimer, &QTimer::timeout, this, [this] {
        if (m_viewModel.windowVisible() && m_selected == SettingsSection::insights)
            refreshVisiblePage();
    });
    m_minuteTimer->start();
    m_factTimer = new QTimer(this);
    m_factTimer->setInterval(3'600'000);
    connect(m_factTimer, &QTimer::timeout, this, [this] {
        ++factIndex;
        if (m_selected == SettingsSection::home) refreshVisiblePage();
    });
    m_factTimer->start();

    selectSection(SettingsSection::home);
}

QAbstractButton* SettingsView::sidebarItem(SettingsSection section) const {
    return m_items[size_t(section)];
}

SettingsView::~SettingsView() {
    NotificationCenter::defaultCenter().removeObserver(this);
}

QWidget* SettingsView::buildSidebar() {
    auto* panel = new SidebarPanel(this);
    panel->setFixedWidth(200);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(8, 0, 8, 8);
    column->setSpacing(2);

    auto* dots = new QHBoxLayout;
    dots->setContentsMargins(10, 12, 0, 10);
    dots->setSpacing(8);
    auto* close = new CloseDot(panel);
    connect(close, &QAbstractButton::clicked, this, [this] {
        if (m_viewModel.closeWindow) m_viewModel.closeWindow();
    });
    m_closeDot = close;
    dots->addWidget(close);
    dots->addWidget(new InertDot);
    dots->addWidget(new InertDot);
    dots->addStretch(1);
    column->addLayout(dots);

    for (SettingsSection s : SettingsSections::all) {
        if (s == SettingsSection::explore) column->addStretch(1);
        auto* item = new SidebarItem(*this, s);
        m_items[size_t(s)] = item;
        column->addWidget(item);
        column->setAlignment(item, Qt::AlignTop);
    }

    m_footer = new QWidget(panel);
    auto* footer = new QHBoxLayout(m_footer);
    footer->setContentsMargins(0, 6, 0, 12);
    footer->setSpacing(6);
    footer->addStretch(1);
    m_version = SettingsStyle::label(QStringLiteral("v") + Bundle::halcyraVersion(), 10,
                                     QFont::Medium, GlassPainter::white(0.2));
    footer->addWidget(m_version);
    auto* refresh =
        new GlyphButton(SettingsGlyphs::painter(QStringLiteral("arrow.triangle.2.circlepath")),
                        QSize(10, 10), GlassPainter::white(0.35), 2);
    refresh->setToolTip(QStringLiteral("Check for updates"));
    refresh->setAccessibleName(QStringLiteral("Check for updates"));
    refresh->setCursor(Qt::PointingHandCursor);
    connect(refresh, &QAbstractButton::clicked, this, [this] {
        if (m_viewModel.checkForUpdates) m_viewModel.checkForUpdates();
    });
    m_refreshButton = refresh;
    footer->addWidget(refresh);
    m_status = SettingsStyle::label(QString(), 10, QFont::Medium, GlassPainter::white(0.35));
    footer->addWidget(m_status);
    footer->addStretch(1);
    column->addWidget(m_footer);
    return panel;
}

void SettingsView::refreshFooter() {
    const auto status = statusOf(m_viewModel);
    const bool idle = status == SettingsText::UpdateStatus::idle;
    m_version->setVisible(idle);
    m_refreshButton->setVisible(idle);
    m_status->setVisible(!idle);
    if (idle) return;
    m_status->setText(SettingsText::updateStatusText(status));
    const QColor colour = status == SettingsText::UpdateStatus::upToDate
                              ? GlassPainter::srgb(0.55, 0.85, 0.6, 0.8)
                              : GlassPainter::white(0.35);
    PopoverStyle::styleLabel(m_status, m_status->font(), colour);
}

void SettingsView::setHovered(std::optional<SettingsSection> s) {
    m_hovered = s;
    for (SidebarItem* item : m_items)
        item->hoverChanged();
}

void SettingsView::selectSection(SettingsSection section) {
    // A page's own shown state, not whether it is seen: the window may be hidden, and a
    // page left shown then would be stacked under the next one when it opens.
    SettingsPage* previous = m_pages[size_t(m_selected)];
    if (previous && !previous->isHidden() && section != m_selected) {
        previous->hide();
        previous->disappeared();
    }
    m_selected = section;
    SettingsPage*& page = m_pages[size_t(section)];
    if (!page) {
        switch (section) {
        case SettingsSection::home:
            page = makeHomePage(*this);
            break;
        case SettingsSection::display:
            page = makeDisplayPage(*this);
            break;
        case SettingsSection::scheduling:
            page = makeSchedulingPage(*this);
            break;
        case SettingsSection::insights:
            page = makeInsightsPage(*this);
            break;
        case SettingsSection::settings:
            page = makeGeneralPage(*this);
            break;
        case SettingsSection::presets:
            page = makePresetsPage(*this);
            break;
        case SettingsSection::keyboard:
            page = makeKeyboardPage(*this);
            break;
        case SettingsSection::explore:
            page = makeExplorePage(*this);
            break;
        default:
            page = new TitleOnlyPage(SettingsSections::title(section));
            break;
        }
        m_pagesColumn->insertWidget(m_pagesColumn->count() - 1, page);
    }
    const bool wasShown = !page->isHidden();
    page->refresh();
    page->show();
    if (!wasShown) page->appeared();
    // Every section opens at its top, whatever the last one's scroll position.
    m_scroll->widget()->adjustSize();
    m_scroll->verticalScrollBar()->setValue(0);
    for (SidebarItem* item : m_items)
        item->update();
}

void SettingsView::refreshVisiblePage() {
    if (SettingsPage* page = m_pages[size_t(m_selected)]) page->refresh();
}

void SettingsView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = rect();
    const GlassPainter::Backdrop backdrop = SettingsStyle::backdropOf(this);
    QPainterPath shape;
    if (backdrop == GlassPainter::Backdrop::translucent)
        shape = GlassPainter::continuousRoundedRect(r, 12);
    else
        shape.addRect(r);
    GlassPainter::paintMaterial(p, shape, backdrop);
    p.fillPath(shape, GlassPainter::black(0.5));
    QRadialGradient glow(QPointF(r.center().x(), 0), 300);
    glow.setColorAt(0, SettingsStyle::accent(0.08));
    glow.setColorAt(1, Qt::transparent);
    p.fillPath(shape, glow);
}
