// The status item, the popover and the emergency menu of AppDelegate.
#include "app/AppDelegate.h"

#include "app/PopoverWindow.h"
#include "app/StatusItem.h"
#include "brightness/ShortcutManager.h"
#include "core/Preferences.h"
#include "core/UserDefaults.h"
#include "platform/DesktopNotifier.h"
#include "platform/DisplayGamma.h"
#include "platform/Platform.h"
#include "settings/SettingsWindowController.h"
#include "warmth/ColorTemperature.h"
#include "warmth/OverlayWindowController.h"

#include <QGuiApplication>
#include <QLoggingCategory>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>

Q_DECLARE_LOGGING_CATEGORY(lcMenubar)

namespace {
// Event type numbers logged for a click.
constexpr int kLeftMouseDown = 1;
constexpr int kRightMouseDown = 3;
// Icon edge in the status area when the host does not say.
constexpr double kDefaultThickness = 22.0;

const QString kResetTitle = QStringLiteral("Reset Display Effects");
const QString kKeepXDRTitle = QStringLiteral("Keep XDR Boost (dismiss countdown)");
const QString kQuitTitle = QStringLiteral("Quit Halcyra");

QString rectText(const QRect& r) {
    return QStringLiteral("{{%1, %2}, {%3, %4}}")
        .arg(r.x())
        .arg(r.y())
        .arg(r.width())
        .arg(r.height());
}
} // namespace

void AppDelegate::installManualStatusItem() {
    installStatusItem(true);
}

void AppDelegate::remakeStatusItem() {
    installStatusItem(false);
}

void AppDelegate::installStatusItem(bool closeOpenPopover) {
    qCInfo(lcMenubar).noquote() << QStringLiteral("installManualStatusItem ENTRY");
    if (closeOpenPopover && m_popover && m_popover->isShown()) closePopover();
    m_statusItem.reset();

    qCInfo(lcMenubar).noquote()
        << QStringLiteral("QSystemTrayIcon thickness=%1").arg(kDefaultThickness, 0, 'f', 6);
    auto item = std::make_unique<StatusItem>(trayHost);
    qCInfo(lcMenubar).noquote() << QStringLiteral("statusItem created length=%1 visible=%2")
                                       .arg(kDefaultThickness, 0, 'f', 6)
                                       .arg(item->trayIcon()->isVisible()
                                                ? QStringLiteral("true")
                                                : QStringLiteral("false"));
    item->setAppearance(StatusItem::enabledColor(), QString());
    if (item->hasButton()) {
        qCInfo(lcMenubar).noquote() << QStringLiteral("button configured imageSize=%1x%2 frame=%3")
                                           .arg(kDefaultThickness, 0, 'f', 6)
                                           .arg(kDefaultThickness, 0, 'f', 6)
                                           .arg(rectText(item->geometry()));
    } else {
        qCCritical(lcMenubar).noquote()
            << QStringLiteral("ERROR: QSystemTrayIcon has no button — registration failed");
    }
    connect(item.get(), &StatusItem::leftClicked, this, [this] { statusItemClicked(false); });
    connect(item.get(), &StatusItem::rightClicked, this, [this] { statusItemClicked(true); });
    m_statusItem = std::move(item);

    if (!m_popover) {
        m_popover = std::make_unique<PopoverWindow>();
        // The view inside is made when the popover first opens: laying it out loads the
        // fonts, which would hold the tint back at every start and stay in memory for a
        // popover that may never open.
        m_popover->setContentFactory([this]() -> QWidget* {
            QWidget* content = m_hooks.makePopoverContent ? m_hooks.makePopoverContent() : nullptr;
            const QSize size = content ? content->sizeHint() : QSize();
            qCInfo(lcMenubar).noquote()
                << QStringLiteral("popover content made contentSize={%1, %2}")
                       .arg(size.width())
                       .arg(size.height());
            return content;
        });
        // A click in the visible settings window keeps the popover open.
        m_popover->companion = [this]() -> QWidget* {
            return m_settingsController ? m_settingsController->window() : nullptr;
        };
        connect(m_popover.get(), &PopoverWindow::closed, this, [this] {
            // A click outside closes the popup by itself; keep the state in step.
            if (m_popoverVisible) closePopover();
        });
    }
    // Until its view is made the content has no size yet.
    const QSize size = m_popover->hasContent() ? m_popover->size() : QSize(0, 0);
    qCInfo(lcMenubar).noquote() << QStringLiteral("popover prepared contentSize={%1, %2}")
                                       .arg(size.width())
                                       .arg(size.height());
    qCInfo(lcMenubar).noquote() << QStringLiteral("installManualStatusItem EXIT");
    updateMenuBarIconColor();
}

