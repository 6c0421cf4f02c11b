#include "patch/SecureWipe.h"

#include <windows.h>

void SecureWipe(void* data, size_t size) {
    if (data && size) SecureZeroMemory(data, size);
}
