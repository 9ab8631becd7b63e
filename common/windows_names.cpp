#include "common/windows_names.h"

#include "common/text.h"

namespace mdm {

namespace {

// The device classes Windows 95 and its updates install, and the
// enumerators of its device tree.
const char* const DEVICE_NAMES[] = {
    // Classes.
    "Adapter",
    "CDROM",
    "Display",
    "DiskDrive",
    "fdc",
    "hdc",
    "HID",
    "Image",
    "Infrared",
    "Keyboard",
    "MEDIA",
    "Modem",
    "Monitor",
    "Mouse",
    "MTD",
    "MultiFunction",
    "Net",
    "NetClient",
    "NetService",
    "NetTrans",
    "Nodriver",
    "PCMCIA",
    "Ports",
    "Printer",
    "SCSIAdapter",
    "System",
    "Unknown",
    "USB",
    // Enumerators.
    "Root",
    "BIOS",
    "ISAPNP",
    "PCI",
    "EISA",
    "ESDI",
    "FLOP",
    "SCSI",
    "HTREE",
    "LPTENUM",
    "SERENUM",
    "MF",
    "Network",
    "MODEMWAVE",
    "VPOWERD",
};

// Windows' own keys below "SOFTWARE".
const char* const SOFTWARE_KEYS[] = {
    "Microsoft", "Classes", "Clients", "Description", "Secure", "Program Groups", "Policies",
};

}  // namespace

bool IsWindowsDeviceName(const std::string& name) { return IsOneOfCaseBlind(name, DEVICE_NAMES); }

bool IsWindowsSoftwareKey(const std::string& name) { return IsOneOfCaseBlind(name, SOFTWARE_KEYS); }

}  // namespace mdm
