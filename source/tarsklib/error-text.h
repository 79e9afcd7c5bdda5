// The C library's text for an error number, thread-safe on every platform the plug-in builds for.
#pragma once

#include <cstddef>

namespace tarsk {

// Writes the text for errorNumber into buffer (size bytes) when the library needs one, and answers the
// text (the buffer, or a static text of the library); never null.
const char* errorText(int errorNumber, char* buffer, size_t size);

}  // namespace tarsk
