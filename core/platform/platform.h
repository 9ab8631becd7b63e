// The narrow layer over the Win32 ANSI operations that the uninstall core uses.
//
// Every operation keeps the name, argument order and result convention of its
// Win32 counterpart, so the core reads like Win32 code. Two implementations
// exist: the real one (platform_win32.cpp), a pass-through to the Windows API,
// and the emulated Windows 95 machine of the host build (emulator/).
//
// Include this header before <windows.h> in any translation unit that needs
// both: the constants below share their names with the Windows macros.
#pragma once

#if defined(_WINDOWS_) || defined(_WINREG_)
#error "include core/platform/platform.h before <windows.h>"
#endif

#include <cstddef>
#include <cstdint>

namespace mdm {

// Registry status codes, as Win32 returns them.
constexpr std::int32_t ERROR_SUCCESS = 0;
constexpr std::int32_t ERROR_FILE_NOT_FOUND = 2;
constexpr std::int32_t ERROR_PATH_NOT_FOUND = 3;
constexpr std::int32_t ERROR_ACCESS_DENIED = 5;
constexpr std::int32_t ERROR_WRITE_FAULT = 29;
constexpr std::int32_t ERROR_INVALID_HANDLE = 6;
constexpr std::int32_t ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr std::int32_t ERROR_DISK_FULL = 112;
constexpr std::int32_t ERROR_INVALID_PARAMETER = 87;
constexpr std::int32_t ERROR_NO_MORE_FILES = 18;
constexpr std::int32_t ERROR_MORE_DATA = 234;
constexpr std::int32_t ERROR_NO_MORE_ITEMS = 259;
constexpr std::int32_t ERROR_TIMEOUT = 1460;

// Access rights.
constexpr std::uint32_t KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr std::uint32_t KEY_READ = 0x20019;
constexpr std::uint32_t KEY_WRITE = 0x20006;
constexpr std::uint32_t KEY_ALL_ACCESS = 0xF003F;

// Value types.
constexpr std::uint32_t REG_NONE = 0;
constexpr std::uint32_t REG_SZ = 1;
constexpr std::uint32_t REG_EXPAND_SZ = 2;
constexpr std::uint32_t REG_BINARY = 3;
constexpr std::uint32_t REG_DWORD = 4;
constexpr std::uint32_t REG_MULTI_SZ = 7;

// File attributes reported by the directory search.
constexpr std::uint32_t FILE_ATTRIBUTE_READONLY = 0x01;
constexpr std::uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr std::uint32_t FILE_ATTRIBUTE_ARCHIVE = 0x20;

constexpr std::size_t MAX_PATH = 260;

// Opaque registry key handle. HKEY_LOCAL_MACHINE is the only predefined root
// the system addresses.
using RegKey = std::uintptr_t;
constexpr RegKey HKEY_LOCAL_MACHINE = 0x80000002u;

// Directory search handle; INVALID_FIND_HANDLE (all bits set) means no match.
using FindHandle = std::intptr_t;
constexpr FindHandle INVALID_FIND_HANDLE = -1;

using WindowHandle = std::uintptr_t;  // 0: no window

// File handle; INVALID_FILE_HANDLE (all bits set) means the open failed.
using FileHandle = std::intptr_t;
constexpr FileHandle INVALID_FILE_HANDLE = -1;

// What CreateFileA is asked for: write access to a file opened or created
// (the change log and the undo file), or read access to one that exists
// (whose undo file a file is); others may read; plain attributes.
constexpr std::uint32_t GENERIC_READ = 0x80000000;
constexpr std::uint32_t GENERIC_WRITE = 0x40000000;
constexpr std::uint32_t FILE_SHARE_READ = 0x00000001;
constexpr std::uint32_t OPEN_EXISTING = 3;
constexpr std::uint32_t OPEN_ALWAYS = 4;
constexpr std::uint32_t FILE_ATTRIBUTE_NORMAL = 0x80;
// SetFilePointer's starting points.
constexpr std::uint32_t FILE_BEGIN = 0;
constexpr std::uint32_t FILE_END = 2;

// SendMessageTimeoutA: return at once for a window Windows considers hung.
constexpr std::uint32_t SMTO_ABORTIFHUNG = 0x0002;

// SYSTEMTIME.
struct SystemTime {
  std::uint16_t year = 0;
  std::uint16_t month = 0;
  std::uint16_t dayOfWeek = 0;
  std::uint16_t day = 0;
  std::uint16_t hour = 0;
  std::uint16_t minute = 0;
  std::uint16_t second = 0;
  std::uint16_t milliseconds = 0;
};

// The part of WIN32_FIND_DATAA that the system reads.
struct FindData {
  std::uint32_t attributes = 0;
  char fileName[MAX_PATH] = {};
};

// OSVERSIONINFOA; the caller sets `size` to 148 before the query.
struct VersionInfo {
  std::uint32_t size = 0;
  std::uint32_t majorVersion = 0;
  std::uint32_t minorVersion = 0;
  std::uint32_t buildNumber = 0;
  std::uint32_t platformId = 0;
  char csdVersion[128] = {};
};
constexpr std::uint32_t VERSION_INFO_SIZE = 148;

class Platform {
 public:
  virtual ~Platform() = default;

