#pragma once

#include <QDialog>
#include <QUrl>
#include <functional>

// The update window: which release is newer than the running one, a link to its
// release notes and a button that opens its download page in the browser. Halcyra
// installs nothing itself; the system's package manager does.
class UpdateDialog : public QDialog {
    Q_OBJECT
public:
    UpdateDialog(const QString& version, const QString& currentVersion, const QUrl& releaseNotes,
                 const QUrl& download, QWidget* parent = nullptr);

    // Opens an address in the browser (tests replace it).
    std::function<void(const QUrl&)> openUrl;

    void download();

private:
    QUrl m_download;
};
