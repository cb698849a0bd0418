#pragma once

#include "insights/ScheduleViewLogic.h"

#include <QList>
#include <QString>

// One short fact about light, sleep and eyes, with its symbol and colour.
struct CircadianFact {
    QString icon;
    QString title;
    QString body;
    RampColour color;

    // The fixed table of 28; hosts index it modulo its length.
    static const QList<CircadianFact>& allFacts();
};
