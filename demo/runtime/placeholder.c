/* The distribution's stand-ins for the C runtime and the application
 * framework: libraries with no code beyond an entry point that accepts every
 * load, so that they need no runtime themselves. The setup program only copies
 * them and compares their version resources. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

BOOL WINAPI DllMainCRTStartup(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}
