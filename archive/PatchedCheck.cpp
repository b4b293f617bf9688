#include "archive/PatchedCheck.h"

#include <algorithm>

namespace archive {

bool PayloadCheck::Patched() const {
  return !read_failed && SameCount() == matches.size();
}

std::size_t PayloadCheck::SameCount() const {
  return static_cast<std::size_t>(std::count(matches.begin(), matches.end(), PayloadMatch::kSame));
}

PayloadCheck CheckPayloads(const Examination& examination,
                           const std::vector<ExpectedPayload>& payloads,
                           const ArchiveBytesReader& read) {
  PayloadCheck check;
  std::string data;
  for (const ExpectedPayload& payload : payloads) {
    const ExaminedEntry* entry = FindFirst(examination, payload.name);
    if (entry == nullptr) {
      check.matches.push_back(PayloadMatch::kMissing);
      continue;
    }
    if (entry->size != payload.data.size()) {
      check.matches.push_back(PayloadMatch::kDiffers);
      continue;
    }
    if (!read(entry->offset, entry->size, &data)) {
      check.read_failed = true;
      check.unreadable_name = std::string(payload.name);
      return check;
    }
    check.matches.push_back(data == payload.data ? PayloadMatch::kSame : PayloadMatch::kDiffers);
  }
  return check;
}

}  // namespace archive
