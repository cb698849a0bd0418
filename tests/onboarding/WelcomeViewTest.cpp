#include "onboarding/WelcomeView.h"
#include "onboarding/OnboardingChrome.h"
#include "onboarding/OnboardingGlyphs.h"
#include "onboarding/OnboardingImages.h"
#include "onboarding/OnboardingSurveyWindowController.h"
#include "support/TestStore.h"

#include "core/Preferences.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(WelcomeView, EverySlideRendersWithItsCounterAndButton) {
    TestStore store;
    QDir().mkpath(QStringLiteral(HALCYRA_TEST_ARTIFACTS));
    const QString titles[] = {"Show me", "Continue", "Got it", "Next", "Continue", "Open Halcyra"};
    for (int slide = 0; slide < WelcomeView::slideCount; ++slide) {
        auto view = WelcomeView::snapshot(slide);
        EXPECT_EQ(view->primaryTitle(), titles[slide]);
        QImage image(view->size() * 2, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(2);
        image.fill(Qt::black);
        view->render(&image);
        EXPECT_TRUE(
            image.save(QStringLiteral(HALCYRA_TEST_ARTIFACTS "/welcome-%1.png").arg(slide)));
        // The button's amber capsule is painted where its hit area is.
        const QPointF c = view->buttonRect().center() * 2;
        const QColor button =
            image.pixelColor(c.toPoint() + QPoint(-int(view->buttonRect().width()) + 8, 0));
        EXPECT_GT(button.red(), 200) << slide;
        EXPECT_GT(button.red(), button.blue() + 80) << slide;
        if (slide == 2) {
            // The arrow points from below the counter, which stays readable.
            auto amber = [&](const QRect& area) {
                int n = 0;
                for (int y = area.top() * 2; y < area.bottom() * 2; ++y)
                    for (int x = area.left() * 2; x < area.right() * 2; ++x) {
                        const QColor c = image.pixelColor(x, y);
                        n += c.red() > 150 && c.red() > c.blue() + 90;
                    }
                return n;
            };
            EXPECT_EQ(amber(QRect(850, 36, 90, 26)), 0) << "the arrow covers the counter";
            EXPECT_GT(amber(QRect(880, 82, 38, 38)), 100) << "no arrow under the counter";
        }
    }
}

TEST(WelcomeView, TheLastButtonHandsOverAndTheSwitchesReportTheirChanges) {
    TestStore store;
    WelcomeCallbacks cb;
    int popover = 0, dismissed = 0;
    std::vector<bool> keys;
    cb.ensurePopoverOpen = [&] { ++popover; };
    cb.dismiss = [&] { ++dismissed; };
    cb.brightnessKeysChanged = [&](bool on) { keys.push_back(on); };
    store.defaults().setBool(PrefKey::brightnessKeyInterception, false);
    WelcomeView view(cb, true, nullptr, 1.0, std::make_unique<ManualFrameTimer>(),
                     std::make_unique<ManualFrameTimer>());
    view.appear();
    EXPECT_FALSE(view.brightnessKeys()); // a replay shows the user's own setting
    for (int i = 0; i < 4; ++i)
        view.advance();
    ASSERT_EQ(view.currentSlide(), 4);
    QImage scratch(view.size(), QImage::Format_ARGB32_Premultiplied);
    view.render(&scratch); // lays out the hit areas
    ASSERT_EQ(view.toggleRects().size(), 2u);
    view.clickAt(view.toggleRects()[1].center());
    EXPECT_EQ(keys, std::vector<bool>{true});
    view.advance();
    view.advance();
    view.advance();
    EXPECT_EQ(view.currentSlide(), 5);
    EXPECT_EQ(dismissed, 2);
    EXPECT_EQ(popover >= 2, true);
}

namespace {
// How much light text the slide's column holds: what an entrance that never ends leaves out.
int inkInColumn(WelcomeView& view) {
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    view.render(&image);
    int ink = 0;
    for (int y = 60; y < 540; ++y)
        for (int x = 40; x < 40 + int(WelcomeView::columnWidth); ++x)
            ink += qGray(image.pixel(x, y)) > 160;
    return ink;
}
} // namespace

