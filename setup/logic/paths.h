// Bounded narrow strings for the scripts' fixed buffers: nothing is ever
// built past its buffer, and a path that does not fit is refused whole.
#ifndef OVTOUCH_SETUP_LOGIC_PATHS_H
#define OVTOUCH_SETUP_LOGIC_PATHS_H

#include <stddef.h>
#include <stdint.h>

namespace ovt::setup {

// Limits of the installation's buffers (bytes, NUL included).
constexpr uint32_t kPathBuffer = 292;
constexpr uint32_t kProgramsBuffer = 512;
constexpr int kLinkPathUnits = 260;
constexpr uint32_t kMessageBuffer = 1200;  // a message naming an over-long path

// Appends text; false (and the text unchanged) when it would not fit.
bool Append(char* buffer, size_t size, const char* text);
// buffer := a followed by b (either may be null); false when it does not fit.
bool Join(char* buffer, size_t size, const char* a, const char* b);
// buffer := a b c d, cut to fit with a trailing "..." when too long: for
// messages, which must name a path even when it is over-long.
void JoinForMessage(char* buffer, size_t size, const char* a, const char* b, const char* c = 0,
                    const char* d = 0);
size_t Length(const char* text);
bool Equal(const char* a, const char* b);

}  // namespace ovt::setup

#endif
