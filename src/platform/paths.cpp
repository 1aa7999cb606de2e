#include <cstring>

#include "platform/platform.h"

bool isDirectorySeparator(char c) {
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

bool joinPath(char* out, size_t size, const char* directory, const char* name) {
    size_t dirLength = std::strlen(directory);
    bool separator = dirLength > 0 && !isDirectorySeparator(directory[dirLength - 1]);
    size_t total = dirLength + (separator ? 1 : 0) + std::strlen(name);
    if (size == 0) return false;
    out[0] = '\0';
    if (total >= size) return false;
    std::memcpy(out, directory, dirLength);
    if (separator) out[dirLength++] = DirectorySeparator;
    std::strcpy(out + dirLength, name);
    return true;
}
