// The "Home" page: a pending update, the greeting with the schedule's state, the
// screen's warmth and today's protection, and the testimonial box.
#include "core/Preferences.h"
#include "insights/CircadianFact.h"
#include "insights/InsightsLogic.h"
#include "insights/InsightsStore.h"
#include "insights/ScheduleViewLogic.h"
#include "settings/FunFactCard.h"
#include "settings/SettingsText.h"
#include "settings/SettingsView.h"
#include "settings/SettingsViewModel.h"
#include "settings/SettingsWidgets.h"
#include "settings/SpectrumWidget.h"
#include "settings/TestimonialCard.h"
#include "warmth/SchedulePoint.h"
#include "warmth/SunsetScheduler.h"

#include <QDateTime>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QVBoxLayout>

namespace {

QLabel* caps(const QString& text) {
    QLabel* l = SettingsStyle::label(text, 10, QFont::DemiBold, GlassPainter::white(0.4));
    QFont f = l->font();
    f.setLetterSpacing(QFont::AbsoluteSpacing, 0.8);
    l->setFont(f);
    return l;
}

QLabel* bigValue() {
    QLabel* l = SettingsStyle::label(QString(), 26, QFont::Bold, GlassPainter::white(0.9));
    return l;
}

class HomePage : public SettingsPage {
public:
    explicit HomePage(SettingsView& view) : m_view(view), m_vm(view.viewModel()) {
        auto* column = new QVBoxLayout(this);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(12);
        buildBanner(column);

        m_header = new QWidget;
        auto* header = new QVBoxLayout(m_header);
        header->setContentsMargins(0, 0, 0, 0);
        header->setSpacing(2);
        m_greeting = SettingsStyle::label(QString(), 18, QFont::Bold, GlassPainter::white(1));
        m_scheduleLine =
            SettingsStyle::label(QString(), 12, QFont::Normal, GlassPainter::white(0.5));
        header->addWidget(m_greeting);
        header->addWidget(m_scheduleLine);
        m_headerFade = new QGraphicsOpacityEffect(m_header);
        m_header->setGraphicsEffect(m_headerFade);
        // The header fades in while it rises the last 6 points into place.
        m_entrance = new QParallelAnimationGroup(this);
        auto* fade = new QPropertyAnimation(m_headerFade, "opacity", m_entrance);
        fade->setStartValue(0.0);
        fade->setEndValue(1.0);
        auto* rise = new QVariantAnimation(m_entrance);
        rise->setStartValue(6);
        rise->setEndValue(0);
        connect(rise, &QVariantAnimation::valueChanged, m_header, [this](const QVariant& v) {
            m_header->setContentsMargins(0, v.toInt(), 0, 6 - v.toInt());
        });
        for (QVariantAnimation* a : std::initializer_list<QVariantAnimation*>{fade, rise}) {
            a->setDuration(350);
            a->setEasingCurve(QEasingCurve::OutCubic);
            m_entrance->addAnimation(a);
        }
        m_header->setContentsMargins(0, 0, 0, 6);
        column->addWidget(m_header);

        // A fact about light and sleep: the next one on every visit, every hour, and
        // on a tap.
        auto* factCard = new GlassCard(nullptr, GlassCard::Hover::highlight);
        m_fact = new FunFactCard(currentFact());
        factCard->column()->addWidget(m_fact);
        connect(factCard, &GlassCard::clicked, this, [this] {
            ++m_view.factIndex;
            m_fact->setFact(currentFact());
        });
        column->addWidget(factCard);

        auto* cards = new QHBoxLayout;
        cards->setSpacing(12);
        auto* warmth = new GlassCard;
        warmth->column()->setSpacing(8);
        warmth->column()->addWidget(caps(QStringLiteral("SCREEN WARMTH")));
        m_warmthValue = bigValue();
        warmth->column()->addWidget(m_warmthValue);
        m_spectrum = new SpectrumWidget(PrefDefault::temperature, false);
        warmth->column()->addWidget(m_spectrum);
        m_warmthCaption =
            SettingsStyle::label(QString(), 11, QFont::Normal, GlassPainter::white(0.6));
        warmth->column()->addWidget(m_warmthCaption);
        warmth->column()->addStretch(1);
        cards->addWidget(warmth, 1);

        auto* protection = new GlassCard;
        protection->column()->setSpacing(8);
        protection->column()->addWidget(caps(QStringLiteral("PROTECTION")));
        m_todayValue = bigValue();
        protection->column()->addWidget(m_todayValue);
        protection->column()->addWidget(SettingsStyle::label(
            QStringLiteral("today"), 11, QFont::Normal, GlassPainter::white(0.6)));
        m_weekLine = SettingsStyle::label(QString(), 11, QFont::Normal, GlassPainter::white(0.45));
        protection->column()->addWidget(m_weekLine);
        m_avgKelvin = averageRow(protection, QStringLiteral("thermometer.sun.fill"));
        m_avgBrightness = averageRow(protection, QStringLiteral("sun.max.fill"));
        protection->column()->addStretch(1);
        cards->addWidget(protection, 1);
        column->addLayout(cards);

        column->addWidget(new TestimonialCard(m_vm, GlassCard::Hover::highlight));
        connect(&m_vm, &SettingsViewModel::updateStateChanged, this, [this] { refresh(); });
        connect(&m_vm, &SettingsViewModel::generalSettingsChanged, this, [this] {
            if (isVisible()) refresh();
        });
    }

