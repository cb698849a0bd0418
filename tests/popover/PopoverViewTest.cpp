#include "CueRecorder.h"
#include "support/TestStore.h"

#include "brightness/BrightnessKeyInterceptor.h"
#include "core/FrameTimer.h"
#include "core/NotificationCenter.h"
#include "core/NotificationNames.h"
#include "core/Preferences.h"
#include "platform/Platform.h"
#include "platform/simulated/SimulatedDisplayGamma.h"
#include "popover/FeedbackBoxView.h"
#include "popover/FeedbackRequest.h"
#include "popover/GradientNativeSlider.h"
#include "popover/PopoverChrome.h"
#include "popover/PopoverView.h"
#include "popover/PopoverViewModel.h"
#include "popover/PresetRow.h"
#include "popover/ToggleSwitch.h"
#include "support/WidgetInput.h"
#include "warmth/OverlayWindowController.h"
#include "warmth/PresetManager.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QTextLayout>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace {

void press(QWidget* w, QPointF pos) {
    sendMouse(w, QEvent::MouseButtonPress, pos, Qt::LeftButton);
}
void drag(QWidget* w, QPointF pos) {
    sendMouse(w, QEvent::MouseMove, pos, Qt::LeftButton);
}
void hover(QWidget* w, QPointF pos) {
    sendMouse(w, QEvent::MouseMove, pos);
}
void release(QWidget* w, QPointF pos) {
    sendMouse(w, QEvent::MouseButtonRelease, pos);
}

PresetChip chip(const QString& id, double kelvin) {
    return PresetChip{id, id.toUpper(), kelvin, {Qt::red, Qt::yellow}};
}

// A popover over a fresh store with counted cues and a hand-stepped warmth ramp.
struct ViewRig {
    ViewRig() {
        store.defaults().setBool(PrefKey::enabled, true);
        store.defaults().setDouble(PrefKey::temperature, 3400);
        store.defaults().setDouble(PrefKey::brightness, 0.8);
        auto timer = std::make_unique<ManualFrameTimer>();
        frames = timer.get();
        BrightnessKeyInterceptor::shared().warmthRamp().setFrameTimer(std::move(timer));
        model = std::make_unique<PopoverViewModel>(*cues.engine);
        view = std::make_unique<PopoverView>(
            *model, nullptr, [this](const QString& text, const QString& email) {
                return [this, text, email](FeedbackBoxView::Done done) {
                    sent << QStringList{text, email};
                    pending.append(done);
                };
            });
        view->show();
        QApplication::processEvents();
    }
    ~ViewRig() { BrightnessKeyInterceptor::shared().warmthRamp().cancel(); }

    TestStore store;
    CueRecorder cues;
    ManualFrameTimer* frames = nullptr;
    std::unique_ptr<PopoverViewModel> model;
    std::unique_ptr<PopoverView> view;
    QList<QStringList> sent;
    QList<std::function<void(bool)>> pending;
};

double blueTop(const std::vector<float>& blue) {
    return blue.empty() ? -1 : blue.back();
}

} // namespace

TEST(PopoverView, ReadoutsAndRoomWords) {
    EXPECT_EQ(PopoverView::warmthReadout(480), " 500K");
    EXPECT_EQ(PopoverView::warmthReadout(7000), "6500K");
    EXPECT_EQ(PopoverView::warmthReadout(3456.9), "3456K");
    EXPECT_EQ(PopoverView::brightnessReadout(0.1), "0%");
    EXPECT_EQ(PopoverView::brightnessReadout(1.0), "100%");
    EXPECT_EQ(PopoverView::brightnessReadout(0.55), "50%");
    EXPECT_EQ(PopoverView::brightnessReadout(0.05), "0%");
    EXPECT_EQ(PopoverView::brightnessReadout(1.3), "100%");
    EXPECT_EQ(PopoverView::roomWord(3500), "neutral");
    EXPECT_EQ(PopoverView::roomWord(5500), "neutral");
    EXPECT_EQ(PopoverView::roomWord(3499.9), "warm");
    EXPECT_EQ(PopoverView::roomWord(5500.1), "cool");
    EXPECT_EQ(PopoverView::roomLine(4200.7), "Room: 4200K (neutral)");
}

