#pragma once
// Bitmap and display utilities, processor and Windows-version flags.

// Processor features, filled at start-up from CPUID.
extern bool CpuHasMMX;
extern bool CpuHasMMXExt;   // SSE, or AMD's MMX extensions

void DetectCpuFeatures();
