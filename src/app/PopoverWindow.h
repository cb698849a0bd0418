#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>

// The popover the status item opens: a frameless popup anchored below the icon (above
// it when the icon sits at the bottom of the screen), or at the pointer when the
// status area does not report where the icon is. While open it holds the pointer and
// the keys, whoever had the focus: Esc or a click outside closes it. The application's
// own windows go on taking their clicks; one in the visible settings window keeps the
// popover open and hands that window the keys until the popover is pressed again.
class PopoverWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr QSize defaultSize{340, 420};

    explicit PopoverWindow(QWidget* parent = nullptr);

    // The view shown inside; the popover takes ownership. Replaces any earlier one.
    void setContent(QWidget* content);
    // The view shown inside, made by `make` the first time the popover opens or its
    // content is asked for: laying the view out loads the fonts (about 12 ms and 4 MB),
    // which a start and a popover never opened do without.
    void setContentFactory(std::function<QWidget*()> make);
    // The view shown inside, made now when it was still waiting to be made.
    QWidget* content();
    // True once the view inside has been made.
    bool hasContent() const { return m_content; }

    // Opens anchored at `anchor` (global coordinates); an empty anchor means the pointer.
    void showAnchored(const QRect& anchor);
    bool isShown() const { return isVisible(); }

    // Where a popover of `size` opens for `anchor` on a screen whose usable area is
    // `available` (exposed for tests).
    static QPoint placement(const QRect& anchor, const QSize& size, const QRect& available);
    // Whether a press at `global` that closes the popover acts on our own window
    // beneath: everywhere but on the status icon it opened from.
    bool replaysPressAt(const QPoint& global) const;

    // The window a press keeps the popover open for while it is shown (none otherwise).
    std::function<QWidget*()> companion;
    // Whether the popover holds the pointer and the keys now.
    bool holdsInput() const { return m_holdsPointer && m_holdsKeys; }

signals:
    void closed();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* shownCompanion() const;
    void holdInput();

    QPointer<QWidget> m_content;
    std::function<QWidget*()> m_makeContent;
    QRect m_anchor;              // the status icon's frame, empty when opened at the pointer
    bool m_closingClick = false; // a press outside came; the release closes the popover
    bool m_holdsPointer = false;
    bool m_holdsKeys = false;
    bool m_keysLent = false; // to the settings window, after a press in it
    int m_holdTries = 0;
    QTimer m_holdRetry;
};
