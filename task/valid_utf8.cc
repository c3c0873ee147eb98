#include "task/valid_utf8.h"

#include <cstddef>

namespace wavsplice {

// Each byte that does not begin a well-formed sequence becomes U+FFFD.
std::string ValidUtf8(const std::string& text, bool& replaced) {
  std::string out;
  size_t at = 0;
  while (at < text.size()) {
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    size_t length = lead < 0x80                    ? 1
                    : lead >= 0xC2 && lead <= 0xDF ? 2
                    : lead >= 0xE0 && lead <= 0xEF ? 3
                    : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                   : 0;
    bool valid = length > 0 && at + length <= text.size();
    for (size_t k = 1; valid && k < length; ++k) {
      valid = (static_cast<unsigned char>(text[at + k]) & 0xC0) == 0x80;
    }
    if (valid && length >= 3) {
      const unsigned char second = static_cast<unsigned char>(text[at + 1]);
      // Overlong forms, surrogates and code points past U+10FFFF.
      if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
          (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F)) {
        valid = false;
      }
    }
    if (valid) {
      out.append(text, at, length);
      at += length;
    } else {
      out += "\xEF\xBF\xBD";
      replaced = true;
      ++at;
    }
  }
  return out;
}

std::string XmlChars(const std::string& utf8) {
  // In valid UTF-8 the byte 0xEF only ever leads a character, so EF BF BE and EF BF BF are U+FFFE
  // and U+FFFF wherever they stand.
  const auto forbiddenAt = [&utf8](size_t at) {
    return utf8.compare(at, 3, "\xEF\xBF\xBE") == 0 || utf8.compare(at, 3, "\xEF\xBF\xBF") == 0;
  };
  std::string out;
  size_t at = 0;
  while (at < utf8.size()) {
    if (forbiddenAt(at)) {
      out += "\xEF\xBF\xBD";
      at += 3;
      continue;
    }
    const char c = utf8[at++];
    out += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
  }
  return out;
}

}  // namespace wavsplice
