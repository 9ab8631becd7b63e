// The file functions of the platform: directory search, file deletion,
// directory removal and writing a file, with the refusals and last-error
// codes of Windows.
//
// A file that is open or in use is deleted or kept as the machine is set to
// (Machine::SetDeletesOpenFiles); handles open on a deleted file keep working
// on what it held until they are closed, unseen by anything else.
//
// A pattern is matched against a long name and against its 8.3 alias, as
// Windows does, so "oem*.inf" finds "oemsetup.information". Not modelled: the
// host's directory order (a search returns names sorted case-blind, where Wine
// returns the host's readdir order).
#include <cstring>

#include "emulator/case_blind.h"
#include "emulator/machine.h"
#include "emulator/machine_state.h"

namespace mdm::emu {

namespace {

bool IsValidName(const std::string& name) {
  if (name.find_first_of("*?<>|\":") != std::string::npos) return false;
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 32) return false;
  }
  return true;
}

// A path argument of a file function; nullopt with `error` set when it names
// nothing. Windows 95 refuses paths of MAX_PATH characters and more.
std::optional<WinPath> PathArgument(const WinPath& workingDirectory, const char* path,
                                    std::uint32_t& error) {
  if (path == nullptr || path[0] == '\0') {
    error = ERROR_PATH_NOT_FOUND;
    return std::nullopt;
  }
  if (std::strlen(path) >= MAX_PATH) {
    error = ERROR_FILENAME_EXCED_RANGE;
    return std::nullopt;
  }
  auto parsed = ParseWinPath(path, workingDirectory);
  if (!parsed) {
    error = ERROR_PATH_NOT_FOUND;
    return std::nullopt;
  }
  for (std::size_t i = 0; i + 1 < parsed->parts.size(); ++i) {
    if (!IsValidName(parsed->parts[i])) {
      error = ERROR_INVALID_NAME;
      return std::nullopt;
    }
  }
  return parsed;
}

FindData Entry(const std::string& name, bool directory, bool readOnly) {
  FindData entry;
  entry.attributes = (directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE) |
                     (readOnly ? FILE_ATTRIBUTE_READONLY : 0);
  std::strncpy(entry.fileName, name.c_str(), MAX_PATH - 1);
  return entry;
}

}  // namespace

FindHandle Machine::FindFirstFileA(const char* pattern, FindData* data) {
  std::uint32_t& error = state_->lastError;
  if (data == nullptr) {
    error = ERROR_INVALID_PARAMETER;
    return INVALID_FIND_HANDLE;
  }
  const auto path = PathArgument(state_->WorkingPath(), pattern, error);
  if (!path) return INVALID_FIND_HANDLE;
  if (path->parts.empty() || path->trailingSeparator) {
    // No name to look for; a missing folder is found missing first.
    const FileNode* named = state_->files.Find(*path);
    const bool folder = named != nullptr && named->isDirectory;
    error = folder ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    return INVALID_FIND_HANDLE;
  }
  const std::string& mask = path->parts.back();
  const WinPath directory = path->Parent();
  const FileNode* folder = state_->files.Find(directory);
  if (folder == nullptr || !folder->isDirectory) {
    error = ERROR_PATH_NOT_FOUND;
    return INVALID_FIND_HANDLE;
  }

  auto matches = [&](const std::string& name) {
    if (!HasWildcard(mask)) return SameCaseBlind(name, mask);
    if (MatchesPattern(name, mask)) return true;
    const std::string alias = ShortNameAlias(name);
    return !alias.empty() && MatchesPattern(alias, mask);
  };
  Search search{directory, {}, 0};
  if (!directory.parts.empty()) {  // a drive's root has no "." and ".."
    for (const char* dots : {".", ".."}) {
      if (matches(dots)) search.entries.push_back(Entry(dots, true, false));
    }
  }
  for (const auto& child : folder->children) {
    if (matches(child->name))
      search.entries.push_back(Entry(child->name, child->isDirectory, child->readOnly));
  }
  if (search.entries.empty()) {
    error = ERROR_FILE_NOT_FOUND;
    return INVALID_FIND_HANDLE;
  }

  *data = search.entries[0];
  search.next = 1;
  const FindHandle handle = state_->nextSearch;
  state_->nextSearch += 4;
  state_->searches.emplace(handle, std::move(search));
  return handle;
}

