// Pass-through from the platform interface to the ANSI Win32 API.
//
// core/platform/platform.h comes first: <windows.h> defines macros with the names of
// its constants. The few constants needed here are copied before that.
#include "core/platform/platform_win32.h"

#include <cstring>

namespace {
constexpr mdm::RegKey LOCAL_MACHINE = mdm::HKEY_LOCAL_MACHINE;
constexpr std::size_t KEY_NAME_SIZE = mdm::MAX_PATH;
}  // namespace

#include <windows.h>

namespace mdm {
namespace {

// The interface's HKEY_LOCAL_MACHINE is the 32-bit value of the predefined
// key; on 64-bit Windows the real handle is that value sign-extended.
HKEY ToHkey(RegKey key) {
  return key == LOCAL_MACHINE ? HKEY_LOCAL_MACHINE : reinterpret_cast<HKEY>(key);
}

RegKey FromHkey(HKEY key) { return reinterpret_cast<RegKey>(key); }

HANDLE ToHandle(FindHandle handle) { return reinterpret_cast<HANDLE>(handle); }

void CopyFindData(const WIN32_FIND_DATAA& from, FindData* to) {
  to->attributes = from.dwFileAttributes;
  std::memcpy(to->fileName, from.cFileName, sizeof to->fileName);
  to->fileName[sizeof to->fileName - 1] = '\0';
}

static_assert(sizeof(DWORD) == sizeof(std::uint32_t), "DWORD is 32 bits");
static_assert(sizeof(LONG) == sizeof(std::int32_t), "LONG is 32 bits");
static_assert(sizeof(FindData::fileName) == sizeof(WIN32_FIND_DATAA::cFileName), "name size");
static_assert(sizeof(VersionInfo) == sizeof(OSVERSIONINFOA), "version record");
static_assert(sizeof(SystemTime) == sizeof(SYSTEMTIME), "time record");

DWORD* AsDword(std::uint32_t* value) { return reinterpret_cast<DWORD*>(value); }

// Deletes every subkey of `parent\subKey`, depth-first. Index 0 is always
// enumerated: each delete renumbers the remaining subkeys.
LONG DeleteSubkeys(HKEY parent, const char* subKey, bool nt);

// Deletes `parent\subKey` with its subkeys: on the 9x family one call does
// it; the NT family deletes one key at a time, so the subkeys go first. Wine
// in its Windows 95 mode reports the 9x family yet refuses a key that has
// subkeys, so a one-call delete that fails also falls back to subkeys first.
LONG DeleteTree(HKEY parent, const char* subKey, bool nt) {
  if (!nt) {
    const LONG status = ::RegDeleteKeyA(parent, subKey);
    if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) return status;
  }
  // A subkey that stays makes the delete below fail and say why.
  DeleteSubkeys(parent, subKey, nt);
  return ::RegDeleteKeyA(parent, subKey);
}

LONG DeleteSubkeys(HKEY parent, const char* subKey, bool nt) {
  HKEY key = nullptr;
  LONG status = ::RegOpenKeyExA(parent, subKey, 0, KEY_ALL_ACCESS, &key);
  if (status != ERROR_SUCCESS) return status;
  char name[KEY_NAME_SIZE];
  while ((status = ::RegEnumKeyA(key, 0, name, sizeof name)) == ERROR_SUCCESS) {
    // A subkey that cannot go would be enumerated at index 0 forever.
    status = DeleteTree(key, name, nt);
    if (status != ERROR_SUCCESS) break;
  }
  ::RegCloseKey(key);
  return status == ERROR_NO_MORE_ITEMS ? ERROR_SUCCESS : status;
}

}  // namespace

template <typename Handle, int Capacity>
void Win32Platform::Ledger<Handle, Capacity>::Add(Handle handle) {
  for (Handle& slot : open) {
    if (slot == 0) {
      slot = handle;
      return;
    }
  }
}

template <typename Handle, int Capacity>
void Win32Platform::Ledger<Handle, Capacity>::Remove(Handle handle) {
  for (Handle& slot : open) {
    if (slot == handle) {
      slot = 0;
      return;
    }
  }
}

Win32Platform::Win32Platform() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  // Unread, the family counts as 9x: its delete works on either family.
  nt_ = ::GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

