#include "common/windows_names.h"

#include <cstring>

#include "common/text.h"

namespace mdm {

namespace {

// Each list is one text, each name in it ended by a zero byte and the list by
// an empty name: no table of pointers, the images have little room. (A name
// that began with a digit would start a literal of its own: "\0" "1394...".)

// The device classes Windows 95 and its updates install, and the
// enumerators of its device tree.
const char DEVICE_NAMES[] =
    // Classes.
    "Adapter\0CDROM\0Display\0DiskDrive\0fdc\0hdc\0HID\0Image\0Infrared\0Keyboard\0MEDIA\0"
    "Modem\0Monitor\0Mouse\0MTD\0MultiFunction\0Net\0NetClient\0NetService\0NetTrans\0"
    "Nodriver\0PCMCIA\0Ports\0Printer\0SCSIAdapter\0System\0Unknown\0USB\0"
    // Enumerators.
    "Root\0BIOS\0ISAPNP\0PCI\0EISA\0ESDI\0FLOP\0SCSI\0HTREE\0LPTENUM\0SERENUM\0MF\0"
    "Network\0MODEMWAVE\0VPOWERD\0";

// Windows' own keys below "SOFTWARE".
const char SOFTWARE_KEYS[] =
    "Microsoft\0Classes\0Clients\0Description\0Secure\0Program Groups\0Policies\0";

// Files a Windows 95 or Windows 98 installation puts into its Windows folder
// or its SYSTEM folder, chosen for what a package's list of files could name
// by mistake: the communications, modem, telephony and dial-up stack a modem
// package sits on; the core, its 16-bit halves and the libraries every
// program loads; the multimedia stack a voice modem uses; Control Panel's
// own applets; and the files Windows starts and keeps its settings in.
// Sources: the Windows 95 Resource Kit ("Windows 95 Distribution Disk
// Storage Overview", its "Directory File Structure and File Locations";
// "Core System Components": User, Kernel and GDI each a 16-bit and a 32-bit
// file; its communications architecture: VCOMM, COMM.DRV, Unimodem); the
// Windows 98 Resource Kit, appendix B, "Windows 98 System File Details"; the
// Windows 95 DDK, "About Communications Device Drivers" (VCOMM and COMM.DRV
// are Windows' own, never a vendor's); the Windows 98 DDK on voice modems
// (Unimodem/V's SERWAVE.VXD and serial wave driver SERWVDRV.DRV); Wine's
// builtin DLLs, which stand in for these files (dlls/comm.drv16,
// krnl386.exe16, mmsystem.dll16, setupx.dll16, vmm.vxd, tapi32, serialui,
// ...). Knowledge Base Q129605 says how a deleted one comes back: only from
// the Windows cabinets.
// Not covered, so not refused: every other file Windows, its service packs
// and its updates (OSR2, Internet Explorer, DirectX, DCOM) put
// there; the VxDs Windows keeps inside VMM32.VXD, but for the three named
// here; fonts, help files, bitmaps and sounds; shared libraries that other
// vendors' programs bring; the INF folder (Windows' INF files are never
// deleted, whoever recorded them); the boot files of the root folder, which
// a plain name in the SYSTEM folder cannot reach.
const char WINDOWS_FILES[] =
    // Communications, modems, telephony, dial-up networking.
    "VCOMM.VXD\0SERIAL.VXD\0SERENUM.VXD\0LPT.VXD\0UNIMODEM.VXD\0SERWAVE.VXD\0PPPMAC.VXD\0"
    "COMM.DRV\0SERWVDRV.DRV\0SERIALUI.DLL\0MODEMUI.DLL\0UNIMDM.TSP\0UMDM16.DLL\0UMDM32.DLL\0"
    "TAPI.DLL\0TAPI32.DLL\0TAPIADDR.DLL\0TAPIEXE.EXE\0TAPIINI.EXE\0TAPISRV.EXE\0"
    "TELEPHON.CPL\0MODEM.CPL\0TELEPHON.INI\0DIALER.EXE\0"
    "RNAAPP.EXE\0RNAUI.DLL\0RASAPI16.DLL\0RASAPI32.DLL\0"
    // The core and the virtual machine manager, configuration manager and
    // device installer.
    "KERNEL32.DLL\0KRNL386.EXE\0USER32.DLL\0USER.EXE\0GDI32.DLL\0GDI.EXE\0ADVAPI32.DLL\0"
    "VMM32.VXD\0CONFIGMG.VXD\0IOS.VXD\0MSGSRV32.EXE\0MPREXE.EXE\0MPR.DLL\0"
    "SETUPX.DLL\0NETDI.DLL\0SYSDETMG.DLL\0CFGMGR32.DLL\0"
    // Libraries.
    "SHELL.DLL\0SHELL32.DLL\0COMMCTRL.DLL\0COMCTL32.DLL\0COMMDLG.DLL\0COMDLG32.DLL\0"
    "DDEML.DLL\0TOOLHELP.DLL\0VER.DLL\0VERSION.DLL\0LZEXPAND.DLL\0LZ32.DLL\0"
    "OLE32.DLL\0OLEAUT32.DLL\0WINSOCK.DLL\0WSOCK32.DLL\0MSVCRT.DLL\0"
    // Multimedia.
    "MMSYSTEM.DLL\0WINMM.DLL\0MSACM.DLL\0MSACM32.DLL\0MSACM32.DRV\0MIDIMAP.DRV\0"
    "MMSOUND.DRV\0MMTASK.TSK\0"
    // Drivers, printing, Control Panel.
    "SYSTEM.DRV\0KEYBOARD.DRV\0MOUSE.DRV\0POWER.DRV\0WINSPOOL.DRV\0SPOOL32.EXE\0"
    "SPOOLSS.DLL\0MAIN.CPL\0SYSDM.CPL\0MMSYS.CPL\0DESK.CPL\0APPWIZ.CPL\0"
    // The Windows folder: start-up, settings, registry, shell.
    "WIN.COM\0WIN.INI\0SYSTEM.INI\0CONTROL.INI\0PROTOCOL.INI\0SYSTEM.DAT\0USER.DAT\0"
    "COMMAND.COM\0HIMEM.SYS\0IFSHLP.SYS\0WININIT.EXE\0REGEDIT.EXE\0EXPLORER.EXE\0"
    "RUNDLL.EXE\0RUNDLL32.EXE\0CONTROL.EXE\0WINHELP.EXE\0WINHLP32.EXE\0";

// `name` is one of the names of `list`, compared case-blind.
bool IsListed(const std::string& name, const char* list) {
  for (const char* listed = list; *listed != '\0'; listed += std::strlen(listed) + 1) {
    if (EqualsAsciiCaseBlind(name.c_str(), listed)) return true;
  }
  return false;
}

}  // namespace

bool IsWindowsDeviceName(const std::string& name) { return IsListed(name, DEVICE_NAMES); }

bool IsWindowsSoftwareKey(const std::string& name) { return IsListed(name, SOFTWARE_KEYS); }

bool IsWindowsDeviceId(const std::string& name) { return !name.empty() && name[0] == '*'; }

bool IsWindowsFile(const std::string& name) { return IsListed(name, WINDOWS_FILES); }

}  // namespace mdm
