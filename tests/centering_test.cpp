// The placement rule, checked against the real source file: the test target
// compiles src/main.cpp with its entry point renamed.
#include <gtest/gtest.h>

#include <string>

void zan_gui_centering(int& x, int& y, std::string text);

namespace {

struct Case {
  std::string text;
  int column;
};

void PrintTo(const Case& c, std::ostream* out) { *out << "length " << c.text.size(); }

std::string length_name(const testing::TestParamInfo<Case>& info) {
  return "length_" + std::to_string(info.param.text.size());
}

class Centering : public testing::TestWithParam<Case> {};

TEST_P(Centering, CentresAcrossTheWindowOnRow24) {
  int x = 12345;
  int y = -777;  // the row must not depend on what y held
  zan_gui_centering(x, y, GetParam().text);
  EXPECT_EQ(x, GetParam().column) << "length " << GetParam().text.size();
  EXPECT_EQ(y, 24);
}

INSTANTIATE_TEST_SUITE_P(Hints, Centering,
                         testing::Values(Case{"Press 'q' to quit.", 31},
                                         Case{"Press 'r' for red text.", 28},
                                         Case{"Press 'w' for white text.", 27},
                                         Case{"Press 'b' for blue background.", 25}),
                         length_name);

// Odd and negative differences truncate toward zero, never toward minus
// infinity and never through an unsigned wrap.
INSTANTIATE_TEST_SUITE_P(Lengths, Centering,
                         testing::Values(Case{"", 40}, Case{std::string(80, 'a'), 0},
                                         Case{std::string(81, 'a'), 0},
                                         Case{std::string(82, 'a'), -1},
                                         Case{std::string(83, 'a'), -1},
                                         Case{std::string(100, 'a'), -10}),
                         length_name);

}  // namespace