TEST(WelcomeView, APlayedTourEndsEachSlidesEntranceWithItsTextShown) {
    TestStore store;
    auto frames = std::make_unique<ManualFrameTimer>();
    auto wowFrames = std::make_unique<ManualFrameTimer>();
    ManualFrameTimer* tick = frames.get();
    ManualFrameTimer* wowTick = wowFrames.get();
    WelcomeView view(WelcomeCallbacks{}, true, nullptr, 1.0, std::move(frames),
                     std::move(wowFrames));
    view.appear();
    // The progress fill's amber length and how much of a preset block shows, as drawn.
    auto render = [&] {
        QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::black);
        view.render(&image);
        return image;
    };
    auto fill = [](const QImage& image) {
        int n = 0;
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, 31);
            n += c.red() > 150 && c.blue() < 120;
        }
        return n;
    };
    auto shown = [](const QImage& image, const QRectF& block) {
        const QRect r = block.toRect().adjusted(4, 4, -4, -4);
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                n += image.pixelColor(x, y).lightness() > 60;
        return double(n) / (r.width() * r.height());
    };
    for (int slide = 0; slide < WelcomeView::slideCount; ++slide) {
        if (slide > 0) view.advance();
        if (slide == 1) {
            // The fill springs to its new length: partway after three frames, past it a
            // little (the spring's swing), then at rest on two sixths of the track.
            const int from = fill(render());
            for (int i = 0; i < 3; ++i)
                tick->fire();
            const int partway = fill(render());
            EXPECT_GT(partway, 152 + 10);
            EXPECT_LT(partway, 304 - 20);
            int widest = 0;
            for (int i = 0; i < 60; ++i) {
                tick->fire();
                widest = std::max(widest, fill(render()));
            }
            EXPECT_GT(widest, 305);
            EXPECT_NEAR(fill(render()), 304, 3);
            EXPECT_NEAR(from, 152, 3) << "the fill jumped";
        }
        if (slide == 3) {
            // The blocks come in one after another: the first is in while the last is not.
            for (int i = 0; i < WelcomeWowAnimator::revealDelayFrames + 9; ++i) {
                tick->fire();
                wowTick->fire();
            }
            const QImage arriving = render();
            ASSERT_EQ(view.presetBlocks().size(), 6u);
            EXPECT_GT(shown(arriving, view.presetBlocks()[0].first),
                      shown(arriving, view.presetBlocks()[5].first) + 0.3);
        }
        for (int i = 0; i < 60 * 8; ++i) {
            tick->fire();
            wowTick->fire();
        }
        auto settled = WelcomeView::snapshot(slide);
        const int expected = inkInColumn(*settled);
        ASSERT_GT(expected, 500) << slide;
        EXPECT_GT(inkInColumn(view), expected * 6 / 10) << "slide " << slide + 1;
    }
}

