// On Windows the layer's last-error code is the thread's own.
#include <windows.h>

#include "hid/iowkit2.h"

uint32_t IowKit2GetLastError() {
    return GetLastError();
}

void IowKit2SetLastError(uint32_t code) {
    SetLastError(code);
}
