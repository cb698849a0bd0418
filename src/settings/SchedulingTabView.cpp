#include "settings/SchedulingTabView.h"

#include "core/FrameTimer.h"
#include "core/Preferences.h"
#include "insights/ScheduleSettingsModel.h"
#include "popover/GlassPainter.h"
#include "popover/ToggleSwitch.h"
#include "settings/DayPartZonesView.h"
#include "settings/PaintCache.h"
#include "settings/ScheduleGlyphs.h"
#include "settings/SchedulePointListView.h"
#include "settings/ScheduleViewStyle.h"
#include "settings/SchedulingVisualizerView.h"
#include "settings/SettingsView.h"
#include "settings/SettingsViewModel.h"
#include "settings/SettingsWidgets.h"
#include "settings/ShadowLayer.h"
#include "sound/SoundCueEngine.h"
#include "warmth/SunsetScheduler.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>

using namespace ScheduleViewStyle;

namespace {

const QColor kPurple = srgb(0.69, 0.32, 0.87);

QLabel* label(const QString& text, const QFont& f, const QColor& c, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    PopoverStyle::styleLabel(l, f, c);
    return l;
}

QLabel* eyebrow(const QString& text, QWidget* parent) {
    QFont f = face(10.5, QFont::Bold);
    f.setPixelSize(11);
    f.setLetterSpacing(QFont::AbsoluteSpacing, 0.8);
    return label(text, f, white(0.4), parent);
}

void paintIconCircle(QPainter& p, const QString& icon, const QColor& tint, QPointF topLeft) {
    QColor fill = tint;
    fill.setAlphaF(0.15f);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawEllipse(QRectF(topLeft, QSizeF(32, 32)));
    ScheduleGlyphs::draw(p, icon, QRectF(topLeft + QPointF(9, 9), QSizeF(14, 14)), tint);
}

// The framed panel of the section: material, a faint inner edge and a soft shadow,
// the content padded 16 and stretched to the full width.
class Card : public QWidget {
public:
    explicit Card(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TranslucentBackground);
        setObjectName(QStringLiteral("scheduleCard"));
        m_layout = new QVBoxLayout(this);
        m_layout->setContentsMargins(16, 16, 16, 16);
    }
    QVBoxLayout* content() const { return m_layout; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF box = QRectF(rect()).adjusted(0, 0, 0, -GlassPainter::cardShadowMargin);
        const QPainterPath shape = GlassPainter::continuousRoundedRect(box, 12);
        // The frame only changes with the size: made once per size.
        const GlassPainter::Backdrop backdrop = SettingsStyle::backdropOf(this);
        m_shadow.draw(
            p, size(), int(backdrop),
            [&](QPainter& sp) {
                GlassPainter::paintShadow(sp, shape, GlassPainter::black(0.12), 1.5, QPointF(0, 1));
            },
            [&](QPainter& gp) {
                GlassPainter::paintMaterial(gp, shape, backdrop);
                GlassPainter::strokeInside(gp, box, 12, white(0.15), 0.5);
            });
    }

private:
    QVBoxLayout* m_layout;
    ShadowLayer m_shadow;
};

// A row with a round symbol badge, a title over a subtitle, and a control at the end.
class Row : public QWidget {
public:
    Row(QString icon, QColor tint, const QString& title, QWidget* control, QWidget* parent)
        : QWidget(parent), m_icon(std::move(icon)), m_tint(tint) {
        setAttribute(Qt::WA_TranslucentBackground);
        auto* h = new QHBoxLayout(this);
        h->setContentsMargins(32 + 14, 0, 0, 0);
        h->setSpacing(14);
        auto* texts = new QVBoxLayout;
        texts->setSpacing(3);
        texts->addWidget(label(title, face(13, QFont::DemiBold), Qt::white, this));
        subtitle = label(QString(), face(11), white(0.6), this);
        texts->addWidget(subtitle);
        h->addLayout(texts, 1);
        if (control) h->addWidget(control, 0, Qt::AlignVCenter);
        setMinimumHeight(32);
    }
    QLabel* subtitle;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        m_badge.draw(p, QRectF(0, (height() - 32) / 2.0, 32, 32), 0, [this](QPainter& bp) {
            paintIconCircle(bp, m_icon, m_tint, {0, (height() - 32) / 2.0});
        });
    }

private:
    QString m_icon;
    QColor m_tint;
    PaintCache m_badge;
};

// The hairline between rows: white at 0.08, half a point high.
class Hairline : public QWidget {
public:
    explicit Hairline(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TranslucentBackground);
        setFixedHeight(1);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(QRectF(0, 0, width(), 0.5), white(0.08));
    }
};