TEST(WelcomeView, TheWelcomeSlideIsThePhotographWhereItsPictureIsAndTwoColumnsWhereNot) {
    TestStore store;
    // Where a build tree and an install keep the pictures, the build tree first.
    const QStringList dirs = OnboardingImages::searchDirs(QStringLiteral("/opt/h/bin"));
    ASSERT_GE(dirs.size(), 2);
    EXPECT_EQ(dirs[0], QStringLiteral("/opt/h/bin/share/halcyra"));
    EXPECT_EQ(dirs[1], QStringLiteral("/opt/h/share/halcyra"));

    // Pictures this test makes: a teal backdrop and a magenta logo, in two folders.
    QTemporaryDir first, second;
    QImage teal(480, 310, QImage::Format_RGB32);
    teal.fill(QColor(20, 140, 150));
    ASSERT_TRUE(teal.save(second.path() + QStringLiteral("/welcome-bg.jpg"), "JPG"));
    QImage magenta(96, 96, QImage::Format_ARGB32);
    magenta.fill(QColor(230, 0, 200));
    ASSERT_TRUE(magenta.save(first.path() + QStringLiteral("/halcyra-logo.png")));
    QFile broken(first.path() + QStringLiteral("/welcome-bg.jpg")); // found first, unreadable
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("not a picture");
    broken.close();
    const OnboardingImages both = OnboardingImages::load({second.path(), first.path()});
    const OnboardingImages noLogo = OnboardingImages::load({second.path()});
    const OnboardingImages none = OnboardingImages::load({first.path() + QStringLiteral("/x")});
    EXPECT_TRUE(OnboardingImages::load({first.path()}).welcomeBackdrop.isNull());
    ASSERT_FALSE(both.welcomeBackdrop.isNull());
    ASSERT_FALSE(both.logo.isNull());

    auto shot = [](const OnboardingImages& images, const char* name) {
        auto view = WelcomeView::snapshot(0);
        view->setImages(images);
        QImage image(view->size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::black);
        view->render(&image);
        image.save(QStringLiteral(HALCYRA_TEST_ARTIFACTS "/welcome-0-%1.png").arg(name));
        return std::make_pair(view->welcomeIsPhotograph(), image);
    };
    auto count = [](const QImage& image, const QRect& area, auto&& test) {
        int n = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                n += test(image.pixelColor(x, y));
        return n;
    };
    const auto isTeal = [](const QColor& c) { return c.green() > 100 && c.red() < 60; };
    const auto isMagenta = [](const QColor& c) { return c.red() > 180 && c.green() < 60; };
    const auto isText = [](const QColor& c) { return c.lightness() > 200; };
    const QRect sky(100, 80, 760, 200);     // the photograph's upper part
    const QRect logo(440, 330, 80, 80);     // above the title, centred
    const QRect bottom(200, 420, 560, 130); // the title and subtitle
    const QRect chips(40, 360, 190, 100);   // the left column's benefit chips

    const auto [photo, withLogo] = shot(both, "photograph");
    EXPECT_TRUE(photo);
    EXPECT_GT(count(withLogo, sky, isTeal), sky.width() * sky.height() * 9 / 10);
    EXPECT_GT(count(withLogo, logo, isMagenta), 3000);
    EXPECT_GT(count(withLogo, bottom, isText), 1500);
    EXPECT_EQ(count(withLogo, chips, isText), 0) << "no chips over the photograph";

    // Without its logo the title and subtitle stay, with the photograph in the logo's place.
    const auto [photoNoLogo, without] = shot(noLogo, "photograph-no-logo");
    EXPECT_TRUE(photoNoLogo);
    EXPECT_EQ(count(without, logo, isMagenta), 0);
    EXPECT_GT(count(without, logo.adjusted(0, -60, 0, -60), isTeal), 3000);
    EXPECT_GT(count(without, bottom, isText), 1500);

    // Without the backdrop: the two columns, the chips and no photograph.
    const auto [fallbackPhoto, columns] = shot(none, "columns");
    EXPECT_FALSE(fallbackPhoto);
    EXPECT_EQ(count(columns, sky, isTeal), 0);
    EXPECT_GT(count(columns, chips, isText), 200);
    // The corner's coloured glow fades in towards the card's trailing edge: no column of
    // it stands out from its neighbour as a band would.
    int steepest = 0, brightest = 0;
    for (int y = 64; y < 320; ++y) // below the counter
        for (int x = columns.width() - 48; x < columns.width() - 3; ++x) {
            const int here = columns.pixelColor(x, y).lightness();
            steepest =
                std::max(steepest, std::abs(columns.pixelColor(x + 1, y).lightness() - here));
            brightest = std::max(brightest, here);
        }
    EXPECT_LT(steepest, 24) << "a band along the trailing edge";
    EXPECT_GT(brightest, 70) << "no glow along the trailing edge";
}

TEST(OnboardingSurvey, OneWindowAtATimeAndTheLastAnswerStays) {
    TestStore store;
    auto& survey = OnboardingSurveyWindowController::shared();
    QWidget* first = survey.makeWindowIfNeeded();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(survey.makeWindowIfNeeded(), nullptr);
    auto* view = first->findChild<OnboardingSurveyView*>();
    ASSERT_NE(view, nullptr);
    QImage scratch(view->size(), QImage::Format_ARGB32_Premultiplied);
    view->render(&scratch);
    view->clickAt(view->tiles()[4].center()); // Reddit
    view->clickAt(view->tiles()[5].center()); // Google
    EXPECT_EQ(store.defaults().stringValue(PrefKey::discoverySource), QStringLiteral("Google"));
    view->clickAt(view->doneRect().center());
    EXPECT_EQ(survey.window(), nullptr);
    QWidget* again = survey.makeWindowIfNeeded();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->findChild<OnboardingSurveyView*>()->discoverySource(),
              QStringLiteral("Google"));
    QImage shot(QSize(880, 1120), QImage::Format_ARGB32_Premultiplied);
    shot.setDevicePixelRatio(2);
    shot.fill(Qt::black);
    again->findChild<OnboardingSurveyView*>()->render(&shot);
    shot.save(QStringLiteral(HALCYRA_TEST_ARTIFACTS "/survey.png"));
    again->close();
}

