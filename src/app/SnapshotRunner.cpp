#include "app/SnapshotRunner.h"

#include "insights/ScheduleSettingsModel.h"
#include "onboarding/WelcomeView.h"
#include "settings/SchedulingTabView.h"

#include <QDir>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdlib>
#include <unistd.h>

namespace {

constexpr double kScale = 2.0;

// Puts the view on its backdrop: a fixed frame or a fixed width, an inset on every
// edge and a diagonal or vertical gradient behind everything.
class SnapshotBackdrop : public QWidget {
public:
    SnapshotBackdrop(QWidget* view, int inset, QLinearGradient gradient, bool diagonal)
        : m_gradient(std::move(gradient)), m_diagonal(diagonal) {
        setAttribute(Qt::WA_DontShowOnScreen);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(inset, inset, inset, inset);
        layout->addWidget(view);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        QLinearGradient g = m_gradient;
        g.setStart(0, 0);
        g.setFinalStop(m_diagonal ? width() : 0, height());
        p.fillRect(rect(), g);
    }

private:
    QLinearGradient m_gradient;
    bool m_diagonal;
};

QLinearGradient gradient(QColor from, QColor to) {
    QLinearGradient g;
    g.setColorAt(0, from);
    g.setColorAt(1, to);
    return g;
}

QString writeError(const QString& path, const QImage& image) {
    QImageWriter writer(path, "png");
    if (writer.write(image)) return QString();
    return writer.errorString().isEmpty() ? QStringLiteral("unknown error") : writer.errorString();
}

} // namespace

QString SnapshotRunner::folder(const QString& fallback) {
    // Used verbatim, an empty value too: only an absent one gives the default.
    if (!qEnvironmentVariableIsSet("HALCYRA_SNAPSHOT_DIR")) return fallback;
    return qEnvironmentVariable("HALCYRA_SNAPSHOT_DIR");
}

void SnapshotRunner::logStderr(const QString& message) {
    const QByteArray bytes = message.toUtf8() + '\n';
    ssize_t ignored = ::write(STDERR_FILENO, bytes.constData(), size_t(bytes.size()));
    (void)ignored;
}

std::unique_ptr<QWidget> SnapshotRunner::makeWelcomeSlide(int index) {
    return WelcomeView::snapshot(index);
}

std::unique_ptr<QWidget> SnapshotRunner::makeSchedulingView() {
    return std::make_unique<SchedulingTabView>(std::make_unique<ScheduleSettingsModel>(),
                                               QColor::fromRgbF(1.0f, 0.55f, 0.15f));
}

QImage SnapshotRunner::render(QWidget& widget) {
    widget.ensurePolished();
    if (QLayout* layout = widget.layout()) layout->activate();
    const QSize size = widget.size();
    if (size.isEmpty()) return QImage();
    QImage image((QSizeF(size) * kScale).toSize(), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return image;
    image.setDevicePixelRatio(kScale);
    image.fill(Qt::transparent);
    widget.render(&image);
    return image;
}

int SnapshotRunner::renderWelcomeSlides() {
    const QString dir = folder(defaultWelcomeFolder);
    QDir().mkpath(dir);
    int written = 0;
    for (const Slide& slide : slides) {
        const QString name = QString::fromLatin1(slide.fileName);
        QImage image;
        if (std::unique_ptr<QWidget> view = makeWelcomeSlide(slide.index)) {
            view->setFixedSize(960, 620);
            SnapshotBackdrop backdrop(
                view.release(), 40,
                gradient(QColor::fromRgbF(0.16, 0.13, 0.22), QColor::fromRgbF(0.06, 0.05, 0.10)),
                true);
            backdrop.setFixedSize(1040, 700);
            image = render(backdrop);
        }
        if (image.isNull()) {
            logStderr(QStringLiteral("snapshot FAILED to render slide %1 (%2)")
                          .arg(slide.index)
                          .arg(name));
            continue;
        }
        const QString path = dir + QLatin1Char('/') + name + QStringLiteral(".png");
        const QString error = writeError(path, image);
        if (!error.isEmpty()) {
            logStderr(QStringLiteral("snapshot write FAILED %1: %2").arg(path, error));
            continue;
        }
        logStderr(QStringLiteral("snapshot wrote %1").arg(path));
        ++written;
    }
    logStderr(QStringLiteral("snapshot done — %1/%2 slides").arg(written).arg(slideCount));
    return written == slideCount ? 0 : 1;
}

int SnapshotRunner::renderScheduling() {
    const QString dir = folder(defaultSchedulingFolder);
    QDir().mkpath(dir);
    QImage image;
    if (std::unique_ptr<QWidget> view = makeSchedulingView()) {
        view->setFixedWidth(560);
        const int height =
            view->heightForWidth(560) > 0 ? view->heightForWidth(560) : view->sizeHint().height();
        view->setFixedHeight(std::max(1, height));
        SnapshotBackdrop backdrop(
            view.release(), 28,
            gradient(QColor::fromRgbF(0.13, 0.11, 0.16), QColor::fromRgbF(0.07, 0.06, 0.09)),
            false);
        backdrop.adjustSize();
        image = render(backdrop);
    }
    const QString name = !qEnvironmentVariableIsSet("HALCYRA_SNAPSHOT_NAME")
                             ? QStringLiteral("scheduling")
                             : qEnvironmentVariable("HALCYRA_SNAPSHOT_NAME");
    if (image.isNull()) {
        logStderr(QStringLiteral("scheduling snapshot FAILED to render"));
        return 1;
    }
    const QString path = dir + QLatin1Char('/') + name + QStringLiteral(".png");
    const QString error = writeError(path, image);
    if (!error.isEmpty()) {
        logStderr(QStringLiteral("scheduling snapshot write FAILED %1: %2").arg(path, error));
        return 1;
    }
    logStderr(QStringLiteral("scheduling snapshot wrote %1").arg(path));
    return 0;
}

void SnapshotRunner::run() {
    std::exit(renderWelcomeSlides());
}

void SnapshotRunner::runScheduling() {
    std::exit(renderScheduling());
}
