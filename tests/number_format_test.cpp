// Scores and averages are written without printf, and must read exactly as
// "%.1lf" writes them.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

#include "console/console.h"

namespace {

std::string as_printf(double value) {
  char text[400];
  std::snprintf(text, sizeof text, "%.1lf", value);
  return text;
}

std::string as_written(double value) {
  std::string text;
  console::append_fixed1(text, value);
  return text;
}

TEST(NumberFormat, OneDecimalReadsAsPrintfWritesIt) {
  std::vector<double> values = {0.0,  -0.0,   0.05,  0.15,    0.25,    0.35,    0.45,     2.5,       -0.05,
                                -0.04, 0.95,  9.95,  99.95,   70.0 + 1.0 / 3, 123456789.95, 1e22,  1e23,
                                DBL_MAX, -DBL_MAX, DBL_MIN, DBL_TRUE_MIN, 1e-320, 4503599627370496.5,
                                9007199254740993.0, 0.049999999999999996, 0.05000000000000001};
  std::mt19937_64 random(936);
  for (int i = 0; i < 50000; ++i) {
    std::uint64_t bits = random();
    double any;
    std::memcpy(&any, &bits, sizeof any);
    if (std::isfinite(any)) values.push_back(any);
    // Near the ties of one decimal, and ordinary scores.
    values.push_back(static_cast<double>(static_cast<std::int64_t>(random() % 2000001) - 1000000) / 20.0);
    values.push_back(static_cast<double>(random() % 100001) / 1000.0);
    double a = static_cast<double>(random() % 1001) / 10, b = static_cast<double>(random() % 1001) / 10,
           c = static_cast<double>(random() % 1001) / 10;
    values.push_back(static_cast<double>((static_cast<long double>(a) + b + c) / 3));
  }
  std::size_t differing = 0;
  for (double value : values) {
    if (as_written(value) != as_printf(value) && ++differing <= 5) {
      ADD_FAILURE() << as_printf(value) << " written as " << as_written(value);
    }
  }
  EXPECT_EQ(differing, 0u) << "of " << values.size();
  std::string number;
  for (int value : {0, 7, -1, 2147483647, -2147483647 - 1}) console::append_int(number, value);
  EXPECT_EQ(number, "07-12147483647-2147483648");
}

}  // namespace
