#pragma once

#include "popover/GlowFrame.h"

#include <QImage>
#include <QWidget>

// The glow's own window: 64 × 64, borderless, clicks pass through it to whatever lies
// beneath, kept above every other window (the first run's full-screen takeover too)
// and out of the window manager's hands, so it is neither decorated nor listed.
class StatusItemGlowWindow final : public QWidget {
public:
    static constexpr int side = 64;

    // A window centred on `centre`, in screen coordinates; not yet shown.
    explicit StatusItemGlowWindow(QPoint centre);

    void setFrame(const GlowFrame& frame);
    GlowFrame frame() const { return m_frame; }
    // Shows the window without taking the focus and puts it on top of the stack.
    void showAbove();

protected:
    void paintEvent(QPaintEvent*) override;

private:
    GlowFrame m_frame;
    // Without a compositor a window cannot be see-through: what lay beneath it when it
    // came up is painted under the glow instead.
    QImage m_beneath;
};
