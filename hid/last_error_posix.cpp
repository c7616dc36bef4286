// Natively the layer's last-error code is a per-thread value, like Windows'.
#include "hid/iowkit2.h"

namespace {
thread_local uint32_t lastError = 0;
}

uint32_t IowKit2GetLastError() {
    return lastError;
}

void IowKit2SetLastError(uint32_t code) {
    lastError = code;
}