void AppDelegate::updateMenuBarIconColor() {
    if (!m_statusItem || !m_statusItem->hasButton()) return;
    Preferences& prefs = Preferences::shared();
    const QColor color = prefs.enabled() ? StatusItem::enabledColor() : StatusItem::disabledColor();
    const QString title = prefs.showTemperatureInMenuBar()
                              ? StatusItem::temperatureTitle(prefs.temperature())
                              : QString();
    m_statusItem->setAppearance(color, title);
}

void AppDelegate::statusItemClicked(bool rightButton) {
    qCInfo(lcMenubar).noquote() << QStringLiteral("statusItemClicked event=%1")
                                       .arg(rightButton ? kRightMouseDown : kLeftMouseDown);
    if (rightButton) {
        showEmergencyMenu();
        return;
    }
    if (!m_popover || !m_statusItem || !m_statusItem->hasButton()) {
        qCCritical(lcMenubar).noquote()
            << QStringLiteral("statusItemClicked: missing popover or button");
        return;
    }
    if (m_popoverVisible || m_popover->isShown()) {
        closePopover();
        return;
    }
    m_popover->showAnchored(m_statusItem->geometry());
    setPopoverVisible(true);
}

QString AppDelegate::panicKeyTitle() {
    return QStringLiteral("Panic key: ") +
           ShortcutBinding::defaultBinding(ShortcutAction::resetDisplayEffects).displayString();
}

QStringList AppDelegate::emergencyMenuTitles() const {
    QStringList titles{kResetTitle};
    if (m_hooks.xdrBoostWindowExists && m_hooks.xdrBoostWindowExists()) titles << kKeepXDRTitle;
    titles << QString() << panicKeyTitle() << QString() << kQuitTitle;
    return titles;
}

void AppDelegate::buildEmergencyMenu() {
    m_emergencyMenu = std::make_unique<QMenu>();
    QMenu& menu = *m_emergencyMenu;
    connect(menu.addAction(kResetTitle), &QAction::triggered, this,
            &AppDelegate::emergencyResetFromMenu);
    if (m_hooks.xdrBoostWindowExists && m_hooks.xdrBoostWindowExists())
        connect(menu.addAction(kKeepXDRTitle), &QAction::triggered, this,
                &AppDelegate::confirmXDRFromMenu);
    menu.addSeparator();
    menu.addAction(panicKeyTitle())->setEnabled(false);
    // The desktop has no application menu to quit from: the status icon's menu ends
    // with it.
    menu.addSeparator();
    connect(menu.addAction(kQuitTitle), &QAction::triggered, this, &AppDelegate::quit);
}

void AppDelegate::showEmergencyMenu() {
    buildEmergencyMenu();
    if (popUpMenu) popUpMenu(*m_emergencyMenu);
}

void AppDelegate::emergencyResetFromMenu() {
    resetAllDisplayEffects(QStringLiteral("menu bar"));
}

void AppDelegate::confirmXDRFromMenu() {
    if (m_hooks.confirmXDRBoost) m_hooks.confirmXDRBoost();
}

