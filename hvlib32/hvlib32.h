/*
 * hvlib32.h - HVLIB32.DLL, the library the Quillnet modem's installer calls.
 *
 * Plain C for C and C++ compilers for Win32. Link with HVLIB32.LIB
 * (Microsoft's linker) or libhvlib32.a (MinGW), or load HVLIB32.DLL with
 * LoadLibrary and find each function with GetProcAddress by its name or by
 * its ordinal, MAKEINTRESOURCE(n); the HVLIB32_PFN_ types below fit the
 * pointers it returns.
 *
 * All three functions are stdcall (WINAPI) and exported under their plain
 * names. The library keeps nothing between calls. The return codes are
 * Win32 error codes (winerror.h). A call that runs out of memory ends
 * where it is; the two that return a code then return 8,
 * ERROR_NOT_ENOUGH_MEMORY.
 */
#ifndef HVLIB32_H
#define HVLIB32_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Export ordinals. */
#define HVLIB32_ORDINAL_CHANGEW95SERIALNUMBER 1
#define HVLIB32_ORDINAL_GETBASEADDR95 2
#define HVLIB32_ORDINAL_UNINSTALL 3

/* The size of GetBaseAddr95's buffer in bytes, terminator included. */
#define HVLIB32_BASE_ADDR_SIZE 40

/*
 * ChangeW95SerialNumber, ordinal 1.
 * Moves the modem's ISA Plug-and-Play device instance
 * HKEY_LOCAL_MACHINE\Enum\ISAPNP\QRM1001\<oldSerial> to <newSerial>. It
 * looks before it changes: the old instance key and every "ConnectedToPort"
 * value of Enum\Root\Quillnet must be readable. Then the values of the old
 * instance key are copied to the new key (one that exists keeps its other
 * values), every instance whose "ConnectedToPort" value has oldSerial as
 * one of its path components (in any letter case) gets newSerial in its
 * place, the rest of the value dropped, and last the old key is deleted
 * with its subkeys, which are not copied: no link ever names a missing key.
 * A call that stopped or failed part way is finished by the same call
 * again; with the old key gone and the new one there, it only rewrites a
 * link still naming oldSerial. Each change is in HVLIB32.REG before it is
 * made; importing that file cannot delete the new key (the log names it).
 *   oldSerial, newSerial: zero-terminated, 1 to 179 characters, no backslash.
 * Returns
 *   0   ERROR_SUCCESS; also when the two differ only in letter case, in
 *       which case only the link changes, and when the move was made before;
 *   2   ERROR_FILE_NOT_FOUND: Enum\Root\Quillnet or the old instance key is
 *       missing; nothing was changed;
 *   87  ERROR_INVALID_PARAMETER: a serial number is NULL, empty, too long or
 *       holds a backslash; nothing was changed;
 *   234 ERROR_MORE_DATA: the rewritten link would not fit its 200 bytes;
 *       nothing was changed;
 *   29  ERROR_WRITE_FAULT: HVLIB32.REG could not be written; what would have
 *       needed it was not changed;
 *   8   ERROR_NOT_ENOUGH_MEMORY;
 *   or the registry error of the step that failed: before the links were
 *       rewritten nothing stays changed (a new key the call made goes
 *       again); after, the new key and the links to it stay with the old
 *       key, and the same call again finishes the move.
 */
LONG WINAPI ChangeW95SerialNumber(const char* oldSerial, const char* newSerial);

/*
 * GetBaseAddr95, ordinal 2.
 * Copies the modem's base address, the default value of
 * HKEY_LOCAL_MACHINE\SOFTWARE\QRMeridian\Quillnet\1.0\Base ("0x2F8", for
 * example), into out.
 *   out: a buffer of at least HVLIB32_BASE_ADDR_SIZE (40) bytes. Unless it
 *        is NULL it always receives a zero-terminated text: the address, or
 *        the empty text when the key has no default value or one of 40
 *        bytes or more.
 * Returns
 *   0   ERROR_SUCCESS;
 *   2   ERROR_FILE_NOT_FOUND: the key is missing;
 *   87  ERROR_INVALID_PARAMETER: out is NULL;
 *   8   ERROR_NOT_ENOUGH_MEMORY;
 *   or the registry error that kept the key from opening.
 */
LONG WINAPI GetBaseAddr95(char* out);

/*
 * Uninstall, ordinal 3.
 * Removes the Quillnet package: its files and product folder, its device
 * and software registry keys, its entries in the "load" line of WIN.INI and
 * the "drivers" line of SYSTEM.INI, and its INF files. No arguments, no
 * result; what could not be removed stays.
 */
void WINAPI Uninstall(void);

/* Pointer types for GetProcAddress. */
typedef LONG(WINAPI* HVLIB32_PFN_CHANGEW95SERIALNUMBER)(const char*, const char*);
typedef LONG(WINAPI* HVLIB32_PFN_GETBASEADDR95)(char*);
typedef void(WINAPI* HVLIB32_PFN_UNINSTALL)(void);

#ifdef __cplusplus
}
#endif

#endif /* HVLIB32_H */