Win32Platform::~Win32Platform() {
  for (RegKey& key : keys_.open) {
    if (key != 0) ::RegCloseKey(ToHkey(key));
    key = 0;
  }
  for (FindHandle& search : searches_.open) {
    if (search != 0) ::FindClose(ToHandle(search));
    search = 0;
  }
  for (FileHandle& file : files_.open) {
    if (file != 0) ::CloseHandle(ToHandle(file));
    file = 0;
  }
}

std::int32_t Win32Platform::RegOpenKeyExA(RegKey parent, const char* subKey, std::uint32_t access,
                                          RegKey* result) {
  HKEY key = nullptr;
  LONG status = ::RegOpenKeyExA(ToHkey(parent), subKey, 0, access, &key);
  *result = status == ERROR_SUCCESS ? FromHkey(key) : 0;
  if (*result != 0) keys_.Add(*result);
  return status;
}

std::int32_t Win32Platform::RegCreateKeyA(RegKey parent, const char* subKey, RegKey* result) {
  HKEY key = nullptr;
  LONG status = ::RegCreateKeyA(ToHkey(parent), subKey, &key);
  *result = status == ERROR_SUCCESS ? FromHkey(key) : 0;
  if (*result != 0) keys_.Add(*result);
  return status;
}

std::int32_t Win32Platform::RegCloseKey(RegKey key) {
  keys_.Remove(key);
  return ::RegCloseKey(ToHkey(key));
}

std::int32_t Win32Platform::RegDeleteKeyA(RegKey parent, const char* subKey) {
  // An empty name would make the subtree walk below empty `parent` itself,
  // which for a composed path from an empty value is a whole root.
  if (subKey == nullptr || subKey[0] == '\0') return ::RegDeleteKeyA(ToHkey(parent), subKey);
  return DeleteTree(ToHkey(parent), subKey, IsNt());
}

std::int32_t Win32Platform::RegEnumKeyA(RegKey key, std::uint32_t index, char* name,
                                        std::uint32_t nameSize) {
  return ::RegEnumKeyA(ToHkey(key), index, name, nameSize);
}

std::int32_t Win32Platform::RegQueryValueExA(RegKey key, const char* valueName, std::uint32_t* type,
                                             unsigned char* data, std::uint32_t* dataSize) {
  return ::RegQueryValueExA(ToHkey(key), valueName, nullptr, AsDword(type), data,
                            AsDword(dataSize));
}

std::int32_t Win32Platform::RegQueryValueA(RegKey key, const char* subKey, char* data,
                                           std::int32_t* dataSize) {
  return ::RegQueryValueA(ToHkey(key), subKey, data, reinterpret_cast<LONG*>(dataSize));
}

std::int32_t Win32Platform::RegEnumValueA(RegKey key, std::uint32_t index, char* valueName,
                                          std::uint32_t* valueNameSize, std::uint32_t* type,
                                          unsigned char* data, std::uint32_t* dataSize) {
  return ::RegEnumValueA(ToHkey(key), index, valueName, AsDword(valueNameSize), nullptr,
                         AsDword(type), data, AsDword(dataSize));
}

std::int32_t Win32Platform::RegSetValueExA(RegKey key, const char* valueName, std::uint32_t type,
                                           const unsigned char* data, std::uint32_t dataSize) {
  return ::RegSetValueExA(ToHkey(key), valueName, 0, type, data, dataSize);
}

std::uint32_t Win32Platform::GetPrivateProfileStringA(const char* section, const char* key,
                                                      const char* defaultValue, char* buffer,
                                                      std::uint32_t size, const char* fileName) {
  return ::GetPrivateProfileStringA(section, key, defaultValue, buffer, size, fileName);
}

int Win32Platform::WritePrivateProfileStringA(const char* section, const char* key,
                                              const char* value, const char* fileName) {
  return ::WritePrivateProfileStringA(section, key, value, fileName);
}

std::uint32_t Win32Platform::GetWindowsDirectoryA(char* buffer, std::uint32_t size) {
  return ::GetWindowsDirectoryA(buffer, size);
}

std::uint32_t Win32Platform::GetSystemDirectoryA(char* buffer, std::uint32_t size) {
  return ::GetSystemDirectoryA(buffer, size);
}

std::uint32_t Win32Platform::GetTempPathA(std::uint32_t size, char* buffer) {
  return ::GetTempPathA(size, buffer);
}

