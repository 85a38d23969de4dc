#pragma once

// Start-up and shut-down of every unit of the module, in unit order.
// The module's DllMain and the test programs call these; they nest.
void InitializeUnits();
void FinalizeUnits();
