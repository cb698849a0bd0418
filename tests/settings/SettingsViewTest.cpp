#include "../popover/CueRecorder.h"
#include "support/LocalHttpServer.h"
#include "support/ModuleHttpClient.h"
#include "support/TestStore.h"

#include "core/NotificationCenter.h"
#include "core/Preferences.h"
#include "insights/InsightsLogic.h"
#include "insights/ScheduleViewLogic.h"
#include "popover/GlassPainter.h"
#include "popover/PopoverStyle.h"
#include "popover/ToggleSwitch.h"
#include "settings/CircadianRingView.h"
#include "settings/FunFactCard.h"
#include "settings/SchedulingTabView.h"
#include "settings/SettingsView.h"
#include "settings/SettingsViewModel.h"
#include "settings/SettingsWindowController.h"
#include "settings/TestimonialCard.h"
#include "settings/TestimonialRequest.h"
#include "support/WidgetInput.h"
#include "warmth/SchedulePoint.h"
#include "warmth/SunsetScheduler.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QVariantAnimation>
#include <gtest/gtest.h>

namespace {

struct Window {
    explicit Window(const std::function<void(UserDefaults&)>& seed = {}) {
        if (seed) seed(store.defaults());
        controller = std::make_unique<SettingsWindowController>(
            std::make_unique<SettingsViewModel>(*cues.engine));
        controller->settingsVM().onPresetApplied = [this] { ++presetApplied; };
        controller->showSettings();
    }
    SettingsViewModel& vm() { return controller->settingsVM(); }
    SettingsView& view() { return *controller->view(); }
    ToggleSwitch* switchNamed(const QString& name) {
        for (ToggleSwitch* s : controller->window()->findChildren<ToggleSwitch*>())
            if (s->accessibleName() == name && s->isVisible()) return s;
        return nullptr;
    }
    QImage render() {
        QApplication::processEvents();
        return controller->window()->grab().toImage();
    }

    TestStore store;
    CueRecorder cues;
    std::unique_ptr<SettingsWindowController> controller;
    int presetApplied = 0;
};

void click(QWidget* w) {
    clickCentre(w);
}

void save(const QImage& image, const QString& name) {
    QDir().mkpath(QStringLiteral(HALCYRA_TEST_ARTIFACTS));
    EXPECT_TRUE(image.save(QStringLiteral(HALCYRA_TEST_ARTIFACTS "/") + name));
}

// The whole page as it scrolls, on the window's dark backdrop.
void savePage(QWidget* page, const QString& name) {
    QApplication::processEvents();
    QImage whole(page->size() * 2, QImage::Format_ARGB32_Premultiplied);
    whole.setDevicePixelRatio(2);
    whole.fill(QColor(38, 36, 40));
    page->render(&whole, QPoint(), QRegion(), QWidget::DrawChildren);
    save(whole, QStringLiteral("settings-%1-page.png").arg(name));
}

} // namespace

// A week of records ending today, for the insight store's first (process-wide) load.
void seedWeek(UserDefaults& d) {
    QList<DailyInsight> days;
    const double hours[7] = {2.5, 4, 0, 6, 3, 5.5, 1.2};
    for (int i = 0; i < 7; ++i) {
        DailyInsight r = DailyInsight::zero(
            QDate::currentDate().addDays(i - 6).toString(QStringLiteral("yyyy-MM-dd")));
        r.protectedSeconds = hours[i] * 3600;
        r.scheduledSeconds = r.protectedSeconds;
        r.kelvinSum = 3180.7 * 10;
        r.kelvinSamples = 10;
        r.brightnessSum = 0.29 * 10;
        r.brightnessSamples = 10;
        r.presetCounts.insert(QStringLiteral("Reading"), 3);
        days << r;
    }
    d.setData(PrefKey::insightsDailyRecords, InsightsLogic::encode(days));
    d.setBool(PrefKey::enabled, true);
    d.setDouble(PrefKey::temperature, 2800);
}