  // --- Registry (advapi32). `parent` is HKEY_LOCAL_MACHINE or an open key.
  virtual std::int32_t RegOpenKeyExA(RegKey parent, const char* subKey, std::uint32_t access,
                                     RegKey* result) = 0;
  virtual std::int32_t RegCreateKeyA(RegKey parent, const char* subKey, RegKey* result) = 0;
  virtual std::int32_t RegCloseKey(RegKey key) = 0;
  // Deletes the key with its whole subtree, as Windows 95 does.
  virtual std::int32_t RegDeleteKeyA(RegKey parent, const char* subKey) = 0;
  // Name of the subkey at `index`; `nameSize` is the buffer size in bytes.
  virtual std::int32_t RegEnumKeyA(RegKey key, std::uint32_t index, char* name,
                                   std::uint32_t nameSize) = 0;
  // `type` may be null; on input *type is what the caller passes in (REG_SZ
  // here), on output the stored type. *dataSize is in/out, in bytes.
  virtual std::int32_t RegQueryValueExA(RegKey key, const char* valueName, std::uint32_t* type,
                                        unsigned char* data, std::uint32_t* dataSize) = 0;
  // Default value of `subKey` (null or empty: of `key` itself).
  virtual std::int32_t RegQueryValueA(RegKey key, const char* subKey, char* data,
                                      std::int32_t* dataSize) = 0;
  virtual std::int32_t RegEnumValueA(RegKey key, std::uint32_t index, char* valueName,
                                     std::uint32_t* valueNameSize, std::uint32_t* type,
                                     unsigned char* data, std::uint32_t* dataSize) = 0;
  virtual std::int32_t RegSetValueExA(RegKey key, const char* valueName, std::uint32_t type,
                                      const unsigned char* data, std::uint32_t dataSize) = 0;

  // --- Profile files (kernel32). A bare file name lives in the Windows
  // directory; ".\name" in the working directory; a full path is that file.
  virtual std::uint32_t GetPrivateProfileStringA(const char* section, const char* key,
                                                 const char* defaultValue, char* buffer,
                                                 std::uint32_t size, const char* fileName) = 0;
  virtual int WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                         const char* fileName) = 0;

  // --- Directories and version (kernel32).
  virtual std::uint32_t GetWindowsDirectoryA(char* buffer, std::uint32_t size) = 0;
  virtual std::uint32_t GetSystemDirectoryA(char* buffer, std::uint32_t size) = 0;
  virtual std::uint32_t GetTempPathA(std::uint32_t size, char* buffer) = 0;
  virtual int GetVersionExA(VersionInfo* info) = 0;

  // --- Files (kernel32).
  virtual FindHandle FindFirstFileA(const char* pattern, FindData* data) = 0;
  virtual int FindNextFileA(FindHandle handle, FindData* data) = 0;
  virtual int FindClose(FindHandle handle) = 0;
  virtual int DeleteFileA(const char* path) = 0;
  virtual int RemoveDirectoryA(const char* path) = 0;
  virtual std::uint32_t GetLastError() = 0;

  // --- Writing a file (kernel32): the change log and the undo file. Files
  // under 4 GiB only: SetFilePointer and GetFileSize leave out the high part.
  virtual FileHandle CreateFileA(const char* path, std::uint32_t access, std::uint32_t shareMode,
                                 std::uint32_t creation, std::uint32_t attributes) = 0;
  virtual int WriteFile(FileHandle file, const void* data, std::uint32_t size,
                        std::uint32_t* written) = 0;
  virtual int ReadFile(FileHandle file, void* data, std::uint32_t size, std::uint32_t* read) = 0;
  virtual std::uint32_t SetFilePointer(FileHandle file, std::int32_t distance,
                                       std::uint32_t method) = 0;
  virtual std::uint32_t GetFileSize(FileHandle file) = 0;
  virtual int SetEndOfFile(FileHandle file) = 0;
  virtual int FlushFileBuffers(FileHandle file) = 0;
  virtual int CloseHandle(FileHandle file) = 0;
  virtual void GetLocalTime(SystemTime* time) = 0;
  // Renames a file within its drive; fails when `to` exists.
  virtual int MoveFileA(const char* from, const char* to) = 0;

  // --- Windows (user32).
  virtual WindowHandle FindWindowA(const char* className, const char* windowName) = 0;
  // Delivers the message and waits until the window has handled it, but at
  // most `timeout` milliseconds, and with SMTO_ABORTIFHUNG not at all for a
  // window Windows considers hung. Non-zero when the window handled it in
  // time; *result then holds its reply.
  virtual std::intptr_t SendMessageTimeoutA(WindowHandle window, std::uint32_t message,
                                            std::uintptr_t wParam, std::intptr_t lParam,
                                            std::uint32_t flags, std::uint32_t timeout,
                                            std::uintptr_t* result) = 0;
};

}  // namespace mdm
