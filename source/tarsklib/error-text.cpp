// errorText: strerror_s where the C library is Microsoft's, the GNU strerror_r elsewhere.
#include "tarsklib/error-text.h"

#include <cstring>

namespace tarsk {

const char* errorText(int errorNumber, char* buffer, size_t size) {
    if (buffer == nullptr || size == 0) {
        return "unknown error";
    }
#ifdef _WIN32
    if (strerror_s(buffer, size, errorNumber) != 0) {
        return "unknown error";
    }
    return buffer;
#else
    // The GNU strerror_r answers a pointer that may or may not be the buffer.
    const char* text = strerror_r(errorNumber, buffer, size);
    return text != nullptr ? text : "unknown error";
#endif
}

}  // namespace tarsk
