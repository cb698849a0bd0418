#include "settings/SettingsView.h"
#include "settings/SettingsWidgets.h"

#include <QVBoxLayout>

SettingsPage* makeHomePage(SettingsView&) {
    auto* page = new SettingsPage;
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(SettingsStyle::sectionTitle(QStringLiteral("Home")));
    return page;
}
