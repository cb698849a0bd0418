#include "settings/UpdateDialog.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

UpdateDialog::UpdateDialog(const QString& version, const QString& currentVersion,
                           const QUrl& releaseNotes, const QUrl& download, QWidget* parent)
    : QDialog(parent), m_download(download) {
    setWindowTitle(tr("Software Update"));
    openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 16);
    layout->setSpacing(10);
    auto* headline = new QLabel(tr("A new version of Halcyra is available!"), this);
    QFont bold = headline->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.15);
    headline->setFont(bold);
    layout->addWidget(headline);
    // Plain text: the versions come from the network.
    auto* detail = new QLabel(
        tr("Halcyra %1 is available — you have %2. Install it with your system's package "
           "manager, or get it from the download page.")
            .arg(version, currentVersion),
        this);
    detail->setTextFormat(Qt::PlainText);
    detail->setWordWrap(true);
    layout->addWidget(detail);
    if (releaseNotes.isValid() && !releaseNotes.isEmpty()) {
        auto* notes = new QPushButton(tr("Release Notes…"), this);
        notes->setFlat(true);
        notes->setCursor(Qt::PointingHandCursor);
        connect(notes, &QPushButton::clicked, this, [this, releaseNotes] { openUrl(releaseNotes); });
        layout->addWidget(notes, 0, Qt::AlignLeft);
    }
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* get = buttons->addButton(tr("Download"), QDialogButtonBox::AcceptRole);
    buttons->addButton(tr("Later"), QDialogButtonBox::RejectRole);
    get->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &UpdateDialog::download);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setMinimumWidth(420);
}

void UpdateDialog::download() {
    if (openUrl) openUrl(m_download);
    accept();
}
