// The kit's test-only fault switch: builds with ENDSESSION_CHECK_FAULTS read
// ENDSESSION_CHECK_FAULT, one fault's name or several separated by commas,
// so that the end-to-end cases can show what each safeguard stops. The
// shipped kit is built without it: every fault is off, whatever is set.
#pragma once

#ifdef ENDSESSION_CHECK_FAULTS
#include <stdlib.h>
#include <string.h>

inline bool test_fault(const char* name) {
  const char* chosen = getenv("ENDSESSION_CHECK_FAULT");
  size_t length = strlen(name);
  for (const char* p = chosen; p != nullptr && *p != '\0';) {
    const char* comma = strchr(p, ',');
    size_t part = comma != nullptr ? static_cast<size_t>(comma - p) : strlen(p);
    if (part == length && strncmp(p, name, length) == 0) return true;
    p = comma != nullptr ? comma + 1 : nullptr;
  }
  return false;
}
#else
inline bool test_fault(const char*) { return false; }
#endif
