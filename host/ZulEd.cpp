#include "host/ZulEd.h"

#include "imaging/teBlndWk.h"
#include "imaging/teRender.h"
#include "platform/Threads.h"

namespace {
int gUnitsNesting = 0;
}

void InitializeUnits()
{
    if (gUnitsNesting++ > 0)
        return;
    // Unit start-ups, in unit order.
    InitThreads();
    teRenderInitialize();
    InitBlendKernels();
}

void FinalizeUnits()
{
    if (--gUnitsNesting > 0)
        return;
    // Unit shut-downs, in reverse unit order.
    teRenderFinalize();
    DoneThreads();
}
