#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <shlobj.h>

#include "platform/win32/scoped_win.h"

namespace pixtrel::win32 {

void DeleteGdiObject(void* object) {
  DeleteObject(static_cast<HGDIOBJ>(object));
}

void DeleteMemoryDc(void* dc) {
  DeleteDC(static_cast<HDC>(dc));
}

void CloseFile(void* file) {
  CloseHandle(static_cast<HANDLE>(file));
}

void FreeItemList(void* items) {
  IMalloc* malloc = nullptr;
  if (SUCCEEDED(SHGetMalloc(&malloc)) && malloc != nullptr) {
    malloc->Free(items);
    malloc->Release();
  }
}

ScopedWindowDc::ScopedWindowDc(void* window)
    : window_(window), dc_(GetDC(static_cast<HWND>(window))) {}

ScopedWindowDc::~ScopedWindowDc() {
  if (dc_ != nullptr)
    ReleaseDC(static_cast<HWND>(window_), static_cast<HDC>(dc_));
}

ScopedSelect::ScopedSelect(void* dc, void* object)
    : dc_(dc), old_(SelectObject(static_cast<HDC>(dc), static_cast<HGDIOBJ>(object))) {
  // SelectObject answers HGDI_ERROR, not null, when a region cannot be selected.
  if (old_ == HGDI_ERROR)
    old_ = nullptr;
}

ScopedSelect::~ScopedSelect() {
  if (old_ != nullptr)
    SelectObject(static_cast<HDC>(dc_), static_cast<HGDIOBJ>(old_));
}

ScopedClipboard::ScopedClipboard(void* owner) : open_(OpenClipboard(static_cast<HWND>(owner))) {}

ScopedClipboard::~ScopedClipboard() {
  if (open_)
    CloseClipboard();
}

ScopedErrorMode::ScopedErrorMode(unsigned mode) : old_(SetErrorMode(mode)) {}

ScopedErrorMode::~ScopedErrorMode() {
  SetErrorMode(old_);
}

ScopedComApartment::ScopedComApartment()
    : started_(
          SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}

ScopedComApartment::~ScopedComApartment() {
  // Every successful start, the one that found COM already there included, is balanced.
  if (started_)
    CoUninitialize();
}

}  // namespace pixtrel::win32
