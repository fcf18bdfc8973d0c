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

// Both separators, as the system takes both.
std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

ScopedFile Open(const std::string& path, DWORD access, DWORD disposition) {
  // Shared all ways: a viewer that holds the old picture open does not block the new one.
  const HANDLE file =
      CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  return ScopedFile(file == INVALID_HANDLE_VALUE ? nullptr : file);
}

void MakeParents(const std::string& folder) {
  if (folder.empty() || GetFileAttributesA(folder.c_str()) != INVALID_FILE_ATTRIBUTES)
    return;
  MakeParents(FolderOf(folder));
  CreateDirectoryA(folder.c_str(), nullptr);
}

// Short, so that a target near the length limit still has a temporary that fits; the process
// id and a count keep two writers apart.
std::string TempBeside(const std::string& target) {
  static std::atomic<unsigned> count{0};
  const std::string folder = FolderOf(target);
  return (folder.empty() ? folder : folder + '\\') + "~px" + std::to_string(GetCurrentProcessId()) +
         "-" + std::to_string(++count) + ".tmp";
}

class Win32OutputFile : public OutputFile {
 public:
  Win32OutputFile(ScopedFile file, std::string temp, std::string target, bool durable)
      : file_(std::move(file)),
        temp_(std::move(temp)),
        target_(std::move(target)),
        durable_(durable) {}

  ~Win32OutputFile() override {
    if (!committed_) {
      file_.Reset();
      DeleteFileA(temp_.c_str());
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
    if (ok && MoveFileExA(temp_.c_str(), target_.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      committed_ = true;
    }
    return committed_;
  }

 private:
  ScopedFile file_;
  std::string temp_;
  std::string target_;
  bool durable_;
  bool failed_ = false;
  bool committed_ = false;
};

}  // namespace

bool Win32Files::MakeFolder(const std::string& path) {
  return CreateDirectoryA(win32::ToAnsi(path).c_str(), nullptr) != 0;
}

StartedFile Win32Files::StartFile(const std::string& path, const FileOptions& options) {
  const std::string target = win32::ToAnsi(path);
  if (options.make_parents)
    MakeParents(FolderOf(target));

  // Ask for the old file itself first: a folder, a read-only file or one another program holds
  // is refused now, in the system's words, rather than at the replacement.
  if (GetFileAttributesA(target.c_str()) != INVALID_FILE_ATTRIBUTES &&
      !Open(target, GENERIC_WRITE, OPEN_EXISTING)) {
    return {nullptr, win32::LastErrorText()};
  }

  std::string temp = TempBeside(target);
  ScopedFile file = Open(temp, GENERIC_WRITE, CREATE_ALWAYS);
  if (!file)
    return {nullptr, win32::LastErrorText()};
  return {
      std::make_unique<Win32OutputFile>(std::move(file), std::move(temp), target, options.durable),
      {}};
}

std::optional<std::string> Win32Files::ReadWholeFile(const std::string& path,
                                                     std::size_t max_bytes) {
  const ScopedFile file = Open(win32::ToAnsi(path), GENERIC_READ, OPEN_EXISTING);
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
  if (GetFileAttributesA(win32::ToAnsi(path).c_str()) != INVALID_FILE_ATTRIBUTES)
    return true;
  // A file the system holds open for itself still stands there.
  return GetLastError() == ERROR_SHARING_VIOLATION;
}

}  // namespace pixtrel
