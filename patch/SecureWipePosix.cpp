#include "patch/SecureWipe.h"

#include <string.h>

void SecureWipe(void* data, size_t size) {
    if (data && size) explicit_bzero(data, size);
}
