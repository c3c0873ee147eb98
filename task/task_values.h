// Reading the values of a task file: numbers as the reader takes them, the clock times of seconds
// mode, and whether a value was wholly a number.
#pragma once

#include <string>

namespace wavsplice {

// A number as the reader takes it: the longest leading part that strtod reads (leading white space
// skipped), 0 when there is none.
double LeadingNumber(const char* token);

// True when token is a clock time, M:SS(.fff) or H:MM:SS(.fff) with an optional sign, minutes and
// seconds below 60 after the first field; seconds is then that many seconds (1:30 is 90).
bool ClockSeconds(const char* token, double& seconds);

// A time value of xin, xout, trim or ins: a clock time counts in seconds mode, otherwise the
// leading number.
double TaskTime(const char* token, bool sampleMode);

// True when the whole token (trailing white space aside) is read as its number: by strtod, or as a
// clock time when clockAllowed.
bool WhollyNumber(const char* token, bool clockAllowed);

// True when the whole token is a base-10 integer as strtol reads it.
bool WhollyInteger(const char* token);

}  // namespace wavsplice