TEST(SettingsView, EachSectionRendersAtTheWindowSize) {
    Window w(seedWeek);
    w.store.defaults().setBool(PrefKey::safeMode, true);
    for (SettingsSection s :
         {SettingsSection::home, SettingsSection::display, SettingsSection::scheduling,
          SettingsSection::insights, SettingsSection::settings}) {
        w.view().selectSection(s);
        waitUntil([] { return false; }, 400); // the home header's entrance
        const QImage image = w.render();
        EXPECT_EQ(image.size() / image.devicePixelRatio(), QSize(724, 520));
        save(image, QStringLiteral("settings-%1.png").arg(SettingsSections::title(s).toLower()));
        savePage(w.view().page(s), SettingsSections::title(s).toLower());
        // The selected row of the sidebar carries the accent's tint.
        const QPoint row = w.view().sidebarItem(s)->mapTo(w.controller->window(), QPoint(4, 15));
        const QColor c = image.pixelColor(row * image.devicePixelRatio());
        EXPECT_GT(c.red(), c.blue() + 20) << SettingsSections::title(s).toStdString();
    }

    // Insights: the gauge's stroke is centred on its 84-point frame's circle (radius 42,
    // so it reaches 45), the frame alone is laid out, and each day's bar fills its column.
    w.view().selectSection(SettingsSection::insights);
    QWidget* insights = w.view().page(SettingsSection::insights);
    QWidget* gauge = insights->findChild<QWidget*>(QStringLiteral("scoreGauge"));
    QWidget* bars = insights->findChild<QWidget*>(QStringLiteral("weekBars"));
    ASSERT_TRUE(gauge && bars);
    auto paint = [](QWidget* widget) {
        QImage image(widget->size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        widget->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        return image;
    };
    const QImage ring = paint(gauge);
    ASSERT_EQ(ring.size(), QSize(90, 90));
    EXPECT_GT(qAlpha(ring.pixel(45, 1)), 0) << "the stroke does not reach radius 45";
    EXPECT_EQ(qAlpha(ring.pixel(45, 12)), 0) << "the stroke stands inside radius 36";
    EXPECT_EQ(gauge->parentWidget()->height(), 84 + 2 * 16);
    EXPECT_EQ(gauge->x(), 16 - 3);
    const QImage week = paint(bars);
    const double column = (bars->width() - 6 * 10) / 7.0, left = 3 * (column + 10);
    int filled = 0; // across the busiest day's bar, halfway up
    for (int x = 0; x < week.width(); ++x)
        filled += x >= left && x < left + column && qAlpha(week.pixel(x, 15 + 32)) > 0;
    EXPECT_GE(filled, int(column) - 1) << "columns of " << column;
    EXPECT_EQ(qAlpha(week.pixel(int(left) - 5, 15 + 32)), 0) << "no gap between the columns";
}

TEST(SettingsView, TheHomeScheduleLineWritesATimeOfDayAsTheScheduleViewsDo) {
    // Warm for a while from about ninety minutes on, cool now.
    const QTime now = QTime::currentTime();
    auto at = [&](int minutes) {
        const QTime t = now.addSecs(minutes * 60);
        return t.hour() + t.minute() / 60.0;
    };
    Window w([&](UserDefaults& d) {
        d.setBool(PrefKey::useSchedule, true);
        SchedulePoint::store({{QUuid::createUuid(), at(90), 6500},
                              {QUuid::createUuid(), at(150), 3000},
                              {QUuid::createUuid(), at(210), 6500},
                              {QUuid::createUuid(), at(720), 6500}},
                             Preferences(&d));
    });
    // A locale whose short time has seconds (C.UTF-8's does).
    const QLocale before;
    QLocale::setDefault(QLocale::c());
    w.view().selectSection(SettingsSection::display);
    w.view().selectSection(SettingsSection::home);
    QLocale::setDefault(before);
    QString line;
    for (QLabel* label : w.view().page(SettingsSection::home)->findChildren<QLabel*>())
        if (label->text().startsWith(QStringLiteral("Warming begins at "))) line = label->text();
    const auto onset = SunsetScheduler::shared().nextWarmOnset(QDateTime::currentDateTime(), 86400);
    ASSERT_TRUE(onset);
    EXPECT_EQ(line, QStringLiteral("Warming begins at ") +
                        ScheduleViewLogic::clockString(onset->time().hour() +
                                                       onset->time().minute() / 60.0));
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("at \\d{1,2}:\\d\\d [AP]M$")).match(line).hasMatch())
        << line.toStdString();
}

TEST(SettingsView, AFailedUpdateCheckIsSaidWholeInTheSidebarAndOnTheGeneralPage) {
    Window w;
    w.view().selectSection(SettingsSection::settings);
    w.vm().setUpdateCheckStatus(SettingsViewModel::UpdateCheckStatus::failed);
    // A new width climbs one layout per turn of the loop.
    for (int turn = 0; turn < 4; ++turn)
        QApplication::processEvents();
    int shown = 0;
    for (QLabel* label : w.controller->window()->findChildren<QLabel*>()) {
        if (label->text() != QStringLiteral("Couldn't check for updates") || !label->isVisible())
            continue;
        ++shown;
        // Its whole width is inside every widget around it (a scrolled page may be taller
        // than its view, never wider).
        EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()));
        for (QWidget* w = label; w->parentWidget(); w = w->parentWidget()) {
            const QRect g = w->geometry();
            EXPECT_TRUE(g.left() >= 0 && g.right() < w->parentWidget()->width())
                << w->parentWidget()->metaObject()->className() << " cuts it";
        }
    }
    EXPECT_EQ(shown, 2);
}

