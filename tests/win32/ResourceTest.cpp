// mesupdate.exe carries the five payloads as "MODULE" resources 110 to 114 in
// Japanese, and no other resource at all (no manifest, no version block).
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace {

struct FoundResource {
  std::string type;
  ULONG_PTR id;
  WORD language;
  DWORD size;
};

std::string TypeName(LPSTR type) {
  if (IS_INTRESOURCE(type)) return "#" + std::to_string(reinterpret_cast<ULONG_PTR>(type));
  return type;
}

BOOL CALLBACK OnLanguage(HMODULE module, LPCSTR type, LPCSTR name, WORD language, LONG_PTR out) {
  HRSRC resource = FindResourceExA(module, type, name, language);
  auto* found = reinterpret_cast<std::vector<FoundResource>*>(out);
  found->push_back({TypeName(const_cast<LPSTR>(type)), reinterpret_cast<ULONG_PTR>(name), language,
                    SizeofResource(module, resource)});
  return TRUE;
}

BOOL CALLBACK OnName(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR out) {
  EnumResourceLanguagesA(module, type, name, OnLanguage, out);
  return TRUE;
}

BOOL CALLBACK OnType(HMODULE module, LPSTR type, LONG_PTR out) {
  EnumResourceNamesA(module, type, OnName, out);
  return TRUE;
}

std::string UpdaterPath() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string self(path, length);
  return self.substr(0, self.find_last_of("\\/") + 1) + "mesupdate.exe";
}

TEST(ResourceTest, UpdaterCarriesTheFivePayloadsAndNothingElse) {
  HMODULE module = LoadLibraryExA(UpdaterPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr) << UpdaterPath();
  std::vector<FoundResource> found;
  EnumResourceTypesA(module, OnType, reinterpret_cast<LONG_PTR>(&found));
  FreeLibrary(module);

  const DWORD sizes[] = {19974, 44179, 48552, 50165, 3955};
  ASSERT_EQ(found.size(), 5u);
  for (std::size_t p = 0; p < found.size(); ++p) {
    EXPECT_EQ(found[p].type, "MODULE");
    EXPECT_EQ(found[p].id, 110u + p);
    EXPECT_EQ(found[p].language, 1041);
    EXPECT_EQ(found[p].size, sizes[p]);
  }
}

}  // namespace
