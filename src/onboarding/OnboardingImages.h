#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

// The tour's pictures: the welcome slide's backdrop photograph and the product's logo,
// read from where an install puts the application's data (share/halcyra under the
// prefix) or, in a build tree, from share/halcyra beside the binary. A picture that is
// missing or unreadable is a null image, and the slide that shows it lays out without.
struct OnboardingImages {
    static constexpr const char* welcomeBackdropName = "welcome-bg.jpg";
    static constexpr const char* logoName = "halcyra-logo.png";

    QImage welcomeBackdrop;
    QImage logo;

    // The folders looked in, first first: beside the binary (a build tree), the prefix
    // the binary sits in (an install, wherever it was moved), the prefix it was built for.
    static QStringList searchDirs(const QString& binaryDir);
    // Each picture from the first folder of `dirs` that holds it.
    static OnboardingImages load(const QStringList& dirs);
    // Read once, on first use, from searchDirs() of the running binary.
    static const OnboardingImages& shared();
};
