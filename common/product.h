// The product's own names, as its installer leaves them on the machine. Each
// is written here once; the library uses them as they stand, mdmclean where
// its configuration does not name them itself.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/product_names.h"
#include "common/version.h"

namespace mdm::product {

// The deliverables' version, from the build.
inline constexpr const char* VERSION = MDM_VERSION_TEXT;

// The product subdirectory of the Windows system directory.
inline constexpr const char* SUBDIRECTORY = "QUILLNET.101";

// The device name: root device "Enum\Root\Quillnet", its device class, and
// the class of the product's own INF files.
inline constexpr const char* DEVICE_NAME = "Quillnet";

// The voice device's "InfSection".
inline constexpr const char* VOICE_SECTION = "QuillnetVoice";

// The software key and the two values the installer services use.
inline constexpr const char* SOFTWARE_KEY = "SOFTWARE\\QRMeridian\\Quillnet";
inline constexpr const char* BASE_ADDRESS_KEY = "SOFTWARE\\QRMeridian\\Quillnet\\1.0\\Base";

// The ISA Plug-and-Play device IDs, in the order the library tries them; the
// last is also the one mdmclean falls back to.
inline constexpr const char* ISAPNP_IDS[] = {"QRM1001", "QRM1003", "QRM0100"};
inline constexpr const char* FALLBACK_ISAPNP_ID = "QRM0100";
// The device whose instances ChangeW95SerialNumber renames.
inline constexpr const char* SERIAL_DEVICE_KEY = "Enum\\ISAPNP\\QRM1001";

// The audio VxD's key below "System\CurrentControlSet\Services\VxD".
inline constexpr const char* AUDIO_VXD = "QNAUDIO";

// The running NVRAM program's window, told before any file goes.
inline constexpr const char* NVRAM_WINDOW_CLASS = "QN_NVRAMCLASS";
inline constexpr const char* NVRAM_WINDOW_TITLE = "Quillnet NVRAM";
inline constexpr std::uint32_t NVRAM_RELEASE_MESSAGE = 0x0401;

// The library's files. "quillnet.vxd" is stored in lower case on purpose; the
// file system does not care, but this is how the product names it.
inline constexpr const char* CONTROL_PANEL_FILE = "QUILLNET.CPL";
inline constexpr const char* VXD_FILE = "quillnet.vxd";
inline constexpr const char* PROGRAM_FILE = "QUILLNET.EXE";
inline constexpr const char* DRIVER_FILE = "QUILLNET.DRV";
inline constexpr const char* STUB_FILE = "PRELDR.EXE";

// What the product's INF files say of themselves.
inline constexpr const char* INF_DESCRIPTION_KEY = "Quillnet.DeviceDesc";  // in [Strings]
inline constexpr const char* PORT_DESCRIPTION = "ComPort,QUILLNET";
inline constexpr const char* PORT_DESCRIPTION_KEYS[] = {"%Quillnet.DeviceDesc%",
                                                        "%QRMPort.DeviceDesc%"};  // in [Std]

// The package's INF file names, deleted in this order.
inline constexpr std::size_t INF_NAME_COUNT = 8;
// From "INF" below the Windows directory.
inline constexpr const char* PACKAGE_INF_NAMES[INF_NAME_COUNT] = {
    "QNPORT.IN~",   "QNPORT.INF",   "QNMODEM.IN~", "QNMODEM.INF",
    "QUILLNET.INF", "QUILLNET.IN~", "QUILNT2.INF", "QUILNT2.IN~",
};
// The provider-named copies, from "INF\Other": Windows names them after the
// INF file's provider, the company.
inline constexpr const char* PROVIDER_INF_NAMES[INF_NAME_COUNT] = {
    MDM_COMPANY_NAME "QUILLNET.INF", MDM_COMPANY_NAME "QNPORT.INF",
    MDM_COMPANY_NAME "QUILNT2.INF",  MDM_COMPANY_NAME "QNMODEM.INF",
    MDM_COMPANY_NAME "QUILLNET.IN~", MDM_COMPANY_NAME "QNPORT.IN~",
    MDM_COMPANY_NAME "QUILNT2.IN~",  MDM_COMPANY_NAME "QNMODEM.IN~",
};

}  // namespace mdm::product
