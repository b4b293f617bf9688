// Writes the fuzzer's seed archives into the folder given on the command line:
//   cmake --build build/fuzz --target make_corpus && build/fuzz/make_corpus fuzz/corpus/archive
#include <cstdio>
#include <string>

#include "support/ArchiveBuilder.h"

using archive_test::ArchiveBuilder;

namespace {

bool Write(const std::string& folder, const char* name, const std::string& bytes) {
  const std::string path = folder + "/" + name;
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool written =
      bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  const bool ok =
      Write(folder, "empty.arc", ArchiveBuilder().Build()) &&
      Write(folder, "regular.arc",
            ArchiveBuilder()
                .AddSized("T27C.MES", 40, 1)
                .AddSized("C_TALK00.MES", 25, 2)
                .Add("EMPTY.MES", "")
                .AddSized("B.MES", 9, 3)
                .Build()) &&
      Write(folder, "rebuilt-twice.arc",
            ArchiveBuilder()
                .AddSized("T27C.MES__", 12, 1)
                .AddSized("T27C.MES__", 7, 2)
                .AddSized("t27c.mes", 5, 3)
                .AddSized("ABCDEFGHIJKLMNOPQRS.MES", 3, 4)
                .Build()) &&
      Write(folder, "irregular.arc",
            ArchiveBuilder()
                .Gap(5)
                .AddSized("A.MES", 30, 5)
                .AddPointing("SHARED.MES", 10, 4 + 3 * 32 + 5 + 4)
                .Gap(2)
                .AddSized("C.MES", 6, 6)
                .Trailing("tail")
                .NameFiller('\x5A')
                .Build()) &&
      Write(folder, "bad-name.arc", ArchiveBuilder().AddSized(std::string(24, 'N'), 4, 7).Build());
  return ok ? 0 : 1;
}
