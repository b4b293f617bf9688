// Every text the player can see, byte for byte in Shift-JIS. The expected
// bytes come from iconv, not from the program:
//   printf '%s' '…' | iconv -f UTF-8 -t CP932 | xxd -p
#include <gtest/gtest.h>

#include <string>

#include "platform/MessageTexts.h"

namespace {

std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

TEST(MessageTextsTest, EveryTextIsExactlyItsShiftJisBytes) {
  const struct {
    const char* text;
    const char* hex;
  } cases[] = {
      {text::kCaptionArchive, "b1afccdfc3deb0c4"},
      {text::kCaptionSwap, "b1afccdfc3deb0c0"},
      {text::kArchiveNotFound, "25732082aa8ca982c282a982e882dc82b982f18142"},
      {text::kCountReadFailed,
       "2573202d20837483408343838b909482cc8ee693be82c98eb8947382b582dc82b582bd"
       "8142"},
      {text::kIndexAllocFailed,
       "2573202d2083778362835f815b82cc83818382838a815b8a6d95db82c98eb8947382b5"
       "82dc82b582bd8142"},
      {text::kIndexReadFailed, "2573202d2083778362835f815b82cc8ee693be82c98eb8947382b582dc82b582bd8142"},
      {text::kEntrySeekFailed, "2573202d20837483408343838b8356815b834e83478389815b"},
      {text::kEntryNotFound, "2573202d20837483408343838b8c9f8df583478389815b"},
      {text::kEntryReadFailed, "2573202d20837483408343838b93c782dd8d9e82dd83478389815b8142"},
      {text::kWriteFailed, "2573202d20837483408343838b8f9182ab8d9e82dd83478389815b8142"},
      {text::kEntryAllocFailed, "2573202d2083818382838a815b8a6d95db82c98eb8947382b582dc82b582bd8142"},
      {text::kNotInstalled,
       "8175837e838b834a8369817682aa8343839383588367815b838b82b382ea82c482a282"
       "dc82b982f18142"},
      {text::kConfirmUpdate,
       "8175837e838b834a8369817682cc8356835883658380837483408343838b82f0834183"
       "6283768366815b836782b582dc82b781420a81a68175837e838b834a8369817682f08b"
       "4e93ae82b582c482a282e98fea8d8782cd81418f4997b982b382b982c482a882a282c4"
       "82ad82be82b382a20a82e682eb82b582a282c582b782a98142"},
      {text::kDeleteFailed, "4d65732e6172632082cc8ded8f9c82c98eb8947382b582dc82b582bd8142202564"},
      {text::kRenameFailed, "4d65732e6172632082ccd8c8b0d182c98eb8947382b582dc82b582bd8142202564"},
      {text::kUpdateCompleted,
       "8175837e838b834a8369817682cc835683588365838082aa96b38e968d58905682b382"
       "ea82dc82b582bd8142"},
  };
  for (const auto& c : cases) EXPECT_EQ(std::string(c.text), FromHex(c.hex)) << c.hex;
}

}  // namespace