TEST(SettingsView, TheSectionNotificationAndTheSidebarOpenSectionsAtTheirTop) {
    Window w;
    w.view().selectSection(SettingsSection::settings);
    QScrollBar* bar = w.view().scrollArea()->verticalScrollBar();
    bar->setValue(bar->maximum());
    ASSERT_GT(bar->value(), 0);
    auto post = [](const QVariantMap& info) {
        NotificationCenter::defaultCenter().post(setSettingsSectionNotification, nullptr, info);
    };
    post({{"section", "Keyboard"}});
    EXPECT_EQ(w.view().selectedSection(), SettingsSection::keyboard);
    post({{"section", "keyboard"}});
    post({{"section", 3}});
    post({});
    EXPECT_EQ(w.view().selectedSection(), SettingsSection::keyboard);
    click(w.view().sidebarItem(SettingsSection::settings));
    EXPECT_EQ(w.view().selectedSection(), SettingsSection::settings);
    EXPECT_EQ(bar->value(), 0);
}

TEST(SettingsView, OneWindowThatHidesOnCloseAndReportsItsVisibility) {
    Window w;
    QWidget* window = w.controller->window();
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->isVisible());
    w.view().selectSection(SettingsSection::display);
    w.vm().closeWindow();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(waitUntil([&] { return !w.vm().windowVisible(); }));

    // An outside change while hidden shows in the next opening, on the same section.
    w.store.defaults().setBool(PrefKey::flickerFree, true);
    w.controller->showSettings();
    EXPECT_EQ(w.controller->window(), window);
    EXPECT_TRUE(w.vm().windowVisible());
    EXPECT_EQ(w.view().selectedSection(), SettingsSection::display);
    EXPECT_TRUE(w.switchNamed("Flicker-Free Mode")->isChecked());

    // A section chosen while the window is hidden only selects, and the next opening
    // shows that page alone.
    auto shownPages = [](SettingsView& view) {
        QList<SettingsSection> shown;
        for (SettingsSection s : SettingsSections::all)
            if (view.page(s) && view.page(s)->isVisible()) shown << s;
        return shown;
    };
    w.vm().closeWindow();
    NotificationCenter::defaultCenter().post(setSettingsSectionNotification, nullptr,
                                             {{"section", "Keyboard"}});
    EXPECT_FALSE(window->isVisible());
    w.controller->showSettings();
    EXPECT_EQ(shownPages(w.view()), QList{SettingsSection::keyboard});
    // The same for a fresh window opened on a section.
    SettingsWindowController fresh(std::make_unique<SettingsViewModel>(*w.cues.engine));
    fresh.showSettings(SettingsSection::insights);
    EXPECT_EQ(shownPages(*fresh.view()), QList{SettingsSection::insights});

    // Esc reaches the window's shortcut before any control of it.
    window->activateWindow();
    if (waitUntil([&] { return window->isActiveWindow(); }, 1000)) {
        QKeyEvent esc(QEvent::ShortcutOverride, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(w.view().sidebar(), &esc);
        QKeyEvent key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(QApplication::focusWidget() ? QApplication::focusWidget() : window,
                                &key);
        EXPECT_FALSE(window->isVisible());
    }
}

TEST(SettingsView, AFlippedSwitchWritesOnceSoundsOnceAndFollowsOutsideChanges) {
    Window w;
    w.view().selectSection(SettingsSection::display);
    ToggleSwitch* flicker = w.switchNamed("Flicker-Free Mode");
    ToggleSwitch* dimming = w.switchNamed("Ambient Dimming");
    ASSERT_TRUE(flicker && dimming);
    EXPECT_FALSE(dimming->isEnabled()); // waits for flicker-free mode
    click(flicker);
    EXPECT_EQ(w.store.defaults().boolValue(PrefKey::flickerFree), true);
    EXPECT_EQ(w.presetApplied, 1);
    EXPECT_EQ(w.cues.played, QList<SoundCue>{SoundCue::toggleOn});
    EXPECT_TRUE(dimming->isEnabled());

    w.store.defaults().setBool(PrefKey::flickerFree, false);
    EXPECT_FALSE(flicker->isChecked());
    EXPECT_EQ(w.cues.played.size(), 1);
    EXPECT_EQ(w.presetApplied, 1);
}

