#include "app/AppBase.h"

#include <cstring>

#include "os/Process.h"

namespace {
AppBase* g_app = nullptr;
}  // namespace

AppBase::AppBase()
    : instance_(nullptr), command_line_(nullptr), show_state_(0), names_{}, second_path_{},
      words_{0, 0} {
  char module_path[kMaxPath] = {};
  std::uint32_t length = os::ModuleFileName(module_path, kMaxPath);
  // A path the platform cannot deliver, or one it had to cut, leaves the names empty.
  if (length > 0 && length < kMaxPath) {
    DeriveModuleNames(module_path, os::IsAnsiLeadByte, &names_);
  }
  if (!g_app) g_app = this;
}

AppBase::~AppBase() = default;

AppBase* GetApp() { return g_app; }

std::int32_t AppMain(void* instance, void* /*previous_instance*/, const char* command_line,
                     std::int32_t show_state) {
  AppBase* app = GetApp();
  app->instance_ = instance;
  app->command_line_ = command_line;
  app->show_state_ = show_state;

  std::int32_t result = -1;
  if (app->Init() == 1) result = app->Run();
  app->Exit();
  return result;
}
