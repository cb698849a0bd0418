#pragma once

#include "insights/CircadianFact.h"

#include <QWidget>

// One circadian fact: a round badge with its symbol, the title and up to three lines
// of body text, at the leading edge of whatever width the host gives. No frame of its
// own: the host frames it, picks the fact and rotates it.
class FunFactCard : public QWidget {
    Q_OBJECT
public:
    static constexpr int maxBodyLines = 3;

    explicit FunFactCard(const CircadianFact& fact, QWidget* parent = nullptr);

    void setFact(const CircadianFact& fact);
    const CircadianFact& fact() const { return m_fact; }
    // The body as laid out at `textWidth`: at most three lines, the last one elided
    // when the text runs longer.
    QStringList bodyLines(double textWidth) const;

    QSize sizeHint() const override { return {360, heightForWidth(360)}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int w) const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    CircadianFact m_fact;
};
