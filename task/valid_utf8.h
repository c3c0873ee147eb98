// Text from the task file is bytes in no particular character set; the
// JSON report and the timeline picture need valid UTF-8.
#pragma once

#include <string>

namespace wavsplice {

// text with every byte that does not begin a well-formed UTF-8 sequence
// replaced by U+FFFD; replaced is set when any was.
std::string ValidUtf8(const std::string& text, bool& replaced);

}  // namespace wavsplice
