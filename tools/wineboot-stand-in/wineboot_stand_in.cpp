// wineboot-stand-in: takes the place of wineboot.exe in the test bed's i386
// Wine prefixes. Every Windows process that Wine starts from Unix first
// starts "wineboot.exe --init" and waits until it has set the named event
// \KernelObjects\__wineboot_event (or two minutes have passed). The real
// wineboot would update the prefix in the middle of a test: install its own
// INF files, services and devices. This one only sets the event, so the
// waiting process goes on at once and the prefix holds nothing but what the
// test laid down.
//
// Exit code: 0 when the event was set, 1 when it could not be opened or set.

#include <windows.h>

namespace {

// The NT object-manager types and calls the event needs (ntdll exports them;
// MinGW's headers declare neither).
struct CountedString {
  USHORT length;
  USHORT maximumLength;
  const wchar_t* buffer;
};

struct ObjectAttributes {
  ULONG length;
  HANDLE rootDirectory;
  const CountedString* objectName;
  ULONG attributes;
  void* securityDescriptor;
  void* securityQualityOfService;
};

constexpr ULONG OBJ_CASE_INSENSITIVE = 0x40;
constexpr ACCESS_MASK EVENT_MODIFY = 0x0002;

extern "C" LONG NTAPI NtOpenEvent(HANDLE* event, ACCESS_MASK access,
                                  const ObjectAttributes* attributes);
extern "C" LONG NTAPI NtSetEvent(HANDLE event, LONG* previousState);
extern "C" LONG NTAPI NtClose(HANDLE handle);

constexpr wchar_t BOOT_EVENT[] = L"\\KernelObjects\\__wineboot_event";

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const CountedString name{static_cast<USHORT>(sizeof BOOT_EVENT - sizeof(wchar_t)),
                           static_cast<USHORT>(sizeof BOOT_EVENT), BOOT_EVENT};
  const ObjectAttributes attributes{sizeof(ObjectAttributes), nullptr, &name,
                                    OBJ_CASE_INSENSITIVE,     nullptr, nullptr};
  HANDLE event = nullptr;
  if (NtOpenEvent(&event, EVENT_MODIFY, &attributes) != 0) return 1;
  const bool set = NtSetEvent(event, nullptr) == 0;
  NtClose(event);
  return set ? 0 : 1;
}
