// Stand-in for the SDK's <windows.h> on platforms without one: it offers the registry API only.
#pragma once
#include "winreg.h"