    void refresh() override {
        const auto version = m_vm.availableUpdateVersion();
        m_banner->setVisible(version.has_value());
        if (version) {
            m_bannerTitle->setText(QStringLiteral("Update available — v") + *version);
            m_bannerButton->setToolTip(QStringLiteral("Download and install v") + *version);
        }
        m_fact->setFact(currentFact());
        const QDateTime now = QDateTime::currentDateTime();
        m_greeting->setText(SettingsText::homeGreeting(now.time().hour()));
        m_scheduleLine->setText(scheduleLine(now));

        const Preferences& prefs = Preferences::shared();
        const bool active = prefs.enabled() && prefs.intensity() > 0;
        const double kelvin = prefs.temperature();
        m_warmthValue->setText(active ? SettingsText::kelvinFigure(kelvin) : QStringLiteral("Off"));
        PopoverStyle::styleLabel(m_warmthValue, m_warmthValue->font(),
                                 active ? SettingsStyle::accent() : GlassPainter::white(0.4));
        m_spectrum->set(kelvin, active);
        m_warmthCaption->setText(active ? ScheduleCurve::bandLabel(kelvin)
                                        : QStringLiteral("Warmth is currently off"));

        const InsightsStore& store = InsightsStore::shared();
        const DailyInsight today = store.record(now);
        double week = 0;
        for (const DailyInsight& d : store.lastDays(7, now))
            week += d.protectedSeconds;
        m_todayValue->setText(SettingsText::hoursString(today.protectedSeconds / 3600.0));
        m_weekLine->setText(SettingsText::hoursString(week / 3600.0) +
                            QStringLiteral(" this week"));
        const auto avgK = InsightsLogic::averageKelvin({today});
        const auto avgB = InsightsLogic::averageBrightness({today});
        setAverage(m_avgKelvin,
                   avgK ? std::optional(SettingsText::averageKelvinLine(*avgK)) : std::nullopt);
        setAverage(m_avgBrightness,
                   avgB ? std::optional(SettingsText::averageBrightnessLine(*avgB)) : std::nullopt);
    }

    void appeared() override {
        // Every visit shows the next fact and plays the header's entrance again.
        ++m_view.factIndex;
        m_fact->setFact(currentFact());
        m_entrance->stop();
        m_entrance->start();
    }

    void disappeared() override {
        m_entrance->stop();
        m_headerFade->setOpacity(0.0);
        m_header->setContentsMargins(0, 6, 0, 0);
    }

    const CircadianFact& fact() const { return m_fact->fact(); }

private:
    const CircadianFact& currentFact() const {
        const QList<CircadianFact>& facts = CircadianFact::allFacts();
        const int n = int(facts.size());
        return facts[((m_view.factIndex % n) + n) % n];
    }