// The fine-tune row: the whole row is the button; the chevron turns up while open.
class FineTuneButton : public QAbstractButton {
public:
    explicit FineTuneButton(QWidget* parent) : QAbstractButton(parent) {
        setCheckable(true);
        setAccessibleName(QStringLiteral("Fine-Tune Curve"));
        setCursor(Qt::PointingHandCursor);
    }
    QSize sizeHint() const override {
        const double h = QFontMetricsF(face(13, QFont::DemiBold)).height() + 3 +
                         QFontMetricsF(face(11)).height();
        return {400, int(std::ceil(std::max(32.0, h)))};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        m_picture.draw(p, QRectF(rect()), qHash(isChecked()),
                       [this](QPainter& bp) { paintButton(bp); });
    }

private:
    void paintButton(QPainter& p) const {
        paintIconCircle(p, QStringLiteral("slider.horizontal.below.sun.max"), kPurple,
                        {0, (height() - 32) / 2.0});
        const QFont tf = face(13, QFont::DemiBold), sf = face(11);
        const double th = QFontMetricsF(tf).height(), sh = QFontMetricsF(sf).height();
        const double top = (height() - th - 3 - sh) / 2;
        const double x = 32 + 14, textW = width() - x - 14 - 11;
        paintText(p, QStringLiteral("Fine-Tune Curve"), tf, Qt::white, {x, top});
        p.setFont(sf);
        p.setPen(white(0.6));
        p.drawText(QRectF(x, top + th + 3, textW, sh), Qt::AlignLeft | Qt::AlignVCenter,
                   QFontMetricsF(sf).elidedText(
                       QStringLiteral("Drag points on the 24-hour curve to shape your schedule"),
                       Qt::ElideRight, textW));
        // The chevron turns about its centre.
        const QPointF c(width() - 6, height() / 2.0);
        p.translate(c);
        p.rotate(isChecked() ? 180 : 0);
        ScheduleGlyphs::draw(p, QStringLiteral("chevron.down"), QRectF(-5.5, -5.5, 11, 11),
                             white(0.5));
    }

    PaintCache m_picture;
};

} // namespace

SchedulingTabView::SchedulingTabView(ScheduleSettingsModel& model, const QColor& accent,
                                     QWidget* parent)
    : SchedulingTabView(model, accent, SunsetScheduler::shared(), SoundCueEngine::shared(),
                        parent) {}

SchedulingTabView::SchedulingTabView(std::unique_ptr<ScheduleSettingsModel> model,
                                     const QColor& accent, QWidget* parent)
    : QWidget(parent), m_ownedModel(std::move(model)), m_model(*m_ownedModel), m_accent(accent),
      m_scheduler(SunsetScheduler::shared()), m_cues(SoundCueEngine::shared()) {
    build();
}