TEST(PopoverView, GradientSliderGeometry) {
    using C = GradientTrackControl;
    EXPECT_DOUBLE_EQ(C::thumbCentreX(200, 0), 9);
    EXPECT_DOUBLE_EQ(C::thumbCentreX(200, 1), 191);
    EXPECT_DOUBLE_EQ(C::thumbCentreX(200, -0.5), 9);
    EXPECT_DOUBLE_EQ(C::thumbCentreX(200, 1.5), 191);
    EXPECT_DOUBLE_EQ(C::filledWidth(200, -1), 6);
    EXPECT_DOUBLE_EQ(C::filledWidth(200, 0.01), 6);
    EXPECT_DOUBLE_EQ(C::filledWidth(200, 2), 200);
    EXPECT_DOUBLE_EQ(C::valueAtX(200, 100), 0.5);
    EXPECT_DOUBLE_EQ(C::valueAtX(200, -40), 0);

    GradientNativeSlider slider(QStringLiteral("Warmth"), PopoverView::warmthGradient());
    slider.show();
    EXPECT_FALSE(slider.readoutLabel()->isVisible()); // no read-out: the label alone
    slider.setDisplayValue(QStringLiteral("3400K"));
    EXPECT_TRUE(slider.readoutLabel()->isVisible());
    EXPECT_EQ(slider.control()->height(), 22);
    // An outside value out of range is kept for drawing and announces nothing.
    int edits = 0;
    QObject::connect(&slider, &GradientNativeSlider::valueEdited, [&](double) { ++edits; });
    slider.setValue(-0.2);
    EXPECT_DOUBLE_EQ(slider.control()->drawnValue(), -0.2);
    EXPECT_EQ(edits, 0);
}