TEST(SettingsView, HomeShowsTheTintAndBothTestimonialBoxesShareOneState) {
    Window w;
    auto texts = [&](SettingsSection s) {
        QStringList out;
        for (QLabel* l : w.view().page(s)->findChildren<QLabel*>())
            if (l->isVisibleTo(w.view().page(s))) out << l->text();
        return out;
    };
    w.store.defaults().setBool(PrefKey::enabled, false);
    w.view().selectSection(SettingsSection::home);
    EXPECT_TRUE(texts(SettingsSection::home).contains("Off"));
    EXPECT_TRUE(texts(SettingsSection::home).contains("Warmth is currently off"));
    w.store.defaults().setBool(PrefKey::enabled, true);
    w.store.defaults().setDouble(PrefKey::intensity, 4.0);
    w.store.defaults().setDouble(PrefKey::temperature, 2699.9);
    w.view().selectSection(SettingsSection::display);
    w.view().selectSection(SettingsSection::home);
    EXPECT_TRUE(texts(SettingsSection::home).contains("2699K"));
    EXPECT_TRUE(texts(SettingsSection::home).contains("Deep warmth"));

    // Opened and typed into on the home page, the general page's box shows the same.
    auto* home = w.view().page(SettingsSection::home)->findChild<TestimonialCard*>();
    ASSERT_TRUE(home);
    EXPECT_EQ(home->face(), TestimonialCard::Face::invitation);
    // Opening eases the card to the editor's height in 0.2 s, the editor fading in; so
    // does cancelling, back to the invitation.
    auto easedHalfway = [&](TestimonialCard* card, const std::function<void()>& change) {
        QApplication::processEvents();
        const int from = card->height();
        change();
        QVariantAnimation* ease = card->faceAnimation();
        EXPECT_EQ(ease->state(), QAbstractAnimation::Running);
        EXPECT_EQ(ease->duration(), 200);
        EXPECT_EQ(ease->easingCurve().type(), QEasingCurve::OutQuad);
        ease->pause();
        ease->setCurrentTime(100);
        const int halfway = card->height();
        ease->setCurrentTime(200);
        QApplication::processEvents();
        const int to = card->height();
        EXPECT_NE(from, to);
        EXPECT_GT(halfway, std::min(from, to));
        EXPECT_LT(halfway, std::max(from, to));
        EXPECT_EQ(card->minimumHeight(), 0) << "the card keeps the height it eased to";
    };
    easedHalfway(home, [&] { w.vm().setShowTestimonialField(true); });
    home->editor()->setPlainText("Calm evenings");
    EXPECT_TRUE(home->submitButton()->isEnabled());
    w.view().selectSection(SettingsSection::settings);
    auto* general = w.view().page(SettingsSection::settings)->findChild<TestimonialCard*>();
    ASSERT_TRUE(general);
    EXPECT_EQ(general->face(), TestimonialCard::Face::editor);
    EXPECT_EQ(general->editor()->toPlainText(), "Calm evenings");
    easedHalfway(general, [&] { w.vm().cancelTestimonial(); });
    EXPECT_EQ(home->face(), TestimonialCard::Face::invitation);
    EXPECT_TRUE(home->editor()->toPlainText().isEmpty());

    // Each visit of home shows the next fact.
    auto* fact = w.view().page(SettingsSection::home)->findChild<FunFactCard*>();
    ASSERT_TRUE(fact);
    const QList<CircadianFact>& facts = CircadianFact::allFacts();
    const int before = w.view().factIndex;
    w.view().selectSection(SettingsSection::home);
    EXPECT_EQ(fact->fact().title, facts[(before + 1) % facts.size()].title);
}

TEST(SettingsView, TheSettingsCardsWearThePlainGlassOfTheSchedulingCards) {
    Window w;
    auto* glass = w.view().page(SettingsSection::home)->findChild<GlassCard*>();
    ASSERT_TRUE(glass);
    // The card alone, and the material every scheduling card is made of, on one backdrop,
    // low in the card where the sheen has faded: no darker veil over the settings cards.
    const QColor backdrop(38, 36, 40);
    QImage card(glass->size(), QImage::Format_ARGB32_Premultiplied);
    card.fill(backdrop);
    glass->render(&card, QPoint(), QRegion(), QWidget::RenderFlags());
    QImage material(glass->size(), QImage::Format_ARGB32_Premultiplied);
    material.fill(backdrop);
    {
        QPainter p(&material);
        p.setRenderHint(QPainter::Antialiasing);
        GlassPainter::paintMaterial(
            p, GlassPainter::continuousRoundedRect(QRectF(material.rect()), 12),
            SettingsStyle::backdropOf(glass));
    }
    const QPoint at(glass->width() / 2, glass->height() * 4 / 5);
    const QColor a = card.pixelColor(at), b = material.pixelColor(at);
    EXPECT_NEAR(a.red(), b.red(), 3) << a.name().toStdString() << " " << b.name().toStdString();
    EXPECT_NEAR(a.green(), b.green(), 3);
    EXPECT_NEAR(a.blue(), b.blue(), 3);
}

