#include "task/label_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wavsplice {
namespace {

TEST(LabelFile, ReadsLabelsAndRefusesWhatIsNoLabel) {
  const struct {
    const char* name;
    const char* text;
    std::vector<Label> labels;  // when read
    int32_t errorLine;          // 0: read
    const char* error;
  } cases[] = {
      {"three columns", "1.5\t2.25\tum\n", {{1.5, 2.25, 1}}, 0, ""},
      {"no text, no last line end", "1\t2\t\n3\t4", {{1, 2, 1}, {3, 4, 2}}, 0, ""},
      {"two columns", "1\t2\n", {{1, 2, 1}}, 0, ""},
      {"a frequency line and blank lines", "\n1\t2\tx\n\\\t100\t200\n\n", {{1, 2, 2}}, 0, ""},
      {"CR LF line ends", "1\t2\tx\r\n4\t4\tpoint\r\n", {{1, 2, 1}, {4, 4, 2}}, 0, ""},
      {"a text with tabs and digits", "1\t2\t3\t4\n", {{1, 2, 1}}, 0, ""},
      {"reversed is read (the plan ignores it)", "5\t4\tx\n", {{5, 4, 1}}, 0, ""},
      {"no tab", "1\t2\tx\n1 2 x\n", {}, 2, "this line is no label"},
      {"a comma", "1,5\t2\tx\n", {}, 1, "'1,5' is no time in seconds"},
      {"a clock time", "1\t0:02\tx\n", {}, 1, "'0:02' is no time in seconds"},
      {"negative", "-1\t2\tx\n", {}, 1, "'-1' is no time in seconds"},
      {"not finite", "1\tinf\tx\n", {}, 1, "'inf' is no time in seconds"},
      {"an empty start", "\t2\tx\n", {}, 1, "'' is no time in seconds"},
      {"spaces for tabs", "1 2 x\n", {}, 1, "this line is no label"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Label> labels;
    int32_t errorLine = 0;
    std::string error;
    const bool read = ParseLabels(c.text, labels, errorLine, error);
    EXPECT_EQ(read, c.errorLine == 0);
    if (!read) {
      EXPECT_EQ(errorLine, c.errorLine);
      EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
      continue;
    }
    ASSERT_EQ(labels.size(), c.labels.size());
    for (size_t k = 0; k < labels.size(); ++k) {
      EXPECT_EQ(labels[k].start, c.labels[k].start);
      EXPECT_EQ(labels[k].end, c.labels[k].end);
      EXPECT_EQ(labels[k].line, c.labels[k].line);
    }
  }
}

}  // namespace
}  // namespace wavsplice