TEST(PopoverView, GradientSliderFillsWithTheWholeGradientUnderAPlainThumb) {
    // Red to blue, half way: the filled part runs from red to blue within its own width,
    // and the thumb, centred at 100, is a disc with its shadow and nothing around it.
    GradientTrackControl control({Qt::red, Qt::blue});
    control.resize(200, 22);
    control.setDrawnValue(0.5);
    QImage img(control.size(), QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    control.render(&img, {}, {}, QWidget::DrawChildren);
    const QColor start = img.pixelColor(4, 11);
    const QColor nearEnd = img.pixelColor(86, 11);
    EXPECT_GT(start.red(), 220);
    EXPECT_LT(start.blue(), 40);
    EXPECT_GT(nearEnd.blue(), 180);
    EXPECT_LT(nearEnd.red(), 70);
    EXPECT_EQ(img.pixelColor(91, 2).alpha(), 0);        // no glow beyond the disc
    EXPECT_LT(img.pixelColor(100, 5).lightness(), 140); // frosted, not a lit white bead

    // The picture to look at: both popover sliders over the glass, four times life size.
    QImage out(QSize(240, 120) * 4, QImage::Format_ARGB32_Premultiplied);
    out.setDevicePixelRatio(4);
    QPainter p(&out);
    p.fillRect(QRect(0, 0, 240, 120), QColor(31, 31, 35));
    int row = 0;
    for (const auto& [colours, v] : {std::pair{PopoverView::warmthGradient(), 0.3},
                                     std::pair{PopoverView::warmthGradient(), 0.8},
                                     std::pair{PopoverView::brightnessGradient(), 0.55}}) {
        GradientTrackControl slider(colours);
        slider.resize(200, 22);
        slider.setDrawnValue(v);
        slider.render(&p, QPoint(20, 14 + 32 * row++), {}, QWidget::DrawChildren);
    }
    p.end();
    QDir().mkpath(QStringLiteral(HALCYRA_TEST_ARTIFACTS));
    EXPECT_TRUE(out.save(QStringLiteral(HALCYRA_TEST_ARTIFACTS "/gradient-slider.png")));
}

TEST(PopoverView, ChipsSortHottestFirstAndAreToldApartByPosition) {
    EXPECT_TRUE(PresetRow::ordered({}).isEmpty());
    const auto order =
        PresetRow::ordered({chip("a", 2700), chip("b", 4000), chip("c", 2700), chip("d", 6500)});
    QStringList ids;
    for (const PresetChip& c : order)
        ids << c.id;
    EXPECT_EQ(ids, (QStringList{"d", "b", "a", "c"}));

    CueRecorder cues;
    PresetRow row([&](SoundCue cue) { cues.engine->play(cue); });
    row.setPresets({});
    EXPECT_FALSE(row.isVisibleTo(nullptr));
    EXPECT_EQ(row.sizeHint().height(), 0);

    // The same preset pinned twice: two chips, each with its own hover and press.
    row.setPresets({chip("reading", 2700), chip("flow", 4000), chip("reading", 2700)});
    row.resize(280, 36);
    row.show();
    QList<int> activated;
    QObject::connect(&row, &PresetRow::chipActivated,
                     [&](int index, const PresetChip&) { activated << index; });
    hover(&row, row.chipRect(2).center());
    EXPECT_EQ(row.hoveredChip(), 2);
    cues.clock.advanceSeconds(1);
    hover(&row, row.chipRect(1).center());
    EXPECT_EQ(row.hoveredChip(), 1);
    EXPECT_EQ(cues.count(SoundCue::hover), 2);

    press(&row, row.chipRect(2).center());
    drag(&row, row.chipRect(2).center() + QPointF(3, 2));
    drag(&row, row.chipRect(1).center());
    EXPECT_EQ(row.pressedChip(), 2);
    release(&row, QPointF(400, 90)); // outside the row still applies
    EXPECT_EQ(activated, (QList<int>{2}));
    EXPECT_EQ(cues.count(SoundCue::pressDown), 1);
    EXPECT_EQ(cues.count(SoundCue::releaseUp), 1);
    EXPECT_FALSE(row.pressedChip().has_value());
}

TEST(PopoverView, DraggingTheWarmthSliderWritesTheSettingAndRetintsTheDisplays) {
    ViewRig rig;
    rig.store.defaults().setDouble(PrefKey::intensity, 4.0);
    Platform::setInstance(Platform::makeSimulated());
    SimulatedDisplayGamma* gamma = Platform::instance().simulatedDisplayGamma();
    ASSERT_NE(gamma, nullptr);
    const DisplayId display = gamma->onlineDisplays()->front();
    auto engine = std::make_unique<OverlayWindowController>(
        Clock::system(), [] { return std::make_unique<ManualFrameTimer>(); });
    rig.model->onUpdate = [&] { engine->updateOverlays(); };
    engine->updateOverlays();
    const double blueAt3400 = blueTop(gamma->display(display)->blue);

    GradientTrackControl* control = rig.view->warmthSlider()->control();
    const double w = control->width();
    press(control, QPointF(GradientTrackControl::thumbCentreX(w, rig.model->invertedTemp()), 11));
    EXPECT_TRUE(rig.model->userIsDragging);
    drag(control, QPointF(w * 0.8, 11));
    drag(control, QPointF(w * 0.9, 11));
    release(control, QPointF(w * 0.9, 11));
    EXPECT_FALSE(rig.model->userIsDragging);

    const double expected =
        PopoverViewModel::kelvinForPosition(GradientTrackControl::valueAtX(w, w * 0.9));
    EXPECT_LT(expected, 3400);
    EXPECT_DOUBLE_EQ(*rig.store.defaults().doubleValue(PrefKey::temperature), expected);
    EXPECT_EQ(rig.view->warmthSlider()->displayValue(), PopoverView::warmthReadout(expected));
    EXPECT_EQ(rig.cues.count(SoundCue::pressDown), 1);
    EXPECT_EQ(rig.cues.count(SoundCue::sliderRelease), 1);
    // Warmer means less blue in the tables of the (simulated) display.
    EXPECT_LT(blueTop(gamma->display(display)->blue), blueAt3400 - 0.05);

    // The brightness slider writes its own setting the same way.
    GradientTrackControl* dim = rig.view->brightnessSlider()->control();
    press(dim, QPointF(dim->width() / 2, 11));
    release(dim, QPointF(dim->width() / 2, 11));
    EXPECT_NEAR(*rig.store.defaults().doubleValue(PrefKey::brightness), 0.55, 1e-3);
    EXPECT_EQ(rig.view->brightnessSlider()->displayValue(), QStringLiteral("50%"));
    rig.model->onUpdate = nullptr;
}

TEST(PopoverView, ClickingAChipGlidesToThePreset) {
    ViewRig rig;
    rig.store.defaults().setStringArray(PrefKey::pinnedPresets, {"reading", "flow"});
    PresetRow* row = rig.view->presetRow();
    ASSERT_EQ(row->chips().size(), 2);
    const PresetChip target = row->chips().at(1); // the warmer one sits last
    EXPECT_LE(target.temperature, row->chips().at(0).temperature);

    press(row, row->chipRect(1).center());
    release(row, row->chipRect(1).center());
    EXPECT_TRUE(BrightnessKeyInterceptor::shared().warmthRamp().isDiscreteGlide());
    EXPECT_DOUBLE_EQ(rig.model->temperature(), target.temperature);
    // The stored warmth moves there frame by frame rather than jumping.
    rig.frames->fire();
    const double first = *rig.store.defaults().doubleValue(PrefKey::temperature);
    EXPECT_NE(first, target.temperature);
    EXPECT_GT(rig.frames->fireUntilStopped(), 5);
    EXPECT_DOUBLE_EQ(*rig.store.defaults().doubleValue(PrefKey::temperature), target.temperature);
    EXPECT_DOUBLE_EQ(*rig.store.defaults().doubleValue(PrefKey::intensity), 4.0);
    EXPECT_EQ(rig.view->warmthSlider()->displayValue(),
              PopoverView::warmthReadout(target.temperature));
}

TEST(PopoverView, ClosingMidGestureLeavesNothingHeld) {
    ViewRig rig;
    rig.store.defaults().setStringArray(PrefKey::pinnedPresets, {"reading", "flow"});

    // A slider held while the popover closes: the drag ends with it.
    GradientTrackControl* dim = rig.view->brightnessSlider()->control();
    press(dim, QPointF(dim->width() / 2, 11));
    ASSERT_TRUE(rig.model->userIsDragging);
    rig.view->hide();
    EXPECT_FALSE(rig.model->userIsDragging);
    EXPECT_EQ(rig.cues.count(SoundCue::sliderRelease), 1);
    // So a key change made while it is closed reaches the model.
    rig.store.defaults().setDouble(PrefKey::brightness, 0.3);
    NotificationCenter::defaultCenter().post(NotificationName::brightnessKeyChanged);
    EXPECT_DOUBLE_EQ(rig.model->brightness(), 0.3);

    // A chip held while it closes is not applied and not still held when it reopens.
    rig.view->show();
    PresetRow* row = rig.view->presetRow();
    const double before = rig.model->temperature();
    press(row, row->chipRect(0).center());
    rig.view->hide();
    EXPECT_FALSE(row->pressedChip());
    EXPECT_FALSE(row->hoveredChip());
    EXPECT_DOUBLE_EQ(rig.model->temperature(), before);
    rig.view->show();
    hover(row, row->chipRect(1).center());
    EXPECT_EQ(row->hoveredChip(), 1);
    press(row, row->chipRect(0).center());
    EXPECT_EQ(rig.cues.count(SoundCue::pressDown), 3); // slider, first chip, this one
    release(row, row->chipRect(0).center());
    EXPECT_DOUBLE_EQ(rig.model->temperature(), row->chips().at(0).temperature);
}

TEST(PopoverView, FeedbackBoxSendsTrimmedNotesAndRetiresAfterThree) {
    ViewRig rig;
    FeedbackBoxView* box = rig.view->feedbackBox();
    box->textField()->setText(QStringLiteral("  \n\t "));
    EXPECT_FALSE(box->sendButton()->isVisibleTo(box));
    EXPECT_FALSE(box->emailField()->isVisibleTo(box));
    emit box->textField()->returnPressed();
    EXPECT_TRUE(rig.sent.isEmpty());

    box->textField()->setText(QStringLiteral("  warmer please \n"));
    EXPECT_TRUE(waitUntil([&] { return box->sendButton()->isVisibleTo(box); }));
    box->emailField()->setText(QStringLiteral(" \n "));
    box->submitFeedback();
    box->submitFeedback(); // refused while the first is on its way
    ASSERT_EQ(rig.sent.size(), 1);
    EXPECT_EQ(rig.sent[0], (QStringList{"warmer please", ""}));
    EXPECT_EQ(box->feedbackState(), FeedbackBoxView::FeedbackState::sending);

    rig.pending.takeFirst()(false);
    EXPECT_EQ(box->feedbackState(), FeedbackBoxView::FeedbackState::failed);
    EXPECT_TRUE(waitUntil([&] { return box->failedLine()->isVisible(); }));
    EXPECT_EQ(box->feedbackText(), QStringLiteral("  warmer please \n"));

    for (int i = 0; i < 3; ++i) {
        box->textField()->setText(QStringLiteral("note %1").arg(i));
        box->emailField()->setText(QStringLiteral(" me@example.org "));
        box->submitFeedback();
        ASSERT_EQ(rig.pending.size(), 1);
        rig.pending.takeFirst()(true);
        EXPECT_EQ(box->feedbackState(), FeedbackBoxView::FeedbackState::sent);
        EXPECT_TRUE(box->feedbackText().isEmpty());
    }
    EXPECT_EQ(rig.sent.last(), (QStringList{"note 2", "me@example.org"}));
    EXPECT_EQ(box->feedbackCount(), 3);
    box->textField()->setText(QStringLiteral("a fourth"));
    box->submitFeedback();
    EXPECT_EQ(rig.sent.size(), 4);
    // The third confirmation still shows; once it goes, so does the box.
    EXPECT_TRUE(box->isVisible());
    EXPECT_TRUE(waitUntil([&] { return !box->isVisible(); }, 4000));
    EXPECT_EQ(box->feedbackState(), FeedbackBoxView::FeedbackState::idle);

    // With no usable service address the note never leaves and the box never stirs.
    FeedbackRequest::setBaseUrl(QUrl(QStringLiteral("http://example.org")));
    FeedbackBoxView real;
    QList<FeedbackBoxView::FeedbackState> states;
    QObject::connect(&real, &FeedbackBoxView::stateChanged, [&](auto s) { states << s; });
    real.textField()->setText(QStringLiteral("hello"));
    real.submitFeedback();
    EXPECT_TRUE(states.isEmpty());
    EXPECT_EQ(real.feedbackText(), QStringLiteral("hello"));
    FeedbackRequest::setBaseUrl(QUrl());
}

TEST(PopoverView, SlidersCatchUpOnOpeningWithMovesMadeWhileClosed) {
    ViewRig rig;
    PopoverView& view = *rig.view;
    view.hide();
    rig.model->setBrightness(0.55);
    rig.model->setTemperature(5000);
    view.show();
    EXPECT_EQ(view.brightnessSlider()->displayValue(), QStringLiteral("50%"));
    EXPECT_EQ(view.warmthSlider()->displayValue(), QStringLiteral("5000K"));
    rig.model->setBrightness(1.0); // open: at once
    EXPECT_EQ(view.brightnessSlider()->displayValue(), QStringLiteral("100%"));
}

TEST(PopoverView, BannerSwitchQuotesAndSettingsButton) {
    ViewRig rig;
    PopoverView& view = *rig.view;
    rig.model->setPausedByWatchdog(true);
    EXPECT_FALSE(view.pausedBanner()->isVisible()); // the tint is on
    rig.model->setEnabled(false);
    EXPECT_TRUE(rig.model->pausedByWatchdog());
    EXPECT_TRUE(view.pausedBanner()->isVisible());
    EXPECT_FALSE(view.enabledSwitch()->isChecked());

    view.enabledSwitch()->click();
    EXPECT_TRUE(rig.model->enabled());
    EXPECT_FALSE(view.pausedBanner()->isVisible());
    EXPECT_EQ(rig.cues.count(SoundCue::toggleOn), 1);

    // Room light: only with the setting on and a reading present.
    view.setAmbientReading(5800.2);
    EXPECT_FALSE(view.roomLightLine()->isVisible());
    rig.store.defaults().setBool(PrefKey::adaptToRoomLighting, true);
    EXPECT_TRUE(view.roomLightLine()->isVisible());
    EXPECT_TRUE(view.roomLightLine()->findChild<QLabel*>()->text().contains("5800K (cool)"));

    // The quotation moves only while the popover is on screen.
    view.setQuoteIndex(13);
    rig.model->setPopoverVisible(false);
    view.advanceQuote();
    EXPECT_EQ(view.quoteIndex(), 13);
    rig.model->setPopoverVisible(true);
    view.advanceQuote();
    EXPECT_EQ(view.quoteIndex(), 0);
    EXPECT_TRUE(waitUntil([&] { return view.quoteLabel()->text() == PopoverView::quotes()[0]; }));
    // Every quotation fits the footer's two lines.
    const QLabel* quote = view.quoteLabel();
    for (const QString& q : PopoverView::quotes()) {
        QTextLayout layout(q, quote->font());
        QTextOption wrap;
        wrap.setWrapMode(QTextOption::WordWrap);
        layout.setTextOption(wrap);
        layout.beginLayout();
        int lines = 0;
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(quote->width());
            ++lines;
        }
        layout.endLayout();
        EXPECT_LE(lines, 2) << q.toStdString();
    }

    int opened = 0;
    rig.model->onSettingsPressed = [&] { ++opened; };
    HoverLiftButton* gear = view.settingsButton();
    QEnterEvent enter(QPointF(3, 3), gear->mapToGlobal(QPointF(3, 3)),
                      gear->mapToGlobal(QPointF(3, 3)));
    QApplication::sendEvent(gear, &enter);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(gear, &leave);
    EXPECT_EQ(rig.cues.count(SoundCue::hover), 1); // on entry only
    gear->click();
    EXPECT_EQ(opened, 1);
}