int Machine::FindNextFileA(FindHandle handle, FindData* data) {
  auto it = state_->searches.find(handle);
  if (it == state_->searches.end() || data == nullptr) {
    state_->lastError = ERROR_INVALID_HANDLE;
    return 0;
  }
  Search& search = it->second;
  if (search.next >= search.entries.size()) {
    state_->lastError = ERROR_NO_MORE_FILES;
    return 0;
  }
  *data = search.entries[search.next++];
  return 1;
}

int Machine::FindClose(FindHandle handle) {
  if (state_->searches.erase(handle) == 0) {
    state_->lastError = ERROR_INVALID_HANDLE;
    return 0;
  }
  return 1;
}

int Machine::DeleteFileA(const char* path) {
  std::uint32_t& error = state_->lastError;
  const auto where = PathArgument(state_->WorkingPath(), path, error);
  if (!where) return 0;
  if (where->parts.empty()) {
    error = ERROR_ACCESS_DENIED;
    return 0;
  }
  if (!IsValidName(where->parts.back())) {
    error = ERROR_INVALID_NAME;  // no wildcards: one file at a time
    return 0;
  }
  FileNode* file = state_->Existing(*where);
  if (file == nullptr) return 0;
  if (where->trailingSeparator && !file->isDirectory) {
    error = ERROR_INVALID_NAME;  // "name\" names a directory, and this is a file
    return 0;
  }
  if (file->isDirectory || file->readOnly) {
    error = ERROR_ACCESS_DENIED;
    return 0;
  }
  if ((file->inUse || state_->IsOpen(*where)) && !state_->DeletesOpenFiles()) {
    error = ERROR_SHARING_VIOLATION;
    return 0;
  }
  const std::string stored = state_->files.StoredPath(*where);
  state_->Unlink(*where, file);
  state_->Record(JournalEntry::Kind::FileDeleted, stored);
  return 1;
}

void Machine::State::Unlink(const WinPath& path, FileNode* file) {
  std::shared_ptr<FileNode> taken = files.Find(path.Parent())->Take(file);
  for (auto& [handle, opened] : openFiles) {
    if (!opened.deleted && SamePath(opened.path, path)) opened.deleted = taken;
  }
}

int Machine::RemoveDirectoryA(const char* path) {
  std::uint32_t& error = state_->lastError;
  const auto where = PathArgument(state_->WorkingPath(), path, error);
  if (!where) return 0;
  if (where->parts.empty()) {
    // A drive's root stays; Wine names its contents as the reason (measured).
    const FileNode* root = state_->files.Drive(where->drive);
    error = root != nullptr && !root->children.empty() ? ERROR_DIR_NOT_EMPTY : ERROR_ACCESS_DENIED;
    return 0;
  }
  if (HasWildcard(where->parts.back())) {
    // Windows 95 finds no such folder; the NT family refuses the name.
    error = state_->Windows9x() ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_NAME;
    return 0;
  }
  FileNode* directory = state_->Existing(*where);
  if (directory == nullptr) return 0;
  if (!directory->isDirectory) {
    error = ERROR_DIRECTORY;
    return 0;
  }
  // Windows 95 keeps a directory that an open search or the working
  // directory holds.
  bool held = SamePath(*where, state_->WorkingPath());
  for (const auto& [handle, search] : state_->searches)
    held = held || SamePath(*where, search.directory);
  if (held) {
    error = ERROR_SHARING_VIOLATION;
    return 0;
  }
  if (directory->readOnly) {
    error = ERROR_ACCESS_DENIED;
    return 0;
  }
  if (!directory->children.empty()) {
    error = ERROR_DIR_NOT_EMPTY;
    return 0;
  }
  const std::string stored = state_->files.StoredPath(*where);
  state_->files.Find(where->Parent())->Remove(directory);
  state_->Record(JournalEntry::Kind::DirectoryRemoved, stored);
  return 1;
}

// ---------------------------------------------------------------- writing

