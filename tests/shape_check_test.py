#!/usr/bin/env python3
"""scripts/check_shape.py measures each function body from its opening brace
to its closing one, whatever braces stand in defaults, strings or lists."""
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(sys.argv[1]) / "scripts"))
import check_shape  # noqa: E402

SAMPLE = r"""extern "C" {
int plain(int a) {
  return a;
}
}
enum class Color : int { kRed = 1 << 2, kBlue = kRed * 2 };
auto lambda = [](int x) {
  return x + 1;
};
struct alignas(8) S {
  S(int x) : a_{x}, b_(f({1, 2})) {
    if (x) {
    }
  }
  void refQualified() && {
  }
  int a_{3}, b_;
};
Shape shape(double start, std::vector<int> pauses = {},
            bool roundTrip = false) {
  const char* raw = R"x(a { b } " )x";
  return {start, 30'000, L'a', '{'};
}
int attempt(int x) try {
  return x;
} catch (...) {
  return 0;
}
#warning don't
#define OPEN(x) \
  {
template <class T>
T last(T t) requires Small<T> { return t; }
"""

# (first line, lines) of each body.
EXPECTED = [(2, 3), (7, 3), (11, 4), (15, 2), (20, 4), (24, 5), (33, 1)]

found = [(first, count) for first, count, _ in check_shape.functions(SAMPLE)]
if found != EXPECTED:
    print(f"found {found}\nwanted {EXPECTED}")
    sys.exit(1)
