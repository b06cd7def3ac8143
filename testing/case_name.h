// Names for the rows of a parameterised test, so that CTest lists each row
// under a short readable name (`ctest -R Table/ScannerTokens.*/Dotted`) and
// a failure says which row failed.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace krv::testing {

// For a table whose rows carry a `name` field.
struct CaseName {
  template <class Row>
  std::string operator()(const ::testing::TestParamInfo<Row>& info) const {
    return info.param.name;
  }
};

}  // namespace krv::testing