// Opens for writing, creating the file when absent (OPEN_ALWAYS), or for
// reading a file that exists (OPEN_EXISTING): what the change log and the
// undo file ask for. Other modes are refused.
FileHandle Machine::CreateFileA(const char* path, std::uint32_t access, std::uint32_t shareMode,
                                std::uint32_t creation, std::uint32_t) {
  std::uint32_t& error = state_->lastError;
  const bool reading = access == GENERIC_READ && creation == OPEN_EXISTING;
  if (!reading && (access != GENERIC_WRITE || creation != OPEN_ALWAYS)) {
    error = ERROR_INVALID_PARAMETER;
    return INVALID_FILE_HANDLE;
  }
  const auto where = PathArgument(state_->WorkingPath(), path, error);
  if (!where) return INVALID_FILE_HANDLE;
  if (reading && state_->Windows9x() && HasWildcard(where->parts.back())) {
    error = ERROR_FILE_NOT_FOUND;  // Windows 98 looks the pattern up and finds no file
    return INVALID_FILE_HANDLE;
  }
  if (where->parts.empty() || where->trailingSeparator || !IsValidName(where->parts.back())) {
    error = ERROR_INVALID_NAME;
    return INVALID_FILE_HANDLE;
  }
  FileNode* parent = state_->files.Find(where->Parent());
  if (parent == nullptr || !parent->isDirectory) {
    error = ERROR_PATH_NOT_FOUND;
    return INVALID_FILE_HANDLE;
  }
  FileNode* file = parent->Find(where->parts.back());
  if (reading && file == nullptr) {
    error = ERROR_FILE_NOT_FOUND;
    return INVALID_FILE_HANDLE;
  }
  if (file != nullptr && (file->isDirectory || (file->readOnly && !reading))) {
    error = ERROR_ACCESS_DENIED;
    return INVALID_FILE_HANDLE;
  }
  if (file != nullptr && file->inUse) {
    error = ERROR_SHARING_VIOLATION;
    return INVALID_FILE_HANDLE;
  }
  if (file == nullptr) {
    parent->Add(where->parts.back(), false);
    state_->Record(JournalEntry::Kind::FileWritten, state_->files.StoredPath(*where), "created");
  }
  const FileHandle handle = state_->nextFile;
  state_->nextFile += 4;
  state_->openFiles.emplace(handle, OpenFile{*where, 0, reading, shareMode, nullptr});
  error = file != nullptr && !reading ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS;
  return handle;
}

int Machine::ReadFile(FileHandle handle, void* data, std::uint32_t size, std::uint32_t* read) {
  if (read != nullptr) *read = 0;
  auto [file, node] = state_->Opened(handle);
  if (node == nullptr) return 0;
  if (!file->forReading) {
    state_->lastError = ERROR_ACCESS_DENIED;
    return 0;
  }
  if (data == nullptr && size > 0) {
    state_->lastError = state_->Windows9x() ? ERROR_INVALID_PARAMETER : ERROR_NOACCESS;
    return 0;
  }
  const std::size_t available =
      file->position < node->content.size() ? node->content.size() - file->position : 0;
  const std::size_t count = available < size ? available : size;
  if (count > 0) std::memcpy(data, node->content.data() + file->position, count);
  file->position += count;
  if (read != nullptr) *read = static_cast<std::uint32_t>(count);
  return 1;
}

// Renames a file or folder within its drive, read-only or not; refused when
// the new name is taken, and for a file that is in use or open.
int Machine::MoveFileA(const char* from, const char* to) {
  std::uint32_t& error = state_->lastError;
  const auto source = PathArgument(state_->WorkingPath(), from, error);
  if (!source) return 0;
  const auto target = PathArgument(state_->WorkingPath(), to, error);
  if (!target) return 0;
  if (state_->Windows9x() && !target->parts.empty() && HasWildcard(target->parts.back())) {
    error = ERROR_FILE_NOT_FOUND;  // as Windows 95 answers a pattern for the new name
    return 0;
  }
  if (source->parts.empty() || target->parts.empty() || !IsValidName(source->parts.back()) ||
      !IsValidName(target->parts.back())) {
    error = ERROR_INVALID_NAME;
    return 0;
  }
  FileNode* node = state_->Existing(*source);
  if (node == nullptr) return 0;
  if (source->drive != target->drive) {
    error = ERROR_NOT_SAME_DEVICE;
    return 0;
  }
  FileNode* toParent = state_->files.Find(target->Parent());
  if (toParent == nullptr || !toParent->isDirectory) {
    error = ERROR_PATH_NOT_FOUND;
    return 0;
  }
  if (toParent->Find(target->parts.back()) != nullptr && !SamePath(*source, *target)) {
    error = ERROR_ALREADY_EXISTS;
    return 0;
  }
  if (node->inUse || state_->IsOpen(*source)) {
    error = state_->Windows9x() ? ERROR_ACCESS_DENIED : ERROR_SHARING_VIOLATION;
    return 0;
  }
  for (WinPath inside = *target; inside.parts.size() > source->parts.size();
       inside = inside.Parent()) {
    if (SamePath(inside.Parent(), *source)) {
      error = ERROR_ACCESS_DENIED;  // a folder into itself
      return 0;
    }
  }
  const std::string before = state_->files.StoredPath(*source);
  FileNode* fromParent = state_->files.Find(source->Parent());
  auto moved =
      fromParent->children.extract(fromParent->children.find(std::string_view(node->name)));
  moved.value()->name = target->parts.back();
  toParent->children.insert(std::move(moved));
  state_->Record(JournalEntry::Kind::FileMoved, before, state_->files.StoredPath(*target));
  return 1;
}