    static QString scheduleLine(const QDateTime& now) {
        const Preferences& prefs = Preferences::shared();
        SunsetScheduler& engine = SunsetScheduler::shared();
        ScheduleStatusLine::Inputs in;
        in.scheduleIsRunning = prefs.useSchedule() || prefs.autoSunset();
        in.isWarmNow = engine.previewState(now).isWarm();
        in.nextOnset = engine.nextWarmOnset(now, 86400);
        in.usingWallClockFallback = prefs.autoSunset() && !engine.lastLocation();
        // The schedule views' way of writing a time, not the locale's short format
        // (which carries seconds in some locales).
        return ScheduleStatusLine::sentence(in);
    }

    QWidget* averageRow(GlassCard* card, const QString& symbol) {
        auto* row = new QWidget;
        auto* h = new QHBoxLayout(row);
        h->setContentsMargins(0, 0, 0, 0);
        h->setSpacing(6);
        h->addWidget(new SymbolWidget(symbol, 9, GlassPainter::white(0.4)));
        h->addWidget(SettingsStyle::label(QString(), 10, QFont::Normal, GlassPainter::white(0.5)),
                     1);
        card->column()->addWidget(row);
        return row;
    }

    static void setAverage(QWidget* row, const std::optional<QString>& text) {
        row->setVisible(text.has_value());
        if (text) row->findChild<QLabel*>()->setText(*text);
    }

    void buildBanner(QVBoxLayout* column) {
        m_banner = new QWidget;
        m_banner->setObjectName(QStringLiteral("UpdateBanner"));
        m_banner->setAttribute(Qt::WA_StyledBackground);
        m_banner->setStyleSheet(QStringLiteral("#UpdateBanner { background: rgba(255,140,38,36); "
                                               "border: 1px solid rgba(255,140,38,140);"
                                               " border-radius: 12px; }"));
        auto* row = new QHBoxLayout(m_banner);
        row->setContentsMargins(16, 16, 16, 16);
        row->setSpacing(14);
        row->addWidget(
            new IconCircle(QStringLiteral("arrow.down.circle.fill"), SettingsStyle::accent()));
        auto* text = new QVBoxLayout;
        text->setSpacing(3);
        m_bannerTitle = SettingsStyle::label(QString(), 14, QFont::Bold, Qt::white);
        text->addWidget(m_bannerTitle);
        text->addWidget(SettingsStyle::wrapping(
            QStringLiteral("Halcyra gets better every week from your feedback. Update now for the "
                           "latest fixes and improvements."),
            11, GlassPainter::white(0.75)));
        row->addLayout(text, 1);
        m_bannerButton = new GradientButton(QString(), QStringLiteral("Update Now"), 9, 12);
        m_bannerButton->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        m_bannerButton->setFixedSize(110, 34);
        row->addWidget(m_bannerButton);
        connect(m_bannerButton, &QAbstractButton::clicked, this, [this] {
            if (m_vm.checkForUpdates) m_vm.checkForUpdates();
        });
        column->addWidget(m_banner);
    }

    SettingsView& m_view;
    SettingsViewModel& m_vm;
    QWidget* m_banner = nullptr;
    QLabel* m_bannerTitle = nullptr;
    GradientButton* m_bannerButton = nullptr;
    QWidget* m_header = nullptr;
    QGraphicsOpacityEffect* m_headerFade = nullptr;
    QParallelAnimationGroup* m_entrance = nullptr;
    FunFactCard* m_fact = nullptr;
    QLabel* m_greeting = nullptr;
    QLabel* m_scheduleLine = nullptr;
    QLabel* m_warmthValue = nullptr;
    SpectrumWidget* m_spectrum = nullptr;
    QLabel* m_warmthCaption = nullptr;
    QLabel* m_todayValue = nullptr;
    QLabel* m_weekLine = nullptr;
    QWidget* m_avgKelvin = nullptr;
    QWidget* m_avgBrightness = nullptr;
};

} // namespace

SettingsPage* makeHomePage(SettingsView& view) {
    return new HomePage(view);
}
