#pragma once
// Graphics types of the class library stand-in: colours, pixel formats, bitmaps, canvases.

#include <cstdint>

#include "platform/SysUtils.h"

// $00BBGGRR; negative values name system colours (clBtnFace = clSystemColor | COLOR_BTNFACE).
using TColor = int32_t;
constexpr TColor clSystemColor = static_cast<TColor>(0xFF000000);
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clBtnFace = clSystemColor | 15;   // COLOR_BTNFACE
constexpr TColor clWindow = clSystemColor | 5;     // COLOR_WINDOW

enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };

class TBitmap;
class TCanvas;
