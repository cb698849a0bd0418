// The update window: what it says, and that its button opens the download page.
#include "settings/UpdateDialog.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

TEST(UpdateDialog, NamesBothVersionsAndOpensTheDownloadPage) {
    UpdateDialog dialog(QStringLiteral("2.1.0"), QStringLiteral("2.0.3"),
                        QUrl(QStringLiteral("https://example.com/notes")),
                        QUrl(QStringLiteral("https://example.com/get")));
    std::vector<QUrl> opened;
    dialog.openUrl = [&](const QUrl& url) { opened.push_back(url); };
    dialog.adjustSize();
    QDir().mkpath(QStringLiteral(HALCYRA_TEST_ARTIFACTS));
    EXPECT_TRUE(dialog.grab().save(QStringLiteral(HALCYRA_TEST_ARTIFACTS "/update-dialog.png")));

    bool namesVersions = false;
    for (QLabel* label : dialog.findChildren<QLabel*>())
        namesVersions |= label->text().contains(QStringLiteral("2.1.0")) &&
                         label->text().contains(QStringLiteral("2.0.3"));
    EXPECT_TRUE(namesVersions);

    QPushButton* notes = nullptr;
    QPushButton* download = nullptr;
    for (QPushButton* b : dialog.findChildren<QPushButton*>()) {
        if (b->text().startsWith(QStringLiteral("Release Notes"))) notes = b;
        if (b->text() == QStringLiteral("Download")) download = b;
    }
    ASSERT_TRUE(notes && download);
    notes->click();
    EXPECT_TRUE(dialog.isVisible() || !dialog.result()) << "the notes leave the window open";
    download->click();
    EXPECT_EQ(opened, (std::vector<QUrl>{QUrl(QStringLiteral("https://example.com/notes")),
                                         QUrl(QStringLiteral("https://example.com/get"))}));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

} // namespace
