#include "updater/UpdaterApp.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "archive/MesArchive.h"
#include "platform/MessageBox.h"
#include "platform/RegistryKey.h"
#include "platform/MessageTexts.h"
#include "updater/PatchSet.h"

using os::MessageStyle;
using os::Sys;

namespace {

constexpr char kArchiveName[] = "\\mes.arc";
constexpr char kNewFileFormat[] = "%s_";
// The new file's path adds one byte to the archive path.
constexpr std::size_t kLongestArchivePath = kMaxPath - 2;

// The program's own messages carry its base name as their caption.
os::MessageAnswer ShowUnderName(const char* base_name, const char* text, MessageStyle style) {
  return Sys().ShowMessage(text, base_name, os::CaptionEncoding::kSystem, style);
}

void ShowSwapFailure(const char* format) {
  ShowFormattedMessage(text::kCaptionSwap, os::CaptionEncoding::kShiftJis,
                       MessageStyle::kWarning, format, static_cast<int>(Sys().LastError()));
}

}  // namespace

UpdaterApp::UpdaterApp() : archive_path_{} {}

std::int32_t UpdaterApp::Init() {
  if (!ReadArchivePath()) {
    ShowUnderName(base_name(), text::kNotInstalled, MessageStyle::kInformation);
    return 0;
  }
  return Confirm() ? 1 : 0;
}

void UpdaterApp::Exit() {}

std::int32_t UpdaterApp::Run() {
  if (!UpdateArchive()) return kExitNotUpdated;
  ShowUnderName(base_name(), text::kUpdateCompleted, MessageStyle::kWarning);
  return kExitUpdated;
}

bool UpdaterApp::ReadArchivePath() { return ReadGameArchivePath(archive_path_); }

// The key is closed when this returns, before the player is asked anything.
bool ReadGameArchivePath(char* archive_path) {
  RegistryKey key;
  if (!key.Open(os::kHkeyLocalMachine, kGameKey, os::kKeyAllAccess)) return false;
  std::uint32_t type = 0;
  std::uint32_t size = kMaxPath;
  if (!key.QueryValue(kInstallPathValue, &type, reinterpret_cast<unsigned char*>(archive_path),
                      &size)) {
    return false;
  }
  // A value that fills the buffer without a NUL, or leaves no room for the
  // archive's name and the new file's underscore, names no usable folder.
  if (std::memchr(archive_path, '\0', kMaxPath) == nullptr) return false;
  if (std::strlen(archive_path) + std::strlen(kArchiveName) > kLongestArchivePath) return false;
  std::strcat(archive_path, kArchiveName);
  return true;
}

bool UpdaterApp::Confirm() {
  return ShowUnderName(base_name(), text::kConfirmUpdate, MessageStyle::kQuestion) ==
         os::MessageAnswer::kYes;
}

bool UpdaterApp::UpdateArchive() {
  char new_path[kMaxPath];
  int length = std::snprintf(new_path, sizeof new_path, kNewFileFormat, archive_path_);
  if (length < 0 || static_cast<std::size_t>(length) >= sizeof new_path) return false;

  // A run that died between the delete and the rename left no archive but a
  // complete new one: finish that swap. Only a leftover that carries every
  // payload of this build counts; any other (a copy the player kept, another
  // version's update) is left alone, and the archive is reported missing.
  if (!Sys().PathExists(archive_path_) && CarriesPatchSet(new_path)) {
    Sys().SwapBegins();
    return MoveIntoPlace(new_path);
  }

  std::unique_ptr<MesArchive> archive(new MesArchive);
  bool written = RebuildInto(archive.get(), new_path);
  // The old archive's handle must be closed before it can be deleted.
  archive->ReleaseArchive();
  archive.reset();
  return written && SwapIn(new_path);
}

bool UpdaterApp::RebuildInto(MesArchive* archive, const char* new_path) {
  if (!archive->OpenArchive(archive_path_)) return false;

  const char* names[PatchSet::kCount];
  for (std::uint32_t p = 0; p < PatchSet::kCount; ++p) names[p] = PatchSet::kEntries[p].name;
  if (!archive->LoadIndexForRewrite(archive_path_, PatchSet::kCount, names)) return false;

  for (const PatchSetEntry& entry : PatchSet::kEntries) {
    os::PayloadBytes payload = LoadPayload(entry.resource_id);
    if (payload.data == nullptr) {
      ShowFormattedMessage(text::kCaptionArchive, os::CaptionEncoding::kShiftJis,
                           MessageStyle::kInformation, text::kEntryNotFound, entry.name);
      return false;
    }
    if (!archive->AppendEntry(entry.name, payload.size, payload.data)) return false;
  }
  // A failed write has already been reported and left no new file behind.
  return archive->WriteArchive(new_path, PatchSet::kCount) == 1;
}

// The new archive is complete and on stable storage: replace the old one.
bool UpdaterApp::SwapIn(const char* new_path) {
  Sys().SwapBegins();
  if (!Sys().PathDelete(archive_path_)) ShowSwapFailure(text::kDeleteFailed);
  return MoveIntoPlace(new_path);
}

bool UpdaterApp::MoveIntoPlace(const char* new_path) {
  if (Sys().PathMove(new_path, archive_path_)) return true;
  ShowSwapFailure(text::kRenameFailed);
  return false;
}
