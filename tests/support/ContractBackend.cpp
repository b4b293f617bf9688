#include "support/ContractBackend.h"

#include "backends/memory/MemorySystem.h"
#include "support/TempDir.h"
#include "support/TestRegistry.h"

namespace {

class MemoryBackend : public ContractBackend {
 public:
  MemoryBackend() {
    memory_.AddFolder(kFolder);
    // The values of TestRegistry.h; テスト値 in code page 932 with its NUL.
    memory_.SetRegistryValue("Software\\MesUpdateTest", "Text", os::kRegSz,
                             std::string("\x83\x65\x83\x58\x83\x67\x92\x6C", 9));
    memory_.SetRegistryValue("Software\\MesUpdateTest\\Sub", "Number", os::kRegDword,
                             std::string("\x2A\0\0\0", 4));
  }
  os::System& system() override { return memory_; }
  std::string folder() const override { return kFolder; }
  std::string Path(const std::string& name) const override { return kFolder + ("\\" + name); }

 private:
  static constexpr const char* kFolder = "C:\\Contract";
  backends::memory::MemorySystem memory_;
};

class NativeBackend : public ContractBackend {
 public:
  os::System& system() override { return os::NativeSystem(); }
  std::string folder() const override { return dir_.path(); }
  std::string Path(const std::string& name) const override { return dir_.Path(name); }

 private:
  TempDir dir_;
  TestRegistry registry_;
};

}  // namespace

std::unique_ptr<ContractBackend> MakeMemoryBackend() { return std::make_unique<MemoryBackend>(); }
std::unique_ptr<ContractBackend> MakeNativeBackend() { return std::make_unique<NativeBackend>(); }
