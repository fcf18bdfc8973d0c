// Every Windows handle the backend holds, each given back by its owner on every path, errors
// included. Handles travel as void* so that no header needs <windows.h>; the .cpp files that
// use them cast them back with As<T>().
#pragma once

#include <utility>

namespace pixtrel::win32 {

// A handle that one call gives back. Null means none: callers turn INVALID_HANDLE_VALUE into
// null before handing a file over.
template <void (*Release)(void*)>
class Scoped {
 public:
  Scoped() = default;
  explicit Scoped(void* handle) : handle_(handle) {}
  ~Scoped() { Reset(); }
  Scoped(Scoped&& other) noexcept : handle_(other.Take()) {}
  Scoped& operator=(Scoped&& other) noexcept {
    if (this != &other) {
      Reset();
      handle_ = other.Take();
    }
    return *this;
  }
  Scoped(const Scoped&) = delete;
  Scoped& operator=(const Scoped&) = delete;

  explicit operator bool() const { return handle_ != nullptr; }
  void* Get() const { return handle_; }
  template <class T>
  T As() const {
    return static_cast<T>(handle_);
  }
  // For a handle the system now owns, as the clipboard does after SetClipboardData.
  void* Take() { return std::exchange(handle_, nullptr); }
  void Reset() {
    if (void* handle = Take())
      Release(handle);
  }

 private:
  void* handle_ = nullptr;
};

void DeleteGdiObject(void* object);  // DeleteObject: bitmaps, brushes, palettes
void DeleteMemoryDc(void* dc);       // DeleteDC, for CreateCompatibleDC's
void CloseFile(void* file);          // CloseHandle
void FreeItemList(void* items);      // the shell's allocator, from SHGetMalloc

using ScopedGdiObject = Scoped<&DeleteGdiObject>;
using ScopedMemoryDc = Scoped<&DeleteMemoryDc>;
using ScopedFile = Scoped<&CloseFile>;
using ScopedItemList = Scoped<&FreeItemList>;

// A window's device context from GetDC, given back to that window with ReleaseDC.
class ScopedWindowDc {
 public:
  explicit ScopedWindowDc(void* window);
  ~ScopedWindowDc();
  ScopedWindowDc(const ScopedWindowDc&) = delete;
  ScopedWindowDc& operator=(const ScopedWindowDc&) = delete;

  explicit operator bool() const { return dc_ != nullptr; }
  template <class T>
  T As() const {
    return static_cast<T>(dc_);
  }

 private:
  void* window_;
  void* dc_;
};

// An object selected into a DC; the one it replaced goes back in on leaving, so that the DC
// can be deleted and the object freed afterwards.
class ScopedSelect {
 public:
  ScopedSelect(void* dc, void* object);
  ~ScopedSelect();
  ScopedSelect(const ScopedSelect&) = delete;
  ScopedSelect& operator=(const ScopedSelect&) = delete;

  explicit operator bool() const { return old_ != nullptr; }

 private:
  void* dc_;
  void* old_;
};

// The clipboard, open for one owner until this is dropped.
class ScopedClipboard {
 public:
  explicit ScopedClipboard(void* owner);
  ~ScopedClipboard();
  ScopedClipboard(const ScopedClipboard&) = delete;
  ScopedClipboard& operator=(const ScopedClipboard&) = delete;

  bool IsOpen() const { return open_; }

 private:
  bool open_;
};

// The process's error mode for the length of one call, the old mode put back after.
class ScopedErrorMode {
 public:
  explicit ScopedErrorMode(unsigned mode);
  ~ScopedErrorMode();
  ScopedErrorMode(const ScopedErrorMode&) = delete;
  ScopedErrorMode& operator=(const ScopedErrorMode&) = delete;

 private:
  unsigned old_;
};

// COM on this thread for the shell calls that need it; an apartment the thread already has is
// kept as it is.
class ScopedComApartment {
 public:
  ScopedComApartment();
  ~ScopedComApartment();
  ScopedComApartment(const ScopedComApartment&) = delete;
  ScopedComApartment& operator=(const ScopedComApartment&) = delete;

 private:
  bool started_;
};

}  // namespace pixtrel::win32
