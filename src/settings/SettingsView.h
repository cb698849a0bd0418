#pragma once

#include "settings/SettingsSection.h"

#include <QWidget>
#include <array>
#include <functional>

class QAbstractButton;
class QLabel;
class QScrollArea;
class QTimer;
class QVBoxLayout;
class SettingsViewModel;
class SidebarItem;
class SymbolWidget;

// One page of the settings window. Pages are built the first time they are shown and
// kept; refresh() re-reads what the page shows, appeared()/disappeared() bracket each
// visit.
class SettingsPage : public QWidget {
public:
    using QWidget::QWidget;
    virtual void refresh() {}
    virtual void appeared() {}
    virtual void disappeared() {}
};

// The settings window's root: the layered dark background, the floating sidebar of
// sections with its close dot and version footer, and the scrolling column that shows
// the selected section from its top. The "HalcyraSetSettingsSection" notification
// selects a section by its title. 724 × 520.
class SettingsView : public QWidget {
    Q_OBJECT
public:
    static constexpr int viewWidth = 724;
    static constexpr int viewHeight = 520;

    explicit SettingsView(SettingsViewModel& viewModel, QWidget* parent = nullptr);
    ~SettingsView() override;

    SettingsSection selectedSection() const { return m_selected; }
    void selectSection(SettingsSection section);
    std::optional<SettingsSection> hoveredSection() const { return m_hovered; }
    SettingsPage* page(SettingsSection section) const { return m_pages[size_t(section)]; }
    QScrollArea* scrollArea() const { return m_scroll; }
    QAbstractButton* sidebarItem(SettingsSection section) const;
    QWidget* closeDot() const { return m_closeDot; }
    QWidget* sidebar() const { return m_sidebar; }
    SettingsViewModel& viewModel() const { return m_viewModel; }

    // The fun fact the home page shows: (day of year × 24 + hour) at creation.
    int factIndex = 0;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    friend class SidebarItem;
    QWidget* buildSidebar();
    void refreshFooter();
    void setHovered(std::optional<SettingsSection> s);
    void refreshVisiblePage();

    SettingsViewModel& m_viewModel;
    SettingsSection m_selected = SettingsSection::home;
    std::optional<SettingsSection> m_hovered;
    std::array<SettingsPage*, 8> m_pages{};
    std::array<SidebarItem*, 8> m_items{};
    QWidget* m_sidebar = nullptr;
    QWidget* m_closeDot = nullptr;
    QScrollArea* m_scroll = nullptr;
    QVBoxLayout* m_pagesColumn = nullptr;
    QWidget* m_footer = nullptr;
    QLabel* m_version = nullptr;
    QWidget* m_refreshButton = nullptr;
    QLabel* m_status = nullptr;
    QTimer* m_minuteTimer = nullptr;
    QTimer* m_factTimer = nullptr;
};

// Makes the page of a section (each section's own file defines its maker).
SettingsPage* makeHomePage(SettingsView& view);
SettingsPage* makeDisplayPage(SettingsView& view);
SettingsPage* makeSchedulingPage(SettingsView& view);
SettingsPage* makeInsightsPage(SettingsView& view);
SettingsPage* makeGeneralPage(SettingsView& view);
SettingsPage* makePresetsPage(SettingsView& view);
SettingsPage* makeKeyboardPage(SettingsView& view);
SettingsPage* makeExplorePage(SettingsView& view);