TEST(OnboardingSurvey, EachAnswerAndLinkHasASymbolOfItsOwn) {
    // Every symbol drawn alone: no two answers look alike, and none is a stand-in.
    auto render = [](OnboardingGlyphs::Glyph glyph) {
        QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        OnboardingGlyphs::paint(p, glyph, QRectF(0, 0, 32, 32), Qt::white);
        return image;
    };
    const auto& glyphs = OnboardingSurveyView::answerGlyphs();
    ASSERT_EQ(glyphs.size(), OnboardingSurveyView::answers().size());
    std::vector<QImage> seen;
    for (OnboardingGlyphs::Glyph g : glyphs)
        seen.push_back(render(g));
    seen.push_back(render(OnboardingGlyphs::Star));
    const OnboardingGlyphs::Glyph standIns[] = {OnboardingGlyphs::Sun, OnboardingGlyphs::Eye,
                                                OnboardingGlyphs::Grid, OnboardingGlyphs::Power,
                                                OnboardingGlyphs::Keyboard};
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_FALSE(seen[i].isNull());
        for (size_t j = i + 1; j < seen.size(); ++j)
            EXPECT_NE(seen[i], seen[j]) << i << " looks like " << j;
        for (OnboardingGlyphs::Glyph standIn : standIns)
            EXPECT_NE(seen[i], render(standIn)) << i;
    }
    // The camera has a lens: a clear ring inside a filled body.
    const QImage camera = seen[1];
    EXPECT_GT(qAlpha(camera.pixel(16, 18)), 200);
    EXPECT_LT(qAlpha(camera.pixel(16 + 5, 18)), 60);
    EXPECT_GT(qAlpha(camera.pixel(3, 18)), 200);
}

TEST(OnboardingChrome, TakesTheRadiusTheWindowIsDrawnWithBeyondHalfAPoint) {
    OnboardingChrome& chrome = OnboardingChrome::shared();
    ASSERT_DOUBLE_EQ(chrome.cornerRadius(), 24);
    QWidget window;
    chrome.adopt(&window); // a window that says nothing
    chrome.adopt(nullptr);
    EXPECT_DOUBLE_EQ(chrome.cornerRadius(), 24);
    window.setFixedSize(200, 100);
    OnboardingChrome::frame(&window, 24.3);
    chrome.adopt(&window);
    EXPECT_DOUBLE_EQ(chrome.cornerRadius(), 24);
    QWidget flat, round;
    flat.setFixedSize(200, 100);
    round.setFixedSize(200, 100);
    OnboardingChrome::frame(&flat, 0);
    chrome.adopt(&flat);
    EXPECT_DOUBLE_EQ(chrome.cornerRadius(), 24);
    OnboardingChrome::frame(&round, 26);
    chrome.adopt(&round);
    EXPECT_DOUBLE_EQ(chrome.cornerRadius(), 26);
    OnboardingChrome::frame(&window, 24);
    chrome.adopt(&window); // back, for the tests after this one
    EXPECT_DOUBLE_EQ(chrome.cornerRadius(), 24);
}

TEST(OnboardingChrome, AFramelessTourMovesByItsBackgroundAndClosesByItsControlOrEsc) {
    TestStore store;
    for (int way = 0; way < 2; ++way) {
        QWidget window;
        auto* view = new WelcomeView(WelcomeCallbacks{}, true, nullptr, 1.0,
                                     std::make_unique<ManualFrameTimer>(),
                                     std::make_unique<ManualFrameTimer>(), &window);
        window.setFixedSize(view->size());
        OnboardingChrome::frame(&window, 24);
        EXPECT_TRUE(window.windowFlags() & Qt::FramelessWindowHint);
        window.move(100, 100);
        window.show();
        view->appear();

        // A drag on the background, where nothing of the card takes the press; the
        // offscreen platform has no window manager to hand the move to.
        auto mouse = [&](QEvent::Type type, QWidget* to, QPoint at, QPoint global) {
            QMouseEvent e(type, QPointF(at), QPointF(at), QPointF(global), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, {});
            QApplication::sendEvent(to, &e);
        };
        const QPoint background(300, 12);
        mouse(QEvent::MouseButtonPress, view, background, QPoint(400, 112));
        mouse(QEvent::MouseMove, &window, background, QPoint(550, 252));
        mouse(QEvent::MouseButtonRelease, &window, background, QPoint(550, 252));
        EXPECT_EQ(window.pos(), QPoint(250, 240));

        if (way == 0) {
            const QPoint close = view->closeRect().center().toPoint();
            mouse(QEvent::MouseButtonPress, view, close, window.mapToGlobal(close));
        } else {
            QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, {});
            QApplication::sendEvent(view, &esc);
        }
        EXPECT_FALSE(window.isVisible()) << way;
    }
}
