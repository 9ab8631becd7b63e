// The machine's settings, windows, journal, version and directory queries, and
// the set-up and inspection functions that tests use.
#include "emulator/machine.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "emulator/case_blind.h"
#include "emulator/machine_state.h"
#include "emulator/regedit.h"

namespace mdm::emu {

namespace {

const char* KindName(JournalEntry::Kind kind) {
  switch (kind) {
    case JournalEntry::Kind::FileDeleted: return "FileDeleted";
    case JournalEntry::Kind::DirectoryRemoved: return "DirectoryRemoved";
    case JournalEntry::Kind::KeyDeleted: return "KeyDeleted";
    case JournalEntry::Kind::KeyCreated: return "KeyCreated";
    case JournalEntry::Kind::ValueSet: return "ValueSet";
    case JournalEntry::Kind::ProfileWritten: return "ProfileWritten";
    case JournalEntry::Kind::MessageSent: return "MessageSent";
    case JournalEntry::Kind::FileWritten: return "FileWritten";
    case JournalEntry::Kind::FileMoved: return "FileMoved";
  }
  return "?";
}

// Win32 convention of the directory queries: the length without terminator
// when the text fits, else the size needed with it and the buffer untouched
// (measured under Wine).
std::uint32_t CopyDirectory(const std::string& text, char* buffer, std::uint32_t size) {
  const std::uint32_t needed = static_cast<std::uint32_t>(text.size() + 1);
  if (buffer == nullptr || size < needed) return needed;
  std::memcpy(buffer, text.c_str(), needed);
  return needed - 1;
}

// Windows 95 reports its build with the version in the high word.
std::uint32_t ReportedBuild(std::uint32_t major, std::uint32_t minor, std::uint32_t build) {
  if (major >= 5) return build;
  return (major << 24) | (minor << 16) | (build & 0xFFFF);
}

std::vector<unsigned char> Bytes(const std::string& text, bool terminate) {
  std::vector<unsigned char> data(text.begin(), text.end());
  if (terminate) data.push_back(0);
  return data;
}

[[noreturn]] void SetupError(const std::string& what, const std::string& path) {
  throw std::invalid_argument(what + ": " + path);
}

}  // namespace

std::string ToString(const JournalEntry& entry) {
  std::string text = std::string(KindName(entry.kind)) + " " + entry.subject;
  if (entry.kind == JournalEntry::Kind::ValueSet) {
    return text + " " + (entry.detail.empty() ? "@" : "\"" + entry.detail + "\"");
  }
  if (!entry.detail.empty()) text += " " + entry.detail;
  return text;
}

WinPath Machine::State::WorkingPath() const {
  auto parsed = ParseWinPath(workingDirectory, WinPath{'C', {}, false});
  return parsed ? *parsed : WinPath{'C', {}, false};
}

std::optional<WinPath> Machine::State::Resolve(const std::string& path) const {
  return ParseWinPath(path, WorkingPath());
}

WinPath Machine::State::ResolveOrThrow(const std::string& path) const {
  auto parsed = Resolve(path);
  if (!parsed) SetupError("not a Windows path", path);
  for (const std::string& part : parsed->parts) {
    if (part.size() > 255 || part.find_first_of("*?<>|\":") != std::string::npos) {
      SetupError("not a valid file name", path);
    }
  }
  return *parsed;
}

Machine::Machine() : state_(std::make_unique<State>()) {
  for (const char* folder : {"C:\\WINDOWS\\SYSTEM", "C:\\WINDOWS\\TEMP", "C:\\WORK"}) {
    AddDirectory(folder);
  }
}

Machine::~Machine() = default;

// ---------------------------------------------------------------- settings

void Machine::SetWindowsDirectory(const std::string& path) { state_->windowsDirectory = path; }
void Machine::SetSystemDirectory(const std::string& path) { state_->systemDirectory = path; }
void Machine::SetTempPath(const std::string& path) { state_->tempPath = path; }
void Machine::SetWorkingDirectory(const std::string& path) { state_->workingDirectory = path; }
std::string Machine::WorkingDirectory() const { return state_->workingDirectory; }

void Machine::SetVersion(std::uint32_t major, std::uint32_t minor, std::uint32_t build) {
  state_->major = major;
  state_->minor = minor;
  state_->build = build;
}

void Machine::AddWindow(const std::string& className, const std::string& title,
                        MessageHandler handler, WindowTiming timing) {
  state_->windows.push_back(Window{className, title, std::move(handler), timing});
}

void Machine::State::Advance(std::uint32_t milliseconds) {
  std::uint64_t ms =
      localTime.milliseconds +
      std::uint64_t{1000} *
          (localTime.second + 60 * (localTime.minute + std::uint64_t{60} * localTime.hour)) +
      milliseconds;
  localTime.milliseconds = static_cast<std::uint16_t>(ms % 1000);
  ms /= 1000;
  localTime.second = static_cast<std::uint16_t>(ms % 60);
  ms /= 60;
  localTime.minute = static_cast<std::uint16_t>(ms % 60);
  localTime.hour = static_cast<std::uint16_t>((ms / 60) % 24);
}

// ---------------------------------------------------------------- registry set-up

void Machine::AddKey(const std::string& path) { state_->registry.Create(path); }

void Machine::SetValue(const std::string& keyPath, const std::string& name, std::uint32_t type,
                       const std::vector<unsigned char>& data) {
  state_->registry.Create(keyPath)->SetValue(name, type, data);
}

void Machine::SetString(const std::string& keyPath, const std::string& name,
                        const std::string& value) {
  SetValue(keyPath, name, REG_SZ, Bytes(value, true));
}

void Machine::SetDword(const std::string& keyPath, const std::string& name, std::uint32_t value) {
  SetValue(keyPath, name, REG_DWORD,
           {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
            static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)});
}

