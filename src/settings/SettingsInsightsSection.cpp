// The "Insights" page: what the insight records say about the last week and month.
// Read-only; every figure is worked out from the store each time the page is drawn.
#include "insights/InsightsLogic.h"
#include "insights/InsightsStore.h"
#include "settings/CircadianRingView.h"
#include "settings/SettingsText.h"
#include "settings/SettingsView.h"
#include "settings/SettingsViewModel.h"
#include "settings/SettingsWidgets.h"
#include "warmth/SchedulePoint.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>
#include <algorithm>

namespace {

const QColor goodGreen = GlassPainter::srgb(0.4, 0.85, 0.5);
const QColor lowRed = GlassPainter::srgb(0.95, 0.35, 0.3);
const QColor ember = GlassPainter::srgb(0.85, 0.3, 0.1);

QColor scoreColour(int score) {
    switch (SettingsText::scoreBand(score)) {
    case SettingsText::ScoreBand::low:
        return lowRed;
    case SettingsText::ScoreBand::middle:
        return SettingsStyle::accent();
    case SettingsText::ScoreBand::good:
        return goodGreen;
    }
    return SettingsStyle::accent();
}

// The ring gauge: a faint track and the score's share of it from twelve o'clock. The
// ring is the circle of its 84-point frame and its stroke is centred on it, so half the
// stroke stands outside the frame: the widget is larger by that much on every side and
// its layout takes it back.
class ScoreGauge : public QWidget {
public:
    static constexpr int frame = 84, stroke = 6, overhang = stroke / 2;
    explicit ScoreGauge(int score) : m_score(score) {
        setObjectName(QStringLiteral("scoreGauge"));
        setFixedSize(frame + 2 * overhang, frame + 2 * overhang);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF ring = QRectF(rect()).adjusted(overhang, overhang, -overhang, -overhang);
        p.setPen(QPen(GlassPainter::white(0.08), stroke));
        p.drawEllipse(ring);
        const QColor colour = scoreColour(m_score);
        p.setPen(QPen(colour, stroke, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(ring, 90 * 16, -int(std::clamp(m_score, 0, 100) / 100.0 * 360 * 16));
        p.setPen(colour);
        p.setFont(PopoverStyle::systemFont(28, QFont::Bold));
        p.drawText(QRectF(0, overhang + 14, width(), 34), Qt::AlignCenter,
                   QString::number(m_score));
        p.setPen(GlassPainter::white(0.4));
        p.setFont(PopoverStyle::systemFont(9));
        p.drawText(QRectF(0, overhang + 48, width(), 14), Qt::AlignCenter,
                   QStringLiteral("of 100"));
    }

private:
    int m_score;
};

// Seven columns of protected hours, oldest at the left, today in the accent.
class WeekBars : public QWidget {
public:
    explicit WeekBars(QList<QPair<QString, double>> days) : m_days(std::move(days)) {
        setObjectName(QStringLiteral("weekBars"));
        setFixedHeight(10 + 5 + 64 + 5 + 12);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        double peak = 1.0;
        for (const auto& d : m_days)
            peak = std::max(peak, d.second);
        const int n = int(m_days.size());
        if (n == 0) return;
        const qreal gap = 10, colW = (width() - gap * (n - 1)) / n;
        for (int i = 0; i < n; ++i) {
            const bool today = i == n - 1;
            const double hours = m_days[i].second;
            const qreal x = i * (colW + gap);
            const qreal h = std::max(3.0, hours / peak * 64.0);
            const QRectF bar(x, 15 + 64 - h, colW, h); // the bar fills its column
            QLinearGradient fill(bar.topLeft(), bar.bottomLeft());
            fill.setColorAt(0, today ? SettingsStyle::accent() : GlassPainter::white(0.3));
            fill.setColorAt(1, today ? ember : GlassPainter::white(0.18));
            p.setOpacity(hours > 0 ? 1.0 : 0.25);
            p.fillPath(GlassPainter::continuousRoundedRect(bar, 3), fill);
            p.setOpacity(1.0);
            p.setFont(PopoverStyle::monospacedFont(9));
            p.setPen(today ? SettingsStyle::accent() : GlassPainter::white(0.45));
            if (hours >= 0.05)
                p.drawText(QRectF(x, bar.top() - 15, colW, 10), Qt::AlignCenter,
                           QString::asprintf("%.1f", hours));
            p.setFont(PopoverStyle::systemFont(9, QFont::Bold));
            p.setPen(today ? SettingsStyle::accent() : GlassPainter::white(0.3));
            p.drawText(QRectF(x, 15 + 64 + 5, colW, 12), Qt::AlignCenter,
                       SettingsText::weekdayLetter(m_days[i].first));
        }
    }

private:
    QList<QPair<QString, double>> m_days;
};

// The month in one shareable card on a warm gradient.
class WrappedCard : public QWidget {
public:
    WrappedCard(int score, double hours, const QDate& month)
        : m_score(score), m_hours(hours), m_month(month) {
        setFixedHeight(160);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF r = rect();
        QLinearGradient g(r.topLeft(), r.bottomRight());
        g.setColorAt(0, GlassPainter::srgb(1.0, 0.62, 0.2));
        g.setColorAt(0.5, GlassPainter::srgb(0.85, 0.3, 0.1));
        g.setColorAt(1, GlassPainter::srgb(0.12, 0.07, 0.18));
        p.fillPath(GlassPainter::continuousRoundedRect(r, 16), g);
        auto text = [&](const QString& s, int size, QFont::Weight w, const QColor& c, qreal y,
                        qreal tracking = 0) {
            QFont f = PopoverStyle::systemFont(size, w);
            f.setLetterSpacing(QFont::AbsoluteSpacing, tracking);
            p.setFont(f);
            p.setPen(c);
            p.drawText(QRectF(20, y, r.width() - 40, size * 1.6), Qt::AlignLeft | Qt::AlignVCenter,
                       s);
        };
        text(SettingsText::wrappedTitle(m_month), 10, QFont::Bold, GlassPainter::white(0.75), 20,
             1.2);
        text(QStringLiteral("My Screen Health Score: %1").arg(m_score), 22, QFont::Black, Qt::white,
             44);
        text(SettingsText::wrappedHoursLine(m_hours), 13, QFont::Medium, GlassPainter::white(0.9),
             88);
        QFont mark = PopoverStyle::systemFont(9, QFont::Bold);
        mark.setLetterSpacing(QFont::AbsoluteSpacing, 2);
        p.setFont(mark);
        p.setPen(GlassPainter::white(0.55));
        p.drawText(r.adjusted(12, 12, -12, -12), Qt::AlignRight | Qt::AlignBottom,
                   QStringLiteral("HALCYRA"));
    }

private:
    int m_score;
    double m_hours;
    QDate m_month;
};

QWidget* divider() {
    auto* line = new QWidget;
    line->setFixedSize(1, 40);
    line->setAutoFillBackground(true);
    QPalette pal = line->palette();
    pal.setColor(QPalette::Window, GlassPainter::white(0.06));
    line->setPalette(pal);
    return line;
}

// A glass card of a leading badge, a title over a caption, and an optional trailing part.
GlassCard* infoCard(QWidget* leading, const QString& title, const QString& caption,
                    QWidget* trailing = nullptr, int spacing = 14, int leadingOverhang = 0) {
    auto* card = new GlassCard;
    auto* row = new QHBoxLayout;
    // A leading part that draws beyond its frame stands that far into the card's padding
    // and the spacing, so the frame sits where it would without the overhang.
    row->setSpacing(spacing - leadingOverhang);
    if (leadingOverhang > 0)
        card->column()->setContentsMargins(16 - leadingOverhang, 16 - leadingOverhang, 16,
                                           16 - leadingOverhang);
    row->addWidget(leading);
    // Title and caption stay together, centred beside a leading part taller than they are.
    auto* text = new QVBoxLayout;
    text->setSpacing(3);
    text->addStretch(1);
    text->addWidget(SettingsStyle::label(title, 13, QFont::DemiBold, GlassPainter::white(1)));
    text->addWidget(SettingsStyle::wrapping(caption, 11, GlassPainter::white(0.6)));
    text->addStretch(1);
    row->addLayout(text, 1);
    if (trailing) row->addWidget(trailing);
    card->column()->addLayout(row);
    return card;
}

QWidget* icon(const char* symbol) {
    return new IconCircle(QString::fromLatin1(symbol), SettingsStyle::accent());
}

QWidget* trendBadge(const std::optional<QString>& trend) {
    if (!trend) return nullptr;
    QString symbol;
    QColor colour = GlassPainter::white(0.5);
    if (*trend == QLatin1String("warmer")) {
        symbol = QStringLiteral("arrow.down.right");
        colour = goodGreen;
    } else if (*trend == QLatin1String("cooler")) {
        symbol = QStringLiteral("arrow.up.right");
    } else if (*trend == QLatin1String("steady")) {
        symbol = QStringLiteral("minus");
    } else {
        return nullptr;
    }
    auto* badge = new QWidget;
    auto* row = new QHBoxLayout(badge);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(3);
    row->addWidget(new SymbolWidget(symbol, 9, colour));
    row->addWidget(SettingsStyle::label(*trend, 10, QFont::DemiBold, colour));
    return badge;
}

void clear(QWidget* holder) {
    delete holder->layout();
    qDeleteAll(holder->findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
}

QVBoxLayout* column(QWidget* holder) {
    auto* c = new QVBoxLayout(holder);
    c->setContentsMargins(0, 0, 0, 0);
    c->setSpacing(16);
    return c;
}

class InsightsPage : public SettingsPage {
public:
    explicit InsightsPage(SettingsView& view) : m_vm(view.viewModel()) {
        auto* column = new QVBoxLayout(this);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(16);
        auto* header = new QVBoxLayout;
        header->setSpacing(4);
        header->addWidget(SettingsStyle::sectionTitle(QStringLiteral("Insights")));
        header->addWidget(SettingsStyle::label(
            QStringLiteral("Tracked entirely on this computer — nothing leaves your device."), 12,
            QFont::Normal, GlassPainter::white(0.5)));
        column->addLayout(header);
        m_body = new QWidget;
        column->addWidget(m_body);

        // Today's rhythm is built once: the ring keeps its own minute refresh, which
        // runs while the window is seen.
        auto* rhythm = new GlassCard;
        rhythm->column()->setSpacing(8);
        rhythm->column()->addWidget(SettingsStyle::label(QStringLiteral("Today's Rhythm"), 13,
                                                         QFont::DemiBold, GlassPainter::white(1)));
        m_ring = new CircadianRingView(m_vm.windowVisible());
        // The ring fills a 180-point frame; its hour labels stand just outside it.
        m_ring->setFixedHeight(180 + 2 * int(CircadianRingView::labelMargin));
        rhythm->column()->addWidget(m_ring);
        column->addWidget(rhythm);
        connect(&m_vm, &ScheduleSettingsModel::windowVisibleChanged, m_ring,
                &CircadianRingView::setWindowVisible);

        m_tail = new QWidget;
        column->addWidget(m_tail);
    }

    CircadianRingView* ring() const { return m_ring; }

    void refresh() override {
        const QDateTime now = QDateTime::currentDateTime();
        const InsightsStore& store = InsightsStore::shared();
        const QList<DailyInsight> week = store.lastDays(7, now);
        const QList<DailyInsight> month = store.monthDays(now);
        // Every figure comes from these records, today's date and the month's trend:
        // while they stand, the cards built last time are still right.
        const QByteArray inputs = InsightsLogic::encode(week) + InsightsLogic::encode(month) +
                                  now.date().toString(Qt::ISODate).toUtf8() +
                                  store.kelvinTrendThisMonth(now).value_or(QString()).toUtf8();
        if (inputs == m_shownInputs) return;
        m_shownInputs = inputs;

        clear(m_body);
        clear(m_tail);
        m_tail->hide(); // the wrapped card comes with a score
        QVBoxLayout* column = ::column(m_body);
        const auto score = InsightsLogic::screenHealthScore(week);
        if (!score) {
            column->addWidget(infoCard(
                icon("moon.stars.fill"), QStringLiteral("Your insights are warming up"),
                QStringLiteral("Halcyra tracks screen health as it protects you — all on this "
                               "computer. Check back after your first evening.")));
            return;
        }
        column->addWidget(infoCard(new ScoreGauge(*score), QStringLiteral("Screen Health Score"),
                                   QStringLiteral("Hours protected, nightly consistency, and "
                                                  "schedule adherence over your last 7 days."),
                                   nullptr, 16, ScoreGauge::overhang));

        const auto days = store.dailyHoursLast7(now);
        double total = 0;
        for (const auto& d : days)
            total += d.second;
        auto* bars = new GlassCard;
        bars->column()->setSpacing(12);
        auto* head = new QHBoxLayout;
        head->addWidget(SettingsStyle::label(QStringLiteral("Last 7 Days"), 13, QFont::DemiBold,
                                             GlassPainter::white(1)));
        head->addStretch(1);
        QLabel* protectedTotal =
            SettingsStyle::label(SettingsText::hoursString(total) + QStringLiteral(" protected"),
                                 11, QFont::Medium, GlassPainter::white(0.4));
        protectedTotal->setFont(PopoverStyle::monospacedFont(11));
        head->addWidget(protectedTotal);
        bars->column()->addLayout(head);
        bars->column()->addWidget(new WeekBars(days));
        column->addWidget(bars);

        auto sumHours = [](const QList<DailyInsight>& list) {
            double s = 0;
            for (const DailyInsight& d : list)
                s += d.protectedSeconds;
            return s / 3600.0;
        };
        auto* totals = new GlassCard;
        auto* pills = new QHBoxLayout;
        pills->setSpacing(8);
        pills->addWidget(
            statPill(SettingsText::hoursString(store.record(now).protectedSeconds / 3600.0),
                     QStringLiteral("today"), QStringLiteral("sun.max.fill")),
            1);
        pills->addWidget(divider());
        pills->addWidget(statPill(SettingsText::hoursString(sumHours(week)),
                                  QStringLiteral("this week"), QStringLiteral("calendar")),
                         1);
        pills->addWidget(divider());
        const double monthHours = sumHours(month);
        pills->addWidget(statPill(SettingsText::hoursString(monthHours),
                                  QStringLiteral("this month"), QStringLiteral("chart.bar.fill")),
                         1);
        totals->column()->addLayout(pills);
        column->addWidget(totals);

        if (const auto avg = InsightsLogic::averageKelvin(month))
            column->addWidget(infoCard(icon("thermometer.sun.fill"),
                                       SettingsText::kelvinFigure(*avg).chopped(1) +
                                           QStringLiteral("K average this month"),
                                       ScheduleCurve::bandLabel(*avg),
                                       trendBadge(store.kelvinTrendThisMonth(now))));
        if (const auto preset = InsightsLogic::mostUsedPreset(month))
            column->addWidget(
                infoCard(icon("square.grid.2x2"), QStringLiteral("Most-used preset"), *preset));
        ::column(m_tail)->addWidget(new WrappedCard(*score, monthHours, now.date()));
        m_tail->show();
    }

private:
    SettingsViewModel& m_vm;
    QWidget* m_body;
    CircadianRingView* m_ring;
    QWidget* m_tail;
    QByteArray m_shownInputs;
};

} // namespace

SettingsPage* makeInsightsPage(SettingsView& view) {
    return new InsightsPage(view);
}
