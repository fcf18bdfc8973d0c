// What another program holds of the system, as the soak benchmark follows it over thousands of
// captures: its memory, its kernel handles, and its GDI and USER objects.
#include "driver.h"

#include <psapi.h>
#include <winternl.h>

#include <algorithm>
#include <cstdint>

namespace driver {
namespace {

// Wine answers GetGuiResources with 0 whatever a process holds, so under wine the GDI count
// comes from wine's own handle table instead. Each process has one, which its PEB points to:
// 65536 entries of 24 bytes, an entry in use when its type byte is not 0, a stock object when
// the top bit of its byte 12 is set. (Windows keeps another layout there, and has the real
// count besides.)
constexpr std::size_t kPebGdiTable = 0x94;  // the 32-bit PEB's GdiSharedHandleTable
constexpr std::size_t kGdiEntries = 0x10000;
constexpr std::size_t kGdiEntrySize = 24;
constexpr std::size_t kGdiEntryStock = 12;
constexpr std::size_t kGdiEntryType = 14;

bool UnderWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

void ReadFrom(HANDLE process, std::uintptr_t address, void* into, std::size_t size) {
  SIZE_T read = 0;
  if (!ReadProcessMemory(process, reinterpret_cast<const void*>(address), into, size, &read) ||
      read != size)
    throw Failure(SystemError("ReadProcessMemory"));
}

struct GdiCount {
  long long objects = 0;  // stock objects apart
  long long stock = 0;
};

GdiCount WineGdiObjects(HANDLE process) {
  PROCESS_BASIC_INFORMATION basic{};
  if (NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) !=
      0)
    throw Failure("NtQueryInformationProcess failed");
  std::uint32_t table = 0;
  ReadFrom(process, reinterpret_cast<std::uintptr_t>(basic.PebBaseAddress) + kPebGdiTable, &table,
           sizeof table);
  if (table == 0)
    throw Failure("the process has no GDI handle table");
  std::vector<unsigned char> entries(kGdiEntries * kGdiEntrySize);
  ReadFrom(process, table, entries.data(), entries.size());
  GdiCount count;
  for (std::size_t i = 0; i < kGdiEntries; ++i) {
    const unsigned char* entry = entries.data() + i * kGdiEntrySize;
    if (entry[kGdiEntryType] == 0)
      continue;
    if ((entry[kGdiEntryStock] & 0x80) != 0)
      ++count.stock;
    else
      ++count.objects;
  }
  return count;
}

// The kernel handles the system lists for that process: SystemExtendedHandleInformation, which
// wine's server answers too, where GetProcessHandleCount is a stub there.
struct HandleEntry {
  void* object;
  ULONG_PTR process;
  ULONG_PTR handle;
  ULONG access;
  USHORT creator_back_trace;
  USHORT type;
  ULONG attributes;
  ULONG reserved;
};
struct HandleList {
  ULONG_PTR count;
  ULONG_PTR reserved;
  HandleEntry entries[1];
};
constexpr auto kSystemExtendedHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(64);
constexpr NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004);

long long ListedHandles(DWORD process) {
  std::vector<unsigned char> buffer(1 << 20);
  for (;;) {
    ULONG needed = 0;
    const NTSTATUS status =
        NtQuerySystemInformation(kSystemExtendedHandleInformation, buffer.data(),
                                 static_cast<ULONG>(buffer.size()), &needed);
    if (status == kInfoLengthMismatch) {
      buffer.resize(std::max<std::size_t>(buffer.size() * 2, needed + 65536));
      continue;
    }
    if (status != 0)
      return -1;
    break;
  }
  const auto* list = reinterpret_cast<const HandleList*>(buffer.data());
  long long count = 0;
  for (ULONG_PTR i = 0; i < list->count; ++i) {
    if (list->entries[i].process == process)
      ++count;
  }
  return count;
}

struct WindowCount {
  DWORD process;
  long long windows = 0;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM into) {
  reinterpret_cast<std::vector<HWND>*>(into)->push_back(window);
  return TRUE;
}

BOOL CALLBACK CountWindow(HWND window, LPARAM into) {
  auto* count = reinterpret_cast<WindowCount*>(into);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == count->process)
    ++count->windows;
  return TRUE;
}

// The process's windows: the top-level ones and those below them, and the message-only ones,
// which no enumeration of the desktop reaches. Its other USER objects (menus, icons, cursors)
// can be counted only by GetGuiResources.
long long Windows(DWORD process) {
  WindowCount count{process};
  std::vector<HWND> tops;
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&tops));
  for (HWND message = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); message != nullptr;
       message = FindWindowExW(HWND_MESSAGE, message, nullptr, nullptr))
    tops.push_back(message);
  for (const HWND top : tops) {
    CountWindow(top, reinterpret_cast<LPARAM>(&count));
    EnumChildWindows(top, CountWindow, reinterpret_cast<LPARAM>(&count));
  }
  return count.windows;
}

}  // namespace

void ProcessCommand(const Args& args) {
  DWORD process = 0;
  GetWindowThreadProcessId(TopLevel(Arg(args, 0, "title")), &process);
  const UniqueHandle handle(
      OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, process));
  if (!handle)
    throw Failure(SystemError("OpenProcess"));
  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof memory;
  if (!GetProcessMemoryInfo(handle.get(), &memory, sizeof memory))
    throw Failure(SystemError("GetProcessMemoryInfo"));
  DWORD handles = 0;
  GetProcessHandleCount(handle.get(), &handles);
  Reply reply;
  reply.Add("pid", static_cast<long long>(process))
      .Add("working_set", static_cast<long long>(memory.WorkingSetSize))
      .Add("private", static_cast<long long>(memory.PagefileUsage))
      .Add("handles", static_cast<long long>(handles))
      .Add("handles_listed", ListedHandles(process))
      .Add("gdi", static_cast<long long>(GetGuiResources(handle.get(), GR_GDIOBJECTS)))
      .Add("user", static_cast<long long>(GetGuiResources(handle.get(), GR_USEROBJECTS)))
      .Add("windows", Windows(process));
  if (UnderWine()) {
    const GdiCount gdi = WineGdiObjects(handle.get());
    reply.Add("wine_gdi", gdi.objects).Add("wine_gdi_stock", gdi.stock);
  }
  reply.Print();
}

}  // namespace driver
