// Makes the registry the wrapper tests read available to the build's backend:
//   HKLM\Software\MesUpdateTest        Text   REG_SZ     "テスト値"
//   HKLM\Software\MesUpdateTest\Sub    Number REG_DWORD  42
// Under Wine the test prefix holds these keys already; on Linux a system.reg
// is written to a temporary prefix that WINEPREFIX points at.
#pragma once

class TestRegistry {
 public:
  TestRegistry();
  ~TestRegistry();
  TestRegistry(const TestRegistry&) = delete;
  TestRegistry& operator=(const TestRegistry&) = delete;

 private:
  struct State;
  State* state_;
};