bool Machine::HasKey(const std::string& path) const {
  return state_->registry.Find(path) != nullptr;
}

bool Machine::HasValue(const std::string& keyPath, const std::string& name) const {
  auto node = state_->registry.Find(keyPath);
  return node && node->FindValue(name) != nullptr;
}

std::optional<std::string> Machine::GetString(const std::string& keyPath,
                                              const std::string& name) const {
  auto node = state_->registry.Find(keyPath);
  const RegValue* value = node ? node->FindValue(name) : nullptr;
  if (value == nullptr) return std::nullopt;
  std::string text(value->data.begin(), value->data.end());
  if (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

void Machine::DenyOpen(const std::string& path) { state_->registry.Create(path)->denyOpen = true; }

std::string Machine::ExportRegistry() const { return ExportRegedit(state_->registry); }

void Machine::ImportRegistry(const std::string& regeditText) {
  ImportRegedit(state_->registry, regeditText);
}

// ---------------------------------------------------------------- file set-up

void Machine::AddFile(const std::string& path, const std::string& content) {
  const WinPath where = state_->ResolveOrThrow(path);
  if (where.parts.empty()) SetupError("a file needs a name", path);
  FileNode* parent = state_->files.MakeDirectories(where.Parent());
  if (parent == nullptr) SetupError("a file stands in the way", path);
  FileNode& file = parent->Add(where.parts.back(), false);
  if (file.isDirectory) SetupError("a directory of that name exists", path);
  file.content = content;
}

void Machine::RemoveFile(const std::string& path) {
  const WinPath where = state_->ResolveOrThrow(path);
  if (where.parts.empty()) SetupError("a file needs a name", path);
  FileNode* parent = state_->files.Find(where.Parent());
  FileNode* file = state_->files.Find(where);
  if (file == nullptr || parent == nullptr) return;
  if (file->isDirectory) SetupError("a directory of that name exists", path);
  parent->Remove(file);
}

void Machine::AddDirectory(const std::string& path) {
  if (state_->files.MakeDirectories(state_->ResolveOrThrow(path)) == nullptr) {
    SetupError("a file stands in the way", path);
  }
}

void Machine::SetReadOnly(const std::string& path, bool readOnly) {
  FileNode* node = state_->files.Find(state_->ResolveOrThrow(path));
  if (node == nullptr) SetupError("no such file", path);
  node->readOnly = readOnly;
}

void Machine::SetInUse(const std::string& path, bool inUse) {
  FileNode* node = state_->files.Find(state_->ResolveOrThrow(path));
  if (node == nullptr) SetupError("no such file", path);
  node->inUse = inUse;
}

void Machine::SetDeletesOpenFiles(bool deletes) { state_->deletesOpenFiles = deletes; }

void Machine::SetDiskFull(bool full) { state_->diskFull = full; }

void Machine::SetLocalTime(const SystemTime& time) { state_->localTime = time; }

bool Machine::FileExists(const std::string& path) const {
  auto where = state_->Resolve(path);
  const FileNode* node = where ? state_->files.Find(*where) : nullptr;
  return node != nullptr && !node->isDirectory;
}

bool Machine::DirectoryExists(const std::string& path) const {
  auto where = state_->Resolve(path);
  const FileNode* node = where ? state_->files.Find(*where) : nullptr;
  return node != nullptr && node->isDirectory;
}

std::optional<std::string> Machine::ReadFile(const std::string& path) const {
  auto where = state_->Resolve(path);
  const FileNode* node = where ? state_->files.Find(*where) : nullptr;
  if (node == nullptr || node->isDirectory) return std::nullopt;
  return node->content;
}

namespace {
void ListBelow(const FileNode& directory, const std::string& prefix,
               std::vector<std::string>& out) {
  for (const auto& child : directory.children) {
    const std::string path = prefix + child->name;
    out.push_back(path);
    if (child->isDirectory) ListBelow(*child, path + "\\", out);
  }
}
}  // namespace

std::vector<std::string> Machine::ListTree(const std::string& root) const {
  std::vector<std::string> paths;
  auto where = state_->Resolve(root);
  const FileNode* node = where ? state_->files.Find(*where) : nullptr;
  if (node == nullptr || !node->isDirectory) return paths;
  std::string prefix = state_->files.StoredPath(*where);
  if (prefix.back() != '\\') prefix += '\\';
  ListBelow(*node, prefix, paths);
  return paths;
}

// ---------------------------------------------------------------- journal

const std::vector<JournalEntry>& Machine::Journal() const { return state_->journal; }
void Machine::ClearJournal() { state_->journal.clear(); }
std::size_t Machine::OpenKeyCount() const { return state_->registry.OpenCount(); }
std::size_t Machine::OpenSearchCount() const { return state_->searches.size(); }
std::size_t Machine::OpenFileCount() const { return state_->openFiles.size(); }
void Machine::EndProcess() {
  state_->registry.CloseAll();
  state_->searches.clear();
  state_->openFiles.clear();
}
const std::vector<Machine::KeyOpen>& Machine::KeyOpenLog() const { return state_->keyOpens; }

// ---------------------------------------------------------------- directories, version

std::uint32_t Machine::GetWindowsDirectoryA(char* buffer, std::uint32_t size) {
  return CopyDirectory(state_->windowsDirectory, buffer, size);
}

std::uint32_t Machine::GetSystemDirectoryA(char* buffer, std::uint32_t size) {
  return CopyDirectory(state_->systemDirectory, buffer, size);
}

std::uint32_t Machine::GetTempPathA(std::uint32_t size, char* buffer) {
  return CopyDirectory(state_->tempPath, buffer, size);
}

int Machine::GetVersionExA(VersionInfo* info) {
  // OSVERSIONINFOEXA (156 bytes) is accepted too, except by Windows 95; only
  // its common part is filled. Windows 95 and 98 refuse a wrong size without
  // a last error.
  constexpr std::uint32_t EXTENDED_SIZE = 156;
  const bool windows95 = state_->Windows9x() && !state_->Windows98();
  const bool sizeKnown = info != nullptr && (info->size == VERSION_INFO_SIZE ||
                                             (info->size == EXTENDED_SIZE && !windows95));
  if (!sizeKnown) {
    if (!state_->Windows9x()) state_->lastError = ERROR_INSUFFICIENT_BUFFER;
    return 0;
  }
  info->majorVersion = state_->major;
  info->minorVersion = state_->minor;
  info->buildNumber = ReportedBuild(state_->major, state_->minor, state_->build);
  info->platformId = state_->major >= 5 ? 2 : 1;  // NT, else Windows 95/98
  std::memset(info->csdVersion, 0, sizeof info->csdVersion);
  return 1;
}

std::uint32_t Machine::GetLastError() { return state_->lastError; }

// ---------------------------------------------------------------- windows

WindowHandle Machine::FindWindowA(const char* className, const char* windowName) {
  for (std::size_t i = 0; i < state_->windows.size(); ++i) {
    const Window& window = state_->windows[i];
    if (className != nullptr && !SameCaseBlind(window.className, className)) continue;
    if (windowName != nullptr && !SameCaseBlind(window.title, windowName)) continue;
    return 0x10010 + 0x10 * i;
  }
  return 0;
}

std::intptr_t Machine::SendMessageTimeoutA(WindowHandle window, std::uint32_t message,
                                           std::uintptr_t wParam, std::intptr_t lParam,
                                           std::uint32_t flags, std::uint32_t timeout,
                                           std::uintptr_t* result) {
  if (result != nullptr) *result = 0;
  char detail[96];
  std::snprintf(detail, sizeof detail, "msg=0x%04X wParam=%llu lParam=%lld", message,
                static_cast<unsigned long long>(wParam), static_cast<long long>(lParam));
  const std::size_t index = (window - 0x10010) / 0x10;
  const bool valid =
      window >= 0x10010 && (window - 0x10010) % 0x10 == 0 && index < state_->windows.size();
  if (!valid) {
    char subject[40];
    std::snprintf(subject, sizeof subject, "no window 0x%llX",
                  static_cast<unsigned long long>(window));
    state_->Record(JournalEntry::Kind::MessageSent, subject, detail);
    state_->lastError = ERROR_INVALID_WINDOW_HANDLE;
    return 0;
  }
  // Copied: the handler may add windows and so move the table.
  const Window target = state_->windows[index];
  const std::string subject = target.className + "/" + target.title;
  // A message not answered leaves last error 0 on Windows 95 (Win32 SDK of
  // 1998: "If GetLastError returns zero, then the function timed out");
  // the NT family sets ERROR_TIMEOUT, as Wine does.
  const std::uint32_t timedOut = state_->Windows9x() ? 0 : ERROR_TIMEOUT;
  if (target.timing.hung && (flags & SMTO_ABORTIFHUNG) != 0) {
    state_->Record(JournalEntry::Kind::MessageSent, subject,
                   std::string(detail) + " not answered: hung");
    state_->lastError = timedOut;
    return 0;
  }
  if (target.timing.hung || target.timing.answersAfterMs > timeout) {
    state_->Advance(timeout);
    state_->Record(JournalEntry::Kind::MessageSent, subject,
                   std::string(detail) + " not answered in " + std::to_string(timeout) + " ms");
    state_->lastError = timedOut;
    return 0;
  }
  state_->Advance(target.timing.answersAfterMs);
  state_->Record(JournalEntry::Kind::MessageSent, subject, detail);
  const std::intptr_t reply = target.handler ? target.handler(message, wParam, lParam) : 0;
  if (result != nullptr) *result = static_cast<std::uintptr_t>(reply);
  return 1;
}

}  // namespace mdm::emu