int Machine::WriteFile(FileHandle handle, const void* data, std::uint32_t size,
                       std::uint32_t* written) {
  if (written != nullptr) *written = 0;
  auto [file, node] = state_->Opened(handle);
  if (node == nullptr) return 0;
  if (file->forReading) {
    state_->lastError = ERROR_ACCESS_DENIED;
    return 0;
  }
  if (state_->diskFull && size > 0) {
    state_->lastError = ERROR_DISK_FULL;
    return 0;
  }
  if (data == nullptr && size > 0 && !state_->Windows9x()) {
    state_->lastError = ERROR_INVALID_USER_BUFFER;
    return 0;
  }
  if (node->content.size() < file->position) node->content.resize(file->position, '\0');
  // Windows 95 writes from a null buffer too; what it writes is not known,
  // so zeros stand for it here.
  const std::string bytes =
      data != nullptr ? std::string(static_cast<const char*>(data), size) : std::string(size, '\0');
  node->content.replace(file->position, size, bytes);
  if (!file->deleted) {
    state_->Record(JournalEntry::Kind::FileWritten, state_->files.StoredPath(file->path),
                   std::to_string(size) + " bytes at " + std::to_string(file->position));
  }
  file->position += size;
  if (written != nullptr) *written = size;
  return 1;
}

std::uint32_t Machine::SetFilePointer(FileHandle handle, std::int32_t distance,
                                      std::uint32_t method) {
  constexpr std::uint32_t INVALID_SET_FILE_POINTER = 0xFFFFFFFF;
  auto [file, node] = state_->Opened(handle);
  if (node == nullptr) return INVALID_SET_FILE_POINTER;
  const long long base = method == FILE_END     ? static_cast<long long>(node->content.size())
                         : method == FILE_BEGIN ? 0
                                                : static_cast<long long>(file->position);
  if (base + distance < 0 || method > FILE_END) {
    state_->lastError = ERROR_INVALID_PARAMETER;
    return INVALID_SET_FILE_POINTER;
  }
  file->position = static_cast<std::size_t>(base + distance);
  return static_cast<std::uint32_t>(file->position);
}

std::uint32_t Machine::GetFileSize(FileHandle handle) {
  auto [file, node] = state_->Opened(handle);
  return node == nullptr ? 0xFFFFFFFF : static_cast<std::uint32_t>(node->content.size());
}

int Machine::SetEndOfFile(FileHandle handle) {
  auto [file, node] = state_->Opened(handle);
  if (node == nullptr) return 0;
  node->content.resize(file->position, '\0');
  if (!file->deleted) {
    state_->Record(JournalEntry::Kind::FileWritten, state_->files.StoredPath(file->path),
                   "end at " + std::to_string(file->position));
  }
  return 1;
}

// Writes reach the file at once here; nothing is held back to flush.
int Machine::FlushFileBuffers(FileHandle handle) {
  return state_->Opened(handle).second != nullptr;
}

std::pair<OpenFile*, FileNode*> Machine::State::Opened(FileHandle handle) {
  auto it = openFiles.find(handle);
  if (it == openFiles.end()) {
    lastError = ERROR_INVALID_HANDLE;
    return {nullptr, nullptr};
  }
  OpenFile& opened = it->second;
  return {&opened, opened.deleted ? opened.deleted.get() : files.Find(opened.path)};
}

int Machine::CloseHandle(FileHandle handle) {
  if (state_->openFiles.erase(handle) == 0) {
    state_->lastError = ERROR_INVALID_HANDLE;
    return 0;
  }
  return 1;
}

void Machine::GetLocalTime(SystemTime* time) { *time = state_->localTime; }

}  // namespace mdm::emu
