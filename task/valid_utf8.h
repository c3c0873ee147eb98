// Text from the task file is bytes in no particular character set; the JSON report and the timeline
// picture need valid UTF-8, and the picture, being XML, also only the characters XML allows.
#pragma once

#include <string>

namespace wavsplice {

// text with every byte that does not begin a well-formed UTF-8 sequence replaced by U+FFFD;
// replaced is set when any was.
std::string ValidUtf8(const std::string& text, bool& replaced);

// utf8 (valid UTF-8, as ValidUtf8 returns it) with the characters XML 1.0 does not allow replaced:
// control characters by '?', tab and line ends too (a label is one line), and U+FFFE and U+FFFF by
// U+FFFD. Surrogates are not valid UTF-8, and every other character is allowed.
std::string XmlChars(const std::string& utf8);

}  // namespace wavsplice
