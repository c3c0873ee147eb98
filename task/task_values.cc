#include "task/task_values.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace wavsplice {

namespace {

bool OnlySpaceFrom(const char* at) {
  while (*at != '\0' && std::isspace(static_cast<unsigned char>(*at))) ++at;
  return *at == '\0';
}

bool Digit(char c) { return c >= '0' && c <= '9'; }

// Reads a field of exactly two digits below 60 at text, advancing it.
bool TwoDigitsBelowSixty(const char*& text, int& value) {
  if (!Digit(text[0]) || !Digit(text[1])) return false;
  value = (text[0] - '0') * 10 + (text[1] - '0');
  text += 2;
  return value < 60;
}

}  // namespace

double LeadingNumber(const char* token) { return std::strtod(token, nullptr); }

bool ClockSeconds(const char* token, double& seconds) {
  const char* at = token;
  double sign = 1;
  if (*at == '+' || *at == '-') sign = *at++ == '-' ? -1 : 1;
  if (!Digit(*at)) return false;
  // The first field: hours or minutes, any number of digits.
  double first = 0;
  while (Digit(*at)) first = first * 10 + (*at++ - '0');
  if (*at++ != ':') return false;
  int second = 0;
  if (!TwoDigitsBelowSixty(at, second)) return false;
  double total = first * 60 + second;
  if (*at == ':') {
    ++at;
    int third = 0;
    if (!TwoDigitsBelowSixty(at, third)) return false;
    total = total * 60 + third;
  }
  if (*at == '.') {
    const char* fraction = at;
    ++at;
    if (!Digit(*at)) return false;
    while (Digit(*at)) ++at;
    total += std::strtod(std::string(fraction, at).c_str(), nullptr);
  }
  if (*at != '\0') return false;
  seconds = sign * total;
  return true;
}

double TaskTime(const char* token, bool sampleMode) {
  double seconds = 0;
  if (!sampleMode && ClockSeconds(token, seconds)) return seconds;
  return LeadingNumber(token);
}

bool WhollyNumber(const char* token, bool clockAllowed) {
  double seconds = 0;
  if (clockAllowed && ClockSeconds(token, seconds)) return true;
  char* end = nullptr;
  std::strtod(token, &end);
  return end != token && OnlySpaceFrom(end);
}

bool WhollyInteger(const char* token) {
  char* end = nullptr;
  std::strtol(token, &end, 10);
  return end != token && OnlySpaceFrom(end);
}

}  // namespace wavsplice
