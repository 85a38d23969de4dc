#pragma once

// Start-up and shut-down of every unit of the module, in unit order, ending with the
// load-time step. The module's DllMain and the test programs call these; they nest.
// A failed start-up raises (the module then does not load).
void InitializeUnits();
void FinalizeUnits();

// The load-time step: TBmpMaskTransition leaves TransitionClasses, so that only its
// successor can be chosen. Asserts (unit ZulEd) that it was registered.
void RemoveBaseMaskTransition();
