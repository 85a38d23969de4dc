#include "host/ZulEd.h"

namespace {
int gUnitsNesting = 0;
}

void InitializeUnits()
{
    if (gUnitsNesting++ > 0)
        return;
    // Unit start-ups, in unit order.
}

void FinalizeUnits()
{
    if (--gUnitsNesting > 0)
        return;
    // Unit shut-downs, in reverse unit order.
}
