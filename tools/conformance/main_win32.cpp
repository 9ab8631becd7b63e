// The conformance program on Windows: the real platform, and a fixture laid
// down with plain Win32 file calls. Runs under Wine (win64) or on a real
// Windows 95 machine (win32), in a root folder that does not exist yet.
#include "core/platform/platform_win32.h"
#include "tools/conformance/conformance.h"

#include <cstdio>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace {

class Win32Fixture final : public mdm::conformance::FixtureAccess {
 public:
  void MakeDirectory(const std::string& path) override {
    ::CreateDirectoryA(path.c_str(), nullptr);
  }

  void WriteFile(const std::string& path, const std::string& bytes) override {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
  }

  void SetReadOnly(const std::string& path) override {
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
  }

  std::optional<std::string> ReadFile(const std::string& path) override {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string bytes;
    char chunk[4096];
    DWORD read = 0;
    while (::ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read > 0) {
      bytes.append(chunk, read);
    }
    ::CloseHandle(file);
    return bytes;
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: conformance <root folder, e.g. C:\\mdmconf>\n");
    return 2;
  }
  const std::string root = argv[1];
  if (::GetFileAttributesA(root.c_str()) != INVALID_FILE_ATTRIBUTES) {
    std::fprintf(stderr, "%s exists; the fixture needs a folder of its own\n", root.c_str());
    return 2;
  }
  // The lines are compared byte for byte with the host's.
  _setmode(_fileno(stdout), _O_BINARY);
  Win32Fixture fixture;
  mdm::conformance::LayDownFixture(fixture, root);
  ::SetCurrentDirectoryA(root.c_str());
  mdm::Win32Platform platform;
  return mdm::conformance::RunConformance(platform, fixture, root);
}
