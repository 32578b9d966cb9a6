// The embedded runtime the editor stands on: Debian's interpreter with the
// libraries the editor drives, and Python's own number text.
#include <gtest/gtest.h>

#include "pyrt.h"

namespace py = pybind11;
using arcflex::py_repr;

TEST(Runtime, NumberTextIsPythonsRepr) {
  EXPECT_EQ(py_repr(py::float_(1.0)), "1.0");
  EXPECT_EQ(py_repr(py::float_(1e-05)), "1e-05");
  EXPECT_EQ(py_repr(py::float_(200.0 / 30.0)), "6.666666666666667");
  EXPECT_EQ(py_repr(py::int_(10)), "10");
  EXPECT_EQ(py_repr(py::float_(0.1 + 0.2)), "0.30000000000000004");
}

TEST(Runtime, SplevEvaluatesALinearSpline) {
  py::list knots, coeffs_x, coeffs_y;
  for (double k : {0.0, 0.0, 1.0, 1.0}) knots.append(k);
  coeffs_x.append(0.0);
  coeffs_x.append(2.0);
  coeffs_y.append(1.0);
  coeffs_y.append(3.0);
  py::list coeffs;
  coeffs.append(coeffs_x);
  coeffs.append(coeffs_y);
  py::tuple tck = py::make_tuple(knots, coeffs, 1);
  py::object out = arcflex::splev_fn()(0.5, tck);
  auto xy = out.cast<std::vector<double>>();
  ASSERT_EQ(xy.size(), 2u);
  EXPECT_DOUBLE_EQ(xy[0], 1.0);
  EXPECT_DOUBLE_EQ(xy[1], 2.0);
}