TEST(PopoverView, RendersAsDarkGlass) {
    ViewRig rig;
    rig.store.defaults().setStringArray(PrefKey::pinnedPresets,
                                        {"energy", "flow", "reading", "evening", "deep-sleep"});
    rig.view->setQuoteIndex(0);
    QApplication::processEvents();
    ASSERT_EQ(rig.view->width(), 320);
    ASSERT_EQ(rig.view->backdrop(), GlassPainter::Backdrop::translucent);

    const QImage plain = rig.view->grab().toImage();
    // See-through outside the rounded corner, dark glass inside.
    EXPECT_EQ(qAlpha(plain.pixel(0, 0)), 0);
    const QColor inside = plain.pixelColor(plain.width() / 2, 6);
    EXPECT_GT(inside.alpha(), 150);
    EXPECT_LT(inside.lightness(), 70);
    // All over the card: glass without holes, dark under its bright bits.
    int holes = 0, dark = 0, samples = 0;
    for (int y = 12; y < plain.height() - 12; y += 5)
        for (int x = 12; x < plain.width() - 12; x += 5, ++samples) {
            const QColor c = plain.pixelColor(x, y);
            holes += c.alpha() < 150;
            dark += c.lightness() < 70;
        }
    EXPECT_EQ(holes, 0);
    EXPECT_GT(dark, samples * 3 / 4);

    // The picture a person sees: the popover over a colourful desktop, at rest and
    // with a chip hovered, a note typed and the room line on.
    rig.store.defaults().setBool(PrefKey::adaptToRoomLighting, true);
    auto shot = [&](const QString& name) {
        const QPixmap pm = rig.view->grab();
        QImage out(QSize(pm.width() + 80, pm.height() + 80) * 2, QImage::Format_ARGB32);
        out.setDevicePixelRatio(2);
        QPainter p(&out);
        QLinearGradient bg(0, 0, pm.width() + 80, pm.height() + 80);
        bg.setColorAt(0, QColor(38, 72, 128));
        bg.setColorAt(0.5, QColor(122, 62, 112));
        bg.setColorAt(1, QColor(226, 134, 62));
        p.fillRect(QRect(0, 0, pm.width() + 80, pm.height() + 80), bg);
        p.drawPixmap(40, 40, pm);
        p.end();
        QDir().mkpath(QStringLiteral(HALCYRA_TEST_ARTIFACTS));
        EXPECT_TRUE(out.save(QStringLiteral(HALCYRA_TEST_ARTIFACTS "/") + name));
    };
    shot(QStringLiteral("popover.png"));

    rig.view->setAmbientReading(4200.7);
    QLineEdit* note = rig.view->feedbackBox()->textField();
    note->setText(QStringLiteral("Love the warm evenings"));
    waitUntil([] { return false; }, 300); // let the fades finish
    const QImage resting = rig.view->grab().toImage();
    PresetRow* row = rig.view->presetRow();
    hover(row, row->chipRect(2).center());
    waitUntil([] { return false; }, 400); // and the lift
    shot(QStringLiteral("popover-active.png"));

    // The typed note reads white on the glass; the hovered chip has come forward.
    const QImage active = rig.view->grab().toImage();
    const QRect field(note->mapTo(rig.view.get(), QPoint()), note->size());
    int brightest = 0;
    for (int y = field.top(); y <= field.bottom(); ++y)
        for (int x = field.left(); x <= field.right(); ++x)
            brightest = std::max(brightest, active.pixelColor(x, y).lightness());
    EXPECT_GT(brightest, 200);
    const QPoint chipCentre = row->mapTo(rig.view.get(), row->chipRect(2).center().toPoint());
    EXPECT_NE(active.pixel(chipCentre), resting.pixel(chipCentre));
}

