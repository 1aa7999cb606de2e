#include "frontend/text_io.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>

bool quietOutput = false;

void sendLine(const char* format, ...) {
    if (quietOutput) return;
    char buffer[OutputLineSize];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer, sizeof buffer - 1, format, args);
    va_end(args);
    if (n < 0) n = 0;
    if (n > int(sizeof buffer) - 2) n = int(sizeof buffer) - 2;
    buffer[n] = '\n';
    std::fwrite(buffer, 1, size_t(n) + 1, stdout);
    std::fflush(stdout);
}

int parseDecimal(const char* text) {
    const char* p = text;
    while (*p == ' ' || *p == '\t') p++;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    int64_t value = 0;
    while (*p >= '0' && *p <= '9') {
        if (value <= int64_t(INT32_MAX) + 1) value = value * 10 + (*p - '0');
        p++;
    }
    if (negative) value = -value;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return int(value);
}
