// The test program's application object: the registered singleton, whose
// phases record their calls and return what a test asks for.
#pragma once

#include <cstdint>
#include <string>

#include "app/AppBase.h"

class TestApp : public AppBase {
 public:
  std::int32_t Init() override {
    calls += "I";
    return init_result;
  }
  void Exit() override { calls += "E"; }
  std::int32_t Run() override {
    calls += "R";
    return run_result;
  }

  std::int32_t init_result = 1;
  std::int32_t run_result = 1;
  std::string calls;
};

TestApp& GetTestApp();