TEST(SettingsView, ASentTestimonialShowsATurningSpinnerBeforeSending) {
    Window w;
    useModuleHttpClient();
    LocalHttpServer server;
    server.answer = false; // in flight for as long as the test looks
    TestimonialRequest::setEndpointOverride(server.base().resolved(QUrl("/rest/v1/testimonials")),
                                            QString(208, 'k'));
    w.view().selectSection(SettingsSection::home);
    auto* card = w.view().page(SettingsSection::home)->findChild<TestimonialCard*>();
    ASSERT_TRUE(card);
    w.vm().setShowTestimonialField(true);
    card->editor()->setPlainText("Calm evenings");
    QAbstractButton* submit = card->submitButton();
    const int idleWidth = submit->sizeHint().width();
    w.vm().submitTestimonial();
    ASSERT_TRUE(w.vm().testimonialSubmitting());
    EXPECT_EQ(submit->text(), "Sending...");
    // Room for the 12-point spinner and its 4-point gap beside the text.
    const QFontMetrics fm(PopoverStyle::systemFont(11, QFont::DemiBold));
    EXPECT_EQ(submit->sizeHint().width() - idleWidth,
              fm.horizontalAdvance("Sending...") - fm.horizontalAdvance("Submit") + 16);
    waitUntil([] { return false; }, 100);
    const QRect spinner((submit->width() - submit->sizeHint().width()) / 2 + 14,
                        (submit->height() - 12) / 2, 12, 12);
    const QImage first = submit->grab(spinner).toImage();
    waitUntil([] { return false; }, 200);
    const QImage later = submit->grab(spinner).toImage();
    save(later, QStringLiteral("settings-testimonial-sending.png"));
    EXPECT_NE(first, later) << "the spinner does not turn";
    TestimonialRequest::setEndpointOverride({}, {});
}

TEST(SettingsView, TheSchedulingAndInsightsPagesFollowTheWindowsModel) {
    Window w;
    w.view().selectSection(SettingsSection::scheduling);
    auto* tab = w.view().page(SettingsSection::scheduling)->findChild<SchedulingTabView*>();
    ASSERT_TRUE(tab);
    w.store.defaults().setBool(PrefKey::autoSunset, true);
    EXPECT_TRUE(tab->sunSwitch()->isChecked());
    tab->customSwitch()->click();
    EXPECT_TRUE(w.vm().value(SettingsViewModel::Toggle::useSchedule));
    EXPECT_FALSE(w.vm().value(SettingsViewModel::Toggle::autoSunset));
    EXPECT_EQ(w.cues.played, QList<SoundCue>{SoundCue::toggleOn});
    tab->setShowFineTuneCurve(true);
    waitUntil([] { return false; }, 400); // the switch's slide
    savePage(w.view().page(SettingsSection::scheduling), QStringLiteral("scheduling-custom"));
    tab->setShowFineTuneCurve(true);
    waitUntil([] { return false; }, 400); // the switch's slide
    savePage(w.view().page(SettingsSection::scheduling), QStringLiteral("scheduling-custom"));
    // The open panel outlives closing the window, not leaving the section: coming back
    // builds the section afresh, with the panel closed.
    w.vm().closeWindow();
    w.controller->showSettings();
    EXPECT_TRUE(tab->showFineTuneCurve());
    w.view().selectSection(SettingsSection::display);
    w.view().selectSection(SettingsSection::scheduling);
    EXPECT_FALSE(tab->showFineTuneCurve());

    // Today's ring stands on the insights page even before any record exists, and
    // rests while the window is hidden.
    w.view().selectSection(SettingsSection::insights);
    auto* ring = w.view().page(SettingsSection::insights)->findChild<CircadianRingView*>();
    ASSERT_TRUE(ring);
    EXPECT_TRUE(ring->isVisibleTo(w.controller->window()));
    // The ring fills its 180-point frame (radius 180 / 2 − 2), the labels outside it.
    EXPECT_DOUBLE_EQ(ring->ringArea().height(), 180);
    EXPECT_DOUBLE_EQ(ring->ringRadius(), 88);
    w.vm().closeWindow();
    EXPECT_TRUE(waitUntil([&] { return !ring->isWindowVisible(); }));
}
