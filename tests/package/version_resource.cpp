// Prints the version resource of each file named, as Windows reads it:
//   NAME FileVersion=S ProductVersion=S fixed=A.B.C.D/A.B.C.D
// (the strings of its first language, then the fixed file and product
// versions); a file without one makes it exit with 1.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Text(const std::vector<char>& block, const char* language, const char* name) {
  const std::string path = std::string("\\StringFileInfo\\") + language + "\\" + name;
  char* text = nullptr;
  UINT length = 0;
  if (!::VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&text), &length))
    return "(none)";
  return std::string(text, length > 0 ? length - 1 : 0);
}

std::string Version(DWORD high, DWORD low) {
  char text[48];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", unsigned{HIWORD(high)}, unsigned{LOWORD(high)},
                unsigned{HIWORD(low)}, unsigned{LOWORD(low)});
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    std::vector<char> block(::GetFileVersionInfoSizeA(argv[i], nullptr));
    VS_FIXEDFILEINFO* fixed = nullptr;
    WORD* translation = nullptr;
    UINT length = 0;
    if (block.empty() ||
        !::GetFileVersionInfoA(argv[i], 0, static_cast<DWORD>(block.size()), block.data()) ||
        !::VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length) ||
        !::VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                          reinterpret_cast<void**>(&translation), &length) ||
        length < 2 * sizeof(WORD)) {
      std::printf("%s: no version resource\n", argv[i]);
      status = 1;
      continue;
    }
    char language[9];
    std::snprintf(language, sizeof language, "%04X%04X", translation[0], translation[1]);
    std::printf("%s FileVersion=%s ProductVersion=%s fixed=%s/%s\n", argv[i],
                Text(block, language, "FileVersion").c_str(),
                Text(block, language, "ProductVersion").c_str(),
                Version(fixed->dwFileVersionMS, fixed->dwFileVersionLS).c_str(),
                Version(fixed->dwProductVersionMS, fixed->dwProductVersionLS).c_str());
  }
  return status;
}
