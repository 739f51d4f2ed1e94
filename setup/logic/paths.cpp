#include "paths.h"

namespace ovt::setup {

size_t Length(const char* text) {
    size_t n = 0;
    if (text) while (text[n]) ++n;
    return n;
}

bool Equal(const char* a, const char* b) {
    if (!a || !b) return a == b;
    while (*a && *a == *b) ++a, ++b;
    return *a == *b;
}

bool Append(char* buffer, size_t size, const char* text) {
    const size_t have = Length(buffer);
    const size_t add = Length(text);
    if (have + add + 1 > size) return false;
    for (size_t i = 0; i < add; ++i) buffer[have + i] = text[i];
    buffer[have + add] = 0;
    return true;
}

bool Join(char* buffer, size_t size, const char* a, const char* b) {
    if (size == 0) return false;
    buffer[0] = 0;
    if (Append(buffer, size, a) && Append(buffer, size, b)) return true;
    buffer[0] = 0;
    return false;
}

void JoinForMessage(char* buffer, size_t size, const char* a, const char* b, const char* c, const char* d) {
    if (size < 4) {
        if (size) buffer[0] = 0;
        return;
    }
    const char* parts[4] = {a, b, c, d};
    size_t n = 0;
    for (const char* p : parts) {
        for (size_t i = 0; p && p[i]; ++i) {
            if (n + 1 >= size) {
                buffer[size - 4] = buffer[size - 3] = buffer[size - 2] = '.';
                buffer[size - 1] = 0;
                return;
            }
            buffer[n++] = p[i];
        }
    }
    buffer[n] = 0;
}

}  // namespace ovt::setup
