#pragma once
// What the process really holds, for leak checks. GetGuiResources answers 0 under Wine,
// so GDI objects are counted in the process's GDI handle table and USER objects as the
// process's windows (top-level, children and message-only).

// Live GDI objects of this process; -1 when the handle table cannot be read or its
// layout is not the expected one (checked against a brush made for the purpose).
int CountGdiObjects();

// Windows that belong to this process.
int CountProcessWindows();
