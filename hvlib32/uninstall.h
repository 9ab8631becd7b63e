// The library's built-in file table.
#pragma once

#include "common/file_removal.h"

namespace mdm::hvlib {

extern const FileEntry FixedRemovalTable[6];

}  // namespace mdm::hvlib