void AppDelegate::resetAllDisplayEffects(const QString& reason) {
    if (m_hooks.xdrEmergencyReset) m_hooks.xdrEmergencyReset(reason);
    xdrBoostSuspendedForCapture = false;
    xdrBoostSuspendedUnconfirmed = false;
    if (Preferences::shared().enabled()) {
        if (m_hooks.toggleEnabled) {
            m_hooks.toggleEnabled();
        } else {
            // Until the popover model owns the switch, turn the tint off the plain way.
            UserDefaults::standard().setBool(PrefKey::enabled, false);
            m_overlayController->updateOverlays();
            updateMenuBarIconColor();
        }
    }
    Platform::instance().displayGamma().restoreColorSettings();
    DisplayedWarmth::setRecorded(DisplayTint::identity());
    qCInfo(lcMenubar).noquote()
        << QStringLiteral("Emergency reset: all display effects cleared (%1)").arg(reason);
}

void AppDelegate::setPopoverVisible(bool visible) {
    m_popoverVisible = visible;
    if (m_hooks.popoverVisibilityChanged) m_hooks.popoverVisibilityChanged(visible);
}

void AppDelegate::showPopoverIfNeeded() {
    if (!m_statusItem || !m_statusItem->hasButton() || !m_popover) return;
    if (m_popover->isShown()) return;
    m_popover->showAnchored(m_statusItem->geometry());
    setPopoverVisible(true);
}

void AppDelegate::closePopover() {
    setPopoverVisible(false);
    if (m_popover && m_popover->isShown()) m_popover->hide();
}

void AppDelegate::togglePopoverFromHotkey() {
    if (!m_popover) return;
    if (m_popover->isShown()) {
        closePopover();
        return;
    }
    if (statusItemIsVisibleOnScreen() && m_statusItem) {
        m_popover->showAnchored(m_statusItem->geometry());
        setPopoverVisible(true);
        return;
    }
    showPopoverDetached();
}

void AppDelegate::showPopoverDetached() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!m_popover || !screen) return;
    // Top right of the main screen's usable area, where the status area usually is.
    const QRect area = screen->availableGeometry();
    m_popover->showAnchored(QRect(area.right() - 40, area.top(), 2, 2));
    setPopoverVisible(true);
}

bool AppDelegate::statusItemIsVisibleOnScreen() const {
    if (!m_statusItem || !m_statusItem->hasButton()) return false;
    const QRect frame = m_statusItem->geometry();
    // A host that does not report where it put the icon is taken at its word.
    if (!frame.isValid() || frame.isEmpty()) return true;
    for (QScreen* screen : QGuiApplication::screens())
        if (screen->geometry().intersects(frame)) return true;
    return false;
}

QString AppDelegate::popoverShortcutText() const {
    if (m_hooks.popoverShortcutText) {
        const QString text = m_hooks.popoverShortcutText();
        if (!text.isEmpty()) return text;
    }
    return ShortcutBinding::defaultBinding(ShortcutAction::openPopover).displayString();
}

void AppDelegate::checkStatusItemVisibilityHint() {
    UserDefaults& defaults = UserDefaults::standard();
    if (defaults.boolean(PrefKey::menuBarHiddenHintShown)) return;
    if (!m_statusItem) return;
    // A desktop with no status area (GNOME without an extension) shows no icon at all:
    // the notice says how to reach Halcyra there.
    const bool noStatusArea = !m_statusItem->hasButton();
    if (!noStatusArea && statusItemIsVisibleOnScreen()) return;
    defaults.setBool(PrefKey::menuBarHiddenHintShown, true);
    const QString shortcut = popoverShortcutText();
    const QString body =
        noStatusArea
            ? QStringLiteral("Your desktop shows no status icons, so the Halcyra icon is hidden. "
                             "Press ") +
                  shortcut +
                  QStringLiteral(" or launch Halcyra again from the application menu to open "
                                 "Halcyra anytime.")
            : QStringLiteral("Your panel is full, so the Halcyra icon may be hidden. Press ") +
                  shortcut + QStringLiteral(" to open Halcyra anytime.");
    Platform::instance().desktopNotifier().post(QStringLiteral("halcyra.menubar.hidden.hint"),
                                                QStringLiteral("Halcyra is running"), body);
    qCInfo(lcMenubar).noquote()
        << QStringLiteral("Menu bar icon hidden at launch — posted %1 hint").arg(shortcut);
}
