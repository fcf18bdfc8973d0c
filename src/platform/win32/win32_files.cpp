#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <utility>

#include "platform/win32/scoped_win.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_text.h"

namespace pixtrel {
namespace {

using win32::ScopedFile;

// A file another program holds for a moment (an antivirus, an indexer, a sync client) is
// asked again this often, this far apart, before the program gives up on it.
constexpr int kTries = 6;
constexpr DWORD kTryPause = 40;
// What a user may have set on a file, and finds on it again once it is saved over.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Both separators, as the system takes both.
std::wstring FolderOf(const std::wstring& path) {
  const auto slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

ScopedFile Open(const std::wstring& path, DWORD access, DWORD disposition) {
  // Shared all ways: a viewer that holds the old picture open does not block the new one.
  const HANDLE file =
      CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  return ScopedFile(file == INVALID_HANDLE_VALUE ? nullptr : file);
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// What another program's hold looks like; it may let go in a moment.
bool HeldElsewhere(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
         error == ERROR_ACCESS_DENIED || error == ERROR_UNABLE_TO_REMOVE_REPLACED;
}

// Runs `attempt` until it succeeds, or fails for another reason than a hold, or the tries are
// spent; the last error stays for the caller.
template <class Attempt>
bool Retried(Attempt attempt) {
  for (int tried = 1;; ++tried) {
    if (attempt())
      return true;
    const DWORD error = GetLastError();
    if (tried == kTries || !HeldElsewhere(error))
      return false;
    Sleep(kTryPause);
  }
}

void MakeParents(const std::wstring& folder) {
  if (folder.empty() || Exists(folder))
    return;
  MakeParents(FolderOf(folder));
  CreateDirectoryW(folder.c_str(), nullptr);
}

// Short, so that a target near the length limit still has a temporary that fits; the process
// id and a count keep two writers apart.
std::wstring TempBeside(const std::wstring& target) {
  static std::atomic<unsigned> count{0};
  const std::wstring folder = FolderOf(target);
  return (folder.empty() ? folder : folder + L'\\') + L"~px" +
         std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++count) + L".tmp";
}

// Whether a replacement may take the file's name: no other program holds it without leave.
bool Deletable(const std::wstring& path) {
  const HANDLE file =
      CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  const ScopedFile held(file == INVALID_HANDLE_VALUE ? nullptr : file);
  return static_cast<bool>(held);
}

// Copies the whole of `from` over `to`, which keeps its own attributes, owner and permissions.
bool CopyInPlace(const std::wstring& from, const std::wstring& to) {
  const ScopedFile source = Open(from, GENERIC_READ, OPEN_EXISTING);
  const ScopedFile target = Open(to, GENERIC_WRITE, OPEN_EXISTING);
  if (!source || !target)
    return false;
  char buffer[1 << 16];
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(source.As<HANDLE>(), buffer, sizeof buffer, &read, nullptr))
      return false;
    if (read == 0)
      break;
    DWORD written = 0;
    if (!WriteFile(target.As<HANDLE>(), buffer, read, &written, nullptr) || written != read)
      return false;
  }
  return SetEndOfFile(target.As<HANDLE>()) != FALSE;
}

class Win32OutputFile : public OutputFile {
 public:
  Win32OutputFile(ScopedFile file, std::wstring temp, std::wstring target, bool durable)
      : file_(std::move(file)),
        temp_(std::move(temp)),
        target_(std::move(target)),
        durable_(durable) {}

  ~Win32OutputFile() override {
    if (!committed_) {
      file_.Reset();
      DeleteFileW(temp_.c_str());
    }
  }

  std::size_t Write(const void* data, std::size_t size) override {
    const auto* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < size && file_) {
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
      DWORD written = 0;
      if (!WriteFile(file_.As<HANDLE>(), bytes + done, chunk, &written, nullptr) || written == 0)
        break;
      done += written;
    }
    if (done < size)
      failed_ = true;
    return done;
  }

  bool Commit() override {
    if (failed_ || !file_)
      return false;
    bool ok = !durable_ || FlushFileBuffers(file_.As<HANDLE>());
    // A failed close can mean lost data.
    ok = CloseHandle(static_cast<HANDLE>(file_.Take())) && ok;
    committed_ = ok && PutInPlace();
    return committed_;
  }

 private:
  bool Move() {
    return MoveFileExW(temp_.c_str(), target_.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
  }

  bool PutInPlace() {
    const DWORD attributes = GetFileAttributesW(target_.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
      return Retried([&] { return Move(); });
    // A folder that came to stand there meanwhile is no file to replace.
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      SetLastError(ERROR_ACCESS_DENIED);
      return false;
    }
    // The new file is still the user's old one: hidden if it was, and so on.
    SetFileAttributesW(temp_.c_str(), attributes & kKeptAttributes);
    if (Retried([&] { return Deletable(target_); })) {
      // Its owner and permissions, its creation time and its other streams go over too.
      if (ReplaceFileW(target_.c_str(), temp_.c_str(), nullptr,
                       REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr,
                       nullptr)) {
        return true;
      }
      const DWORD error = GetLastError();
      // Halfway: the old file is out of the way, under its name no more; the new one is whole.
      if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT || error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2)
        return Move();
      SetLastError(error);
    }
    // Held open without leave to rename or delete it (an image viewer that shows it), the old
    // file can still be written over, as a program that writes in place would do.
    if (!HeldElsewhere(GetLastError()) || !CopyInPlace(temp_, target_))
      return false;
    DeleteFileW(temp_.c_str());
    return true;
  }

  ScopedFile file_;
  std::wstring temp_;
  std::wstring target_;
  bool durable_;
  bool failed_ = false;
  bool committed_ = false;
};

}  // namespace

bool Win32Files::MakeFolder(const std::string& path) {
  return CreateDirectoryW(win32::Wide(path).c_str(), nullptr) != 0;
}

StartedFile Win32Files::StartFile(const std::string& path, const FileOptions& options) {
  std::wstring target = win32::Wide(path);
  if (options.make_parents)
    MakeParents(FolderOf(target));

  // Ask for the old file itself first: a folder, a read-only file or one another program holds
  // is refused now, in the system's words, rather than at the replacement.
  if (Exists(target) && !Retried([&] { return Open(target, GENERIC_WRITE, OPEN_EXISTING); }))
    return {nullptr, win32::LastErrorText()};

  std::wstring temp = TempBeside(target);
  ScopedFile file = Open(temp, GENERIC_WRITE, CREATE_ALWAYS);
  if (!file)
    return {nullptr, win32::LastErrorText()};
  return {std::make_unique<Win32OutputFile>(std::move(file), std::move(temp), std::move(target),
                                            options.durable),
          {}};
}

std::optional<std::string> Win32Files::ReadWholeFile(const std::string& path,
                                                     std::size_t max_bytes) {
  const ScopedFile file = Open(win32::Wide(path), GENERIC_READ, OPEN_EXISTING);
  if (!file)
    return std::nullopt;
  std::string text;
  char buffer[16384];
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file.As<HANDLE>(), buffer, sizeof buffer, &read, nullptr))
      return std::nullopt;
    if (read == 0)
      break;
    if (read > max_bytes - text.size())
      return std::nullopt;
    text.append(buffer, read);
  }
  return text;
}

bool Win32Files::FileExists(const std::string& path) {
  if (Exists(win32::Wide(path)))
    return true;
  // A file the system holds open for itself still stands there.
  return GetLastError() == ERROR_SHARING_VIOLATION;
}

}  // namespace pixtrel
