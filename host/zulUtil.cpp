#include "host/zulUtil.h"

String GetVersionText()
{
    return "Version 2.0";
}
