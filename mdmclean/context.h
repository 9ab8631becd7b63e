// The run state of mdmclean: the run object and the three program-wide tables
// that the configuration fills and the stages read.
#pragma once

#include <string>

#include "common/file_removal.h"

namespace mdm::cleaner {

constexpr int RESULT_DONE = 0;
constexpr int RESULT_NO_CONFIG = 1;
constexpr int RESULT_NOT_INSTALLED = 2;

constexpr int FILE_TABLE_CAPACITY = 20;
constexpr int PNP_KEY_SLOTS = 20;
constexpr int PNP_KEY_SLOT_SIZE = 32;
constexpr int VENDOR_KEY_PATH_SIZE = 256;

// Program-wide in the real program (one static instance, zero-filled at
// start); tests build a fresh one per case.
struct ProgramTables {
  FileEntry FileRemovalTable[FILE_TABLE_CAPACITY] = {};
  char PnpKeyList[PNP_KEY_SLOTS][PNP_KEY_SLOT_SIZE] = {};
  char VendorKeyPath[VENDOR_KEY_PATH_SIZE] = {};
};

class UninstallContext {
 public:
  UninstallContext() = default;
  virtual ~UninstallContext() = default;
  UninstallContext(const UninstallContext&) = delete;
  UninstallContext& operator=(const UninstallContext&) = delete;

  std::string modemName;
  std::string voiceName;
  std::string loadProgramName;
  std::string comPort;
};

}  // namespace mdm::cleaner
