// The resources compiled into quillet.exe, read back through the same calls
// Windows uses: the version block, the application manifest and the icon.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::wstring g_exe;

std::wstring ToWindowsPath(const std::wstring& path) {
  if (path.empty() || path[0] != L'/') return path;
  std::wstring out = L"Z:" + path;
  for (auto& ch : out)
    if (ch == L'/') ch = L'\\';
  return out;
}

std::vector<BYTE> VersionBlock() {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(g_exe.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<BYTE> block(size);
  if (!GetFileVersionInfoW(g_exe.c_str(), 0, size, block.data())) return {};
  return block;
}

std::wstring VersionString(std::vector<BYTE>& block, const wchar_t* name) {
  struct Translation {
    WORD language;
    WORD codePage;
  }* translations = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translations), &length) ||
      length < sizeof(Translation))
    return {};
  wchar_t query[128];
  swprintf(query, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translations[0].language,
           translations[0].codePage, name);
  wchar_t* value = nullptr;
  if (!VerQueryValueW(block.data(), query, reinterpret_cast<void**>(&value), &length)) return {};
  return value;
}

TEST(Product, CarriesFileVersion1050) {
  auto block = VersionBlock();
  ASSERT_FALSE(block.empty()) << "no version resource";
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(HIWORD(fixed->dwFileVersionMS), 1);
  EXPECT_EQ(LOWORD(fixed->dwFileVersionMS), 0);
  EXPECT_EQ(HIWORD(fixed->dwFileVersionLS), 5);
  EXPECT_EQ(LOWORD(fixed->dwFileVersionLS), 0);
  EXPECT_EQ(VersionString(block, L"FileVersion"), L"1.0.5.0");
  EXPECT_EQ(VersionString(block, L"ProductName"), L"Quillet");
  EXPECT_EQ(VersionString(block, L"OriginalFilename"), L"quillet.exe");
}

TEST(Product, CarriesManifestAndIcon) {
  HMODULE module = LoadLibraryExW(g_exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  HRSRC manifest = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(manifest, nullptr) << "no RT_MANIFEST 1";
  const DWORD size = SizeofResource(module, manifest);
  const char* text = static_cast<const char*>(LockResource(LoadResource(module, manifest)));
  ASSERT_NE(text, nullptr);
  const std::string xml(text, size);
  EXPECT_NE(xml.find("Microsoft.Windows.Common-Controls"), std::string::npos);
  EXPECT_NE(xml.find("6.0.0.0"), std::string::npos);
  EXPECT_NE(xml.find("dpiAware"), std::string::npos);

  // The first icon group is the one Explorer and the taskbar show.
  bool hasIcon = false;
  EnumResourceNamesW(
      module, MAKEINTRESOURCEW(14),
      [](HMODULE, LPCWSTR, LPWSTR, LONG_PTR found) -> BOOL {
        *reinterpret_cast<bool*>(found) = true;
        return FALSE;
      },
      reinterpret_cast<LONG_PTR>(&hasIcon));
  EXPECT_TRUE(hasIcon) << "no RT_GROUP_ICON";
  FreeLibrary(module);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (argc < 2) {
    fwprintf(stderr, L"usage: quillet_e2e_product <path of quillet.exe>\n");
    return 2;
  }
  g_exe = ToWindowsPath(argv[1]);
  return RUN_ALL_TESTS();
}