TEST(PopoverView, TheGlassCardIsRenderedOncePerSize) {
    ViewRig rig;
    rig.view->repaint();
    const int rendered = rig.view->cardRenders();
    EXPECT_GE(rendered, 1);
    // A slider moving under a key ramp repaints the card beneath it every frame.
    for (int i = 0; i < 10; ++i) {
        rig.view->brightnessSlider()->setValue(i / 10.0);
        rig.view->brightnessSlider()->control()->repaint();
    }
    EXPECT_EQ(rig.view->cardRenders(), rendered);
    // A shorter popover (the feedback box goes) needs a new one.
    const int height = rig.view->height();
    rig.model->setShowFeedbackBox(false);
    EXPECT_TRUE(waitUntil([&] { return rig.view->height() < height; }));
    rig.view->repaint();
    EXPECT_EQ(rig.view->cardRenders(), rendered + 1);
}

TEST(PopoverView, ClearsTheWindowThatHostsIt) {
    TestStore store;
    CueRecorder cues;
    PopoverViewModel model(*cues.engine);
    QWidget host(nullptr, Qt::Popup | Qt::FramelessWindowHint);
    auto* layout = new QVBoxLayout(&host);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* view = new PopoverView(model);
    layout->addWidget(view);
    EXPECT_TRUE(host.testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_EQ(view->backdrop(), GlassPainter::Backdrop::translucent);
    host.show();
    QApplication::processEvents();
    EXPECT_EQ(host.size(), view->size());
    const QImage shot = host.grab().toImage();
    EXPECT_EQ(qAlpha(shot.pixel(0, 0)), 0);
    EXPECT_GT(qAlpha(shot.pixel(shot.width() / 2, shot.height() / 2)), 150);

    // A window that already exists is left as it is: the card is then drawn opaque.
    QWidget shown;
    shown.show();
    auto* late = new PopoverView(model);
    late->setParent(&shown);
    EXPECT_FALSE(shown.testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_EQ(late->backdrop(), GlassPainter::Backdrop::opaque);
}
