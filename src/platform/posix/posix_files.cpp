#include "platform/posix/posix_files.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <utility>

namespace pixtrel {
namespace {

// A file descriptor, closed with its owner.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  ~UniqueFd() {
    if (fd_ >= 0)
      ::close(fd_);
  }
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  // Closes now, for the answer: a failed close can mean lost data.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return fd >= 0 && ::close(fd) == 0;
  }

 private:
  int fd_;
};

std::string Reason(int error) {
  return std::strerror(error);
}

std::string ParentOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos)
    return ".";
  if (slash == 0)
    return "/";
  return path.substr(0, slash);
}

void MakeParents(const std::string& folder) {
  if (folder.empty() || folder == "/" || folder == ".")
    return;
  struct stat st {};
  if (::stat(folder.c_str(), &st) == 0)
    return;
  MakeParents(ParentOf(folder));
  ::mkdir(folder.c_str(), 0777);
}

// A temporary beside the target, in the folder `dir` holds: ".NAME.XXXXXX", as mkstemp names it.
UniqueFd CreateTemp(int dir, const std::string& name, std::string& temp) {
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  static std::minstd_rand random(std::random_device{}());
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp = "." + name + ".";
    for (int i = 0; i < 6; ++i)
      temp += kLetters[random() % (sizeof kLetters - 1)];
    UniqueFd fd(::openat(dir, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (fd || errno != EEXIST)
      return fd;
  }
  return UniqueFd();
}

// Everything after the start happens in the folder the file was started in, through a handle on
// it: a folder moved away meanwhile takes its file along, whole, and leaves no temporary behind.
class PosixOutputFile : public OutputFile {
 public:
  PosixOutputFile(UniqueFd dir, UniqueFd fd, std::string temp, std::string name, bool durable)
      : dir_(std::move(dir)),
        fd_(std::move(fd)),
        temp_(std::move(temp)),
        name_(std::move(name)),
        durable_(durable) {}

  ~PosixOutputFile() override {
    if (!committed_)
      ::unlinkat(dir_.get(), temp_.c_str(), 0);
  }

  std::size_t Write(const void* data, std::size_t size) override {
    const auto* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < size) {
      const ssize_t n = ::write(fd_.get(), bytes + done, size - done);
      if (n < 0 && errno == EINTR)
        continue;
      if (n <= 0)
        break;
      done += static_cast<std::size_t>(n);
    }
    if (done < size)
      failed_ = true;
    return done;
  }

  bool Commit() override {
    if (failed_ || !fd_)
      return false;
    bool ok = !durable_ || ::fsync(fd_.get()) == 0;
    ok = fd_.Close() && ok;
    if (ok && ::renameat(dir_.get(), temp_.c_str(), dir_.get(), name_.c_str()) == 0) {
      committed_ = true;
      // The rename itself must reach the disk too, or a crash could bring back the old file.
      if (durable_)
        ::fsync(dir_.get());
    }
    return committed_;
  }

 private:
  UniqueFd dir_;
  UniqueFd fd_;
  std::string temp_;
  std::string name_;
  bool durable_;
  bool failed_ = false;
  bool committed_ = false;
};

}  // namespace

bool PosixFiles::MakeFolder(const std::string& path) {
  return ::mkdir(path.c_str(), 0777) == 0;
}

StartedFile PosixFiles::StartFile(const std::string& path, const FileOptions& options) {
  if (options.make_parents)
    MakeParents(ParentOf(path));

  // Write beside what a link points to, so the link survives the replacement.
  std::string target = path;
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr),
                                                           &std::free);
    if (real)
      target = real.get();
  }

  const auto slash = target.find_last_of('/');
  std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  UniqueFd dir(::open(ParentOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir)
    return {nullptr, Reason(errno)};

  mode_t mode = 0;
  const bool exists = ::fstatat(dir.get(), name.c_str(), &st, 0) == 0;
  if (exists) {
    if (S_ISDIR(st.st_mode))
      return {nullptr, Reason(EISDIR)};
    if (::faccessat(dir.get(), name.c_str(), W_OK, 0) != 0)
      return {nullptr, Reason(errno)};
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }

  std::string temp;
  UniqueFd fd = CreateTemp(dir.get(), name, temp);
  if (!fd)
    return {nullptr, Reason(errno)};
  ::fchmod(fd.get(), mode);
  return {std::make_unique<PosixOutputFile>(std::move(dir), std::move(fd), std::move(temp),
                                            std::move(name), options.durable),
          {}};
}

std::optional<std::string> PosixFiles::ReadWholeFile(const std::string& path,
                                                     std::size_t max_bytes) {
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd)
    return std::nullopt;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 ||
      (S_ISREG(st.st_mode) && static_cast<std::uintmax_t>(st.st_size) > max_bytes))
    return std::nullopt;
  std::string text;
  char buffer[16384];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      return std::nullopt;
    if (n == 0)
      break;
    // It may have grown since, or be no regular file at all.
    if (static_cast<std::size_t>(n) > max_bytes - text.size())
      return std::nullopt;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  return text;
}

bool PosixFiles::FileExists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

std::string PosixFiles::SettingsFilePath() {
  // The XDG rule: a relative XDG_CONFIG_HOME is ignored.
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/')
    return std::string(config) + "/Pixtrel.cfg";
  const char* home = std::getenv("HOME");
  std::string home_folder;
  if (home != nullptr && home[0] != '\0') {
    home_folder = home;
  } else if (const passwd* user = ::getpwuid(::getuid())) {
    home_folder = user->pw_dir;
  }
  return home_folder + "/.config/Pixtrel.cfg";
}

}  // namespace pixtrel
