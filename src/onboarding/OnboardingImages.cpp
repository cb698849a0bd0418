#include "onboarding/OnboardingImages.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcOnboardingImages, "com.halcyra.app.onboarding")

namespace {

QImage read(const QStringList& dirs, const QString& name) {
    for (const QString& dir : dirs) {
        const QString path = dir + QLatin1Char('/') + name;
        if (!QFileInfo(path).isFile()) continue;
        QImageReader reader(path);
        reader.setAutoTransform(true);
        QImage image = reader.read();
        if (image.isNull()) {
            // A damaged file is left out like a missing one; the slide lays out without it.
            qCWarning(lcOnboardingImages).noquote()
                << QStringLiteral("Could not read %1: %2").arg(path, reader.errorString());
            return {};
        }
        return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    return {};
}

} // namespace

QStringList OnboardingImages::searchDirs(const QString& binaryDir) {
    QStringList dirs;
    const auto add = [&dirs](const QString& dir) {
        const QString clean = QDir::cleanPath(dir);
        if (!clean.isEmpty() && !dirs.contains(clean)) dirs << clean;
    };
    if (!binaryDir.isEmpty()) {
        add(binaryDir + QStringLiteral("/share/halcyra"));
        add(binaryDir + QStringLiteral("/../share/halcyra"));
    }
    add(QStringLiteral(HALCYRA_INSTALL_DATADIR "/halcyra"));
    return dirs;
}

OnboardingImages OnboardingImages::load(const QStringList& dirs) {
    OnboardingImages images;
    images.welcomeBackdrop = read(dirs, QLatin1String(welcomeBackdropName));
    images.logo = read(dirs, QLatin1String(logoName));
    return images;
}

const OnboardingImages& OnboardingImages::shared() {
    static const OnboardingImages images = [] {
        const QStringList dirs = searchDirs(QCoreApplication::applicationDirPath());
        OnboardingImages loaded = load(dirs);
        if (loaded.welcomeBackdrop.isNull())
            qCInfo(lcOnboardingImages).noquote()
                << QStringLiteral("No welcome backdrop in %1 — the welcome slide shows its "
                                  "two-column layout")
                       .arg(dirs.join(QStringLiteral(", ")));
        return loaded;
    }();
    return images;
}
