#pragma once

#include "brightness/SnapGuides.h"

#include <QWidget>

class QVariantAnimation;

// The dashed guides over the whole main screen while the display is dragged. The
// window is cut to the dashes, so the desktop shows between them with or without a
// compositor; it takes no input.
class SnapGuideOverlay final : public QWidget {
public:
    SnapGuideOverlay();
    ~SnapGuideOverlay() override;

    // Shows (fading in over 0.1 s) or refreshes the guides of `guides`.
    void showGuides(const SnapGuides& guides);
    // Fades out over 0.15 s, then hides.
    void fadeOut();
    const SnapGuides& guides() const { return m_guides; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void fitToMainScreen();
    QRegion dashRegion() const;

    SnapGuides m_guides;
    QVariantAnimation* m_fade = nullptr;
};
