// Whether an archive carries a set of payloads byte for byte, each under its
// name as the updater's lookup finds it. `mesarc status` and the updater's
// recovery of a leftover new archive decide "patched" here, the same way.
// The caller hands over the payload bytes and reads the archive's bytes, so
// this knows neither files nor where the payloads come from.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/ArchiveExamination.h"

namespace archive {

struct ExpectedPayload {
  std::string_view name;  // as stored, upper case
  std::string_view data;
};

enum class PayloadMatch { kSame, kDiffers, kMissing };

// Reads size bytes at offset of the archive into out; false when it cannot.
using ArchiveBytesReader =
    std::function<bool(std::uint64_t offset, std::uint32_t size, std::string* out)>;

struct PayloadCheck {
  std::vector<PayloadMatch> matches;  // one per payload, in the order given
  bool read_failed = false;           // an entry's data could not be read
  std::string unreadable_name;        // that entry's name

  bool Patched() const;  // read in full and every payload the same
  std::size_t SameCount() const;
};

// The archive must be one the reader accepts (ReaderAccepts). Entries whose
// size differs from their payload's are never read.
PayloadCheck CheckPayloads(const Examination& examination,
                           const std::vector<ExpectedPayload>& payloads,
                           const ArchiveBytesReader& read);

}  // namespace archive
