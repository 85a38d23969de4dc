#pragma once
// The plug-in's version text.

#include "platform/SysUtils.h"

// "Version 2.0", the version line of the About box.
String GetVersionText();
