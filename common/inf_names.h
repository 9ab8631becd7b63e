// The package's INF file names, shared by both INF stages and used in this order.
#pragma once

#include <cstddef>

namespace mdm {

constexpr std::size_t INF_NAME_COUNT = 8;

// Deleted from "INF" below the Windows directory.
inline constexpr const char* PackageInfNames[INF_NAME_COUNT] = {
    "QNPORT.IN~",   "QNPORT.INF",  "QNMODEM.IN~", "QNMODEM.INF",
    "QUILLNET.INF", "QUILLNET.IN~", "QUILNT2.INF", "QUILNT2.IN~",
};

// The provider-named copies, deleted from "INF\Other".
inline constexpr const char* ProviderInfNames[INF_NAME_COUNT] = {
    "Q.R. Meridian, Inc.QUILLNET.INF", "Q.R. Meridian, Inc.QNPORT.INF",
    "Q.R. Meridian, Inc.QUILNT2.INF",  "Q.R. Meridian, Inc.QNMODEM.INF",
    "Q.R. Meridian, Inc.QUILLNET.IN~", "Q.R. Meridian, Inc.QNPORT.IN~",
    "Q.R. Meridian, Inc.QUILNT2.IN~",  "Q.R. Meridian, Inc.QNMODEM.IN~",
};

}  // namespace mdm