int Win32Platform::GetVersionExA(VersionInfo* info) {
  // The record is passed as it is, so Windows judges the size field itself.
  return ::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(info));
}

FindHandle Win32Platform::FindFirstFileA(const char* pattern, FindData* data) {
  WIN32_FIND_DATAA found{};
  HANDLE handle = ::FindFirstFileA(pattern, &found);
  if (handle == INVALID_HANDLE_VALUE) return INVALID_FIND_HANDLE;
  CopyFindData(found, data);
  searches_.Add(reinterpret_cast<FindHandle>(handle));
  return reinterpret_cast<FindHandle>(handle);
}

int Win32Platform::FindNextFileA(FindHandle handle, FindData* data) {
  WIN32_FIND_DATAA found{};
  BOOL ok = ::FindNextFileA(ToHandle(handle), &found);
  if (ok) CopyFindData(found, data);
  return ok;
}

int Win32Platform::FindClose(FindHandle handle) {
  searches_.Remove(handle);
  return ::FindClose(ToHandle(handle));
}

int Win32Platform::DeleteFileA(const char* path) { return ::DeleteFileA(path); }

int Win32Platform::RemoveDirectoryA(const char* path) { return ::RemoveDirectoryA(path); }

std::uint32_t Win32Platform::GetLastError() { return ::GetLastError(); }

FileHandle Win32Platform::CreateFileA(const char* path, std::uint32_t access,
                                      std::uint32_t shareMode, std::uint32_t creation,
                                      std::uint32_t attributes) {
  HANDLE file = ::CreateFileA(path, access, shareMode, nullptr, creation, attributes, nullptr);
  if (file == INVALID_HANDLE_VALUE) return INVALID_FILE_HANDLE;
  files_.Add(reinterpret_cast<FileHandle>(file));
  return reinterpret_cast<FileHandle>(file);
}

int Win32Platform::WriteFile(FileHandle file, const void* data, std::uint32_t size,
                             std::uint32_t* written) {
  DWORD count = 0;
  const BOOL ok = ::WriteFile(ToHandle(file), data, size, &count, nullptr);
  if (written != nullptr) *written = count;
  return ok;
}

int Win32Platform::ReadFile(FileHandle file, void* data, std::uint32_t size, std::uint32_t* read) {
  DWORD count = 0;
  const BOOL ok = ::ReadFile(ToHandle(file), data, size, &count, nullptr);
  if (read != nullptr) *read = count;
  return ok;
}

std::uint32_t Win32Platform::SetFilePointer(FileHandle file, std::int32_t distance,
                                            std::uint32_t method) {
  return ::SetFilePointer(ToHandle(file), distance, nullptr, method);
}

std::uint32_t Win32Platform::GetFileSize(FileHandle file) {
  return ::GetFileSize(ToHandle(file), nullptr);
}

int Win32Platform::SetEndOfFile(FileHandle file) { return ::SetEndOfFile(ToHandle(file)); }

int Win32Platform::FlushFileBuffers(FileHandle file) { return ::FlushFileBuffers(ToHandle(file)); }

int Win32Platform::CloseHandle(FileHandle file) {
  files_.Remove(file);
  return ::CloseHandle(ToHandle(file));
}

void Win32Platform::GetLocalTime(SystemTime* time) {
  ::GetLocalTime(reinterpret_cast<SYSTEMTIME*>(time));
}

int Win32Platform::MoveFileA(const char* from, const char* to) { return ::MoveFileA(from, to); }

WindowHandle Win32Platform::FindWindowA(const char* className, const char* windowName) {
  return reinterpret_cast<WindowHandle>(::FindWindowA(className, windowName));
}

std::intptr_t Win32Platform::SendMessageTimeoutA(WindowHandle window, std::uint32_t message,
                                                 std::uintptr_t wParam, std::intptr_t lParam,
                                                 std::uint32_t flags, std::uint32_t timeout,
                                                 std::uintptr_t* result) {
  DWORD_PTR reply = 0;
  const LRESULT sent = ::SendMessageTimeoutA(reinterpret_cast<HWND>(window), message, wParam,
                                             lParam, flags, timeout, &reply);
  if (result != nullptr) *result = reply;
  return sent;
}

}  // namespace mdm
