#include "updater/PatchSet.h"

#include <string>
#include <vector>

#include "archive/ArchiveExamination.h"
#include "archive/MesArchive.h"
#include "archive/PatchedCheck.h"
#include "platform/FileHandle.h"

// The order pairs names with resources, and is the order of the new entries
// in the index and of their data at the end of the archive.
const PatchSetEntry PatchSet::kEntries[PatchSet::kCount] = {
    {"T27C.MES", 110},     {"C_TALK00.MES", 111}, {"C_TALK80.MES", 112},
    {"C_TALK90.MES", 113}, {"T09C.MES", 114},
};

os::PayloadBytes LoadPayload(int resource_id) {
  return os::Sys().FindPayload(resource_id);
}

bool LoadPatchSetPayloads(std::vector<archive::ExpectedPayload>* payloads, const char** missing) {
  payloads->clear();
  for (const PatchSetEntry& entry : PatchSet::kEntries) {
    const os::PayloadBytes payload = LoadPayload(entry.resource_id);
    if (payload.data == nullptr) {
      if (missing) *missing = entry.name;
      return false;
    }
    payloads->push_back(
        {entry.name, std::string_view(reinterpret_cast<const char*>(payload.data), payload.size)});
  }
  return true;
}

namespace {

bool ReadAt(SizedInputFile* file, std::uint64_t offset, std::uint32_t size, std::string* out) {
  out->assign(size, '\0');
  std::uint32_t got = 0;
  return offset <= 0xFFFFFFFFu && file->Seek(static_cast<std::uint32_t>(offset), os::kSeekBegin) &&
         (size == 0 || (file->ReadCounted(&(*out)[0], size, &got) && got == size));
}

// The count and the index, as the lenient examiner wants them.
bool ReadIndexBytes(SizedInputFile* file, std::string* head) {
  std::string count;
  if (!ReadAt(file, 0, kCountSize, &count)) return false;
  const std::uint64_t end = archive::IndexEnd(archive::DecodeCount(count));
  return end <= file->GetSize() && ReadAt(file, 0, static_cast<std::uint32_t>(end), head);
}

// The updater writes every entry's data whole after the index, each where the
// previous one ends, with nothing after the last. A leftover laid out
// otherwise (an entry over the index, a gap, an overlap) is not its work, or
// was torn.
bool LaidOutAsWritten(const archive::Examination& examination) {
  for (const archive::ExaminedEntry& entry : examination.entries) {
    if (entry.misplaced) return false;
  }
  return examination.trailing_bytes == 0;
}

}  // namespace

bool CarriesPatchSet(const char* path) {
  // Complete first: its index then fits the file, so reading it is bounded.
  if (MesArchive::IsCompleteArchive(path) != 1) return false;
  std::vector<archive::ExpectedPayload> payloads;
  if (!LoadPatchSetPayloads(&payloads)) return false;

  SizedInputFile file;
  std::string head;
  if (!file.OpenForRead(path) || !ReadIndexBytes(&file, &head)) return false;
  const archive::Examination examination = archive::ExamineArchive(head, file.GetSize());
  if (!archive::ReaderAccepts(examination) || !LaidOutAsWritten(examination)) return false;
  return archive::CheckPayloads(examination, payloads,
                                [&file](std::uint64_t offset, std::uint32_t size, std::string* out) {
                                  return ReadAt(&file, offset, size, out);
                                })
      .Patched();
}

ArchiveState ExamineInstalledArchive(const char* path) {
  std::vector<archive::ExpectedPayload> payloads;
  SizedInputFile file;
  std::string head;
  if (!LoadPatchSetPayloads(&payloads) || !file.OpenForRead(path) ||
      !ReadIndexBytes(&file, &head)) {
    return ArchiveState::kDamaged;
  }
  const archive::Examination examination = archive::ExamineArchive(head, file.GetSize());
  if (!archive::ReaderAccepts(examination)) return ArchiveState::kDamaged;
  const archive::PayloadCheck check = archive::CheckPayloads(
      examination, payloads, [&file](std::uint64_t offset, std::uint32_t size, std::string* out) {
        return ReadAt(&file, offset, size, out);
      });
  if (check.read_failed) return ArchiveState::kDamaged;
  if (check.Patched()) return ArchiveState::kPatched;
  return check.SameCount() == 0 ? ArchiveState::kOriginal : ArchiveState::kPartlyPatched;
}