SchedulingTabView::SchedulingTabView(ScheduleSettingsModel& model, const QColor& accent,
                                     SunsetScheduler& scheduler, SoundCueEngine& cues,
                                     QWidget* parent)
    : QWidget(parent), m_model(model), m_accent(accent), m_scheduler(scheduler), m_cues(cues) {
    // The page is kept while the window lives: the subtitle names the warmth of this
    // minute, so it is read again whenever the page shows and each minute it is seen.
    m_minuteTimer = new QTimer(this);
    m_minuteTimer->setObjectName(QStringLiteral("statusMinuteTimer"));
    m_minuteTimer->setInterval(60'000);
    connect(m_minuteTimer, &QTimer::timeout, this, &SchedulingTabView::sync);
    build();
}

void SchedulingTabView::showEvent(QShowEvent* e) {
    sync();
    m_minuteTimer->start();
    QWidget::showEvent(e);
}

void SchedulingTabView::hideEvent(QHideEvent* e) {
    m_minuteTimer->stop();
    QWidget::hideEvent(e);
}

SchedulingTabView::~SchedulingTabView() {
    // The views below observe the model: they go before a model of our own does.
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        delete child;
}

void SchedulingTabView::build() {
    setAttribute(Qt::WA_TranslucentBackground);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(22);

    auto* header = new QVBoxLayout;
    header->setSpacing(5);
    header->addWidget(label(QStringLiteral("Scheduling"), face(18, QFont::Bold), Qt::white, this));
    header->addWidget(label(QStringLiteral("How your screen warms across the day."), face(12.5),
                            white(0.55), this));
    column->addLayout(header);

    m_zones = new DayPartZonesView(m_model, m_scheduler, this);
    column->addWidget(m_zones);

    auto* mode = new QVBoxLayout;
    mode->setSpacing(10);
    mode->addWidget(eyebrow(QStringLiteral("MODE"), this));
    auto* modeCard = new Card(this);
    modeCard->content()->setSpacing(0);
    m_sunSwitch = new ToggleSwitch(m_accent);
    auto* sunRow = new Row(QStringLiteral("sunset.fill"), m_accent,
                           QStringLiteral("Follow the Sun"), m_sunSwitch, modeCard);
    sunRow->subtitle->setText(QStringLiteral("Warms at sunset, clears at sunrise"));
    modeCard->content()->addWidget(sunRow);
    auto* divider = new Hairline(modeCard);
    auto* dividerBox = new QVBoxLayout;
    dividerBox->setContentsMargins(46, 12, 0, 12);
    dividerBox->addWidget(divider);
    modeCard->content()->addLayout(dividerBox);
    m_customSwitch = new ToggleSwitch(m_accent);
    auto* customRow = new Row(QStringLiteral("clock.fill"), m_accent,
                              QStringLiteral("Custom Schedule"), m_customSwitch, modeCard);
    m_customSubtitle = customRow->subtitle;
    modeCard->content()->addWidget(customRow);
    m_pointListHolder = new QWidget(modeCard);
    auto* listBox = new QVBoxLayout(m_pointListHolder);
    listBox->setContentsMargins(46, 14, 0, 0);
    m_pointList = new SchedulePointListView(
        m_model,
        [this] {
            if (m_model.onScheduleChanged) m_model.onScheduleChanged();
        },
        srgb(1.0, 0.55, 0.15), m_pointListHolder);
    listBox->addWidget(m_pointList);
    modeCard->content()->addWidget(m_pointListHolder);
    mode->addWidget(modeCard);
    column->addLayout(mode);

    auto* advanced = new QVBoxLayout;
    advanced->setSpacing(10);
    advanced->addWidget(eyebrow(QStringLiteral("ADVANCED"), this));
    auto* advancedCard = new Card(this);
    m_advancedCard = advancedCard;
    advancedCard->content()->setSpacing(14);
    m_fineTuneButton = new FineTuneButton(advancedCard);
    advancedCard->content()->addWidget(m_fineTuneButton);
    advanced->addWidget(advancedCard);
    column->addLayout(advanced);

    // Each switch writes through the model; turning one mode on turns the other off.
    connect(m_sunSwitch, &QAbstractButton::clicked, this, [this](bool on) {
        m_model.setAutoSunset(on);
        if (on) m_model.setUseSchedule(false);
        m_cues.play(on ? SoundCue::toggleOn : SoundCue::toggleOff);
    });
    connect(m_customSwitch, &QAbstractButton::clicked, this, [this](bool on) {
        m_model.setUseSchedule(on);
        if (on) m_model.setAutoSunset(false);
        m_cues.play(on ? SoundCue::toggleOn : SoundCue::toggleOff);
    });
    connect(m_fineTuneButton, &QAbstractButton::clicked, this,
            [this] { setShowFineTuneCurve(!m_showFineTuneCurve); });
    connect(&m_model, &ScheduleSettingsModel::autoSunsetChanged, this, &SchedulingTabView::sync);
    connect(&m_model, &ScheduleSettingsModel::useScheduleChanged, this, &SchedulingTabView::sync);
    connect(&m_model, &ScheduleSettingsModel::schedulePointsChanged, this,
            &SchedulingTabView::sync);
    sync();
}

void SchedulingTabView::setShowFineTuneCurve(bool open) {
    if (open == m_showFineTuneCurve) return;
    m_showFineTuneCurve = open;
    m_fineTuneButton->setChecked(open);
    // The visualiser exists only while the panel is open.
    if (open) {
        m_visualizer = new SchedulingVisualizerView(m_model, m_scheduler, nullptr, m_advancedCard);
        static_cast<Card*>(m_advancedCard)->content()->addWidget(m_visualizer);
        if (isVisible()) m_visualizer->show();
    } else {
        delete m_visualizer;
        m_visualizer = nullptr;
    }
    updateGeometry();
}

QString SchedulingTabView::scheduleStatusLine() const {
    const QDateTime now = m_scheduler.clock().now();
    return ScheduleViewLogic::scheduleStatusLine(
        SchedulePoint::stored(Preferences(&m_model.store())),
        now.time().hour() + now.time().minute() / 60.0);
}

QString SchedulingTabView::customSubtitle() const {
    return m_customSubtitle->text();
}

void SchedulingTabView::sync() {
    m_sunSwitch->setChecked(m_model.autoSunset());
    m_customSwitch->setChecked(m_model.useSchedule());
    m_customSubtitle->setText(m_model.useSchedule()
                                  ? scheduleStatusLine()
                                  : QStringLiteral("Define your own warmth curve"));
    m_pointListHolder->setVisible(m_model.useSchedule());
}

namespace {

// The window's "Scheduling" page: the section over the window's own model.
class SchedulingPage : public SettingsPage {
public:
    explicit SchedulingPage(SettingsView& view) {
        auto* column = new QVBoxLayout(this);
        column->setContentsMargins(0, 0, 0, 0);
        SettingsViewModel& vm = view.viewModel();
        m_tab = new SchedulingTabView(vm, srgb(1.0, 0.55, 0.15), SunsetScheduler::shared(),
                                      vm.cues(), this);
        column->addWidget(m_tab);
    }
    // Kept while the window lives, the page stands for a section built afresh on each
    // visit: the fine-tune panel is closed when another section takes its place.
    void disappeared() override { m_tab->setShowFineTuneCurve(false); }

private:
    SchedulingTabView* m_tab;
};

} // namespace

SettingsPage* makeSchedulingPage(SettingsView& view) {
    return new SchedulingPage(view);
}
