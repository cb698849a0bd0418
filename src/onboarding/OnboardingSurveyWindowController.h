#pragma once

#include "onboarding/OnboardingGlyphs.h"

#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

// The optional question after the tour: how the user discovered Halcyra. The answer is
// kept in the settings on this machine and sent nowhere.
class OnboardingSurveyView : public QWidget {
    Q_OBJECT
public:
    static const std::vector<QString>& answers();
    // The symbol of each answer, in the order of answers().
    static const std::vector<OnboardingGlyphs::Glyph>& answerGlyphs();

    explicit OnboardingSurveyView(std::function<void()> onDone, QWidget* parent = nullptr);
    const QString& discoverySource() const { return m_source; }
    void choose(const QString& label);
    // Hit areas: the nine tiles, the two link rows, "Maybe later", "Done".
    const std::vector<QRectF>& tiles() const { return m_tiles; }
    QRectF laterRect() const { return m_later; }
    QRectF doneRect() const { return m_done; }
    // Whether a control took the click.
    bool clickAt(QPointF point);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;

private:
    std::function<void()> m_onDone;
    QString m_source;
    std::vector<QRectF> m_tiles;
    std::vector<QRectF> m_links;
    QRectF m_later, m_done;
};

// Owns the one survey window: a second request while it is open does nothing.
class OnboardingSurveyWindowController : public QObject {
    Q_OBJECT
public:
    static OnboardingSurveyWindowController& shared();
    // The new window, or null when one is already open.
    QWidget* makeWindowIfNeeded();
    QWidget* window() const { return m_window; }
    // The survey as the tour opens it: made if needed, then raised and focused.
    void open();

private:
    QPointer<QWidget> m_window;
};
