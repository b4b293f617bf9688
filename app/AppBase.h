// The application frame: one static application object derived from AppBase,
// registered as the singleton, whose phases AppMain drives.
#pragma once

#include <cstdint>

#include "app/HeapObject.h"
#include "app/ModuleNames.h"

class AppBase : public HeapObject {
 public:
  // Derives the names from the executable's path and registers the first
  // AppBase constructed as the application.
  AppBase();
  ~AppBase() override;  // leaves the singleton registered
  AppBase(const AppBase&) = delete;
  AppBase& operator=(const AppBase&) = delete;

  // A hook that AppMain does not call; kept empty.
  virtual void Idle() {}
  // 1 lets Run follow; any other value stops.
  virtual std::int32_t Init() = 0;
  // Always called last.
  virtual void Exit() = 0;
  // Its result is the process's exit code.
  virtual std::int32_t Run() = 0;

  void* instance() const { return instance_; }
  const char* command_line() const { return command_line_; }
  std::int32_t show_state() const { return show_state_; }
  const char* base_name() const { return names_.base_name; }
  const char* module_folder() const { return names_.module_folder; }
  const char* ini_path() const { return names_.ini_path; }

 private:
  friend std::int32_t AppMain(void*, void*, const char*, std::int32_t);

  void* instance_;
  const char* command_line_;
  std::int32_t show_state_;
  ModuleNames names_;
  char second_path_[kMaxPath];
  std::uint32_t words_[2];
};

// The registered application, or nullptr before any AppBase was constructed.
AppBase* GetApp();

// Stores the start-up values in the application, runs Init, Run when Init
// gave exactly 1, and always Exit. Returns Run's result, or -1 when Run did
// not run.
std::int32_t AppMain(void* instance, void* previous_instance, const char* command_line,
                     std::int32_t show_state);
