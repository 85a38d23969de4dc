#include "host/ZulEd.h"

#include "effects/teBlend.h"
#include "effects/teBmpMk2.h"
#include "effects/teBmpMsk.h"
#include "effects/teFuse.h"
#include "engine/TransEff.h"
#include "host/zulWork.h"
#include "imaging/teBlndWk.h"
#include "imaging/teRender.h"
#include "platform/Forms.h"
#include "platform/Threads.h"

namespace {
int gUnitsNesting = 0;
}

void InitializeUnits()
{
    if (gUnitsNesting++ > 0)
        return;
    // Unit start-ups, in unit order.
    InitializeForms();
    InitThreads();
    teRenderInitialize();
    InitBlendKernels();
    InitializeTransEff();
    InitializeTeBlend();
    InitializeTeFuse();
    InitializeTeBmpMsk();
    InitializeTeBmpMk2();
    InitializeZulWork();
    RemoveBaseMaskTransition();
}

void FinalizeUnits()
{
    if (--gUnitsNesting > 0)
        return;
    // Unit shut-downs, in reverse unit order.
    FinalizeZulWork();
    FinalizeTransEff();
    teRenderFinalize();
    DoneThreads();
    FinalizeForms();
}

void RemoveBaseMaskTransition()
{
    int index = TransitionClasses ? TransitionClasses->IndexOf(&TBmpMaskTransition::ClassInfo) : -1;
    ZUL_ASSERT(index >= 0, "ZulEd");
    TransitionClasses->Delete(index);
}
