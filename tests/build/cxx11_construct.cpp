// Compiled with the module's flags by the Build.ModuleRejectsCxx11 test,
// which passes only when this file fails to build.
#include "win32.h"

int UsesCxx11()
{
    auto value = 3;
    int* p = nullptr;
    return p ? value : 0;
}
