#include "platform/x11/x11_pixel_memory.h"

#include <sys/ipc.h>
#include <sys/mman.h>
#include <sys/shm.h>

#include <cstdlib>
#include <iterator>

namespace pixtrel {
namespace {

// Below this a copy costs less than a segment: the server's name, an attach and the kernel's
// bookkeeping. A screen's band is larger.
constexpr std::size_t kSmallest = std::size_t{1} << 20;

}  // namespace

ShmPixelMemory::~ShmPixelMemory() {
  Disconnect();
}

std::uint8_t* ShmPixelMemory::Allocate(std::size_t bytes) {
  if (bytes >= kSmallest && !refused_ && connection_ != nullptr) {
    const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (id >= 0) {
      void* address = shmat(id, nullptr, 0);
      // Marked for removal now, so it goes away with the process whatever happens; the server
      // can still attach it until then.
      shmctl(id, IPC_RMID, nullptr);
      if (address != reinterpret_cast<void*>(-1)) {
        auto* block = static_cast<std::uint8_t*>(address);
        // One call maps every page in, where the first capture would otherwise stop at each
        // of them (thousands of faults, the larger part of a fresh process's first press).
        // Older kernels refuse it, and then the pages come one fault at a time as before.
        madvise(address, bytes, MADV_POPULATE_WRITE);
        segments_[block] = {id, bytes, 0};
        return block;  // fresh shared pages are zeroes
      }
    }
  }
  return new std::uint8_t[bytes]();
}

void ShmPixelMemory::Free(std::uint8_t* block, std::size_t) {
  const auto found = segments_.find(block);
  if (found == segments_.end()) {
    delete[] block;
    return;
  }
  if (found->second.shared != 0 && connection_ != nullptr) {
    xcb_shm_detach(connection_, found->second.shared);
    xcb_flush(connection_);  // the server's mapping holds the pages until it lets go
  }
  shmdt(block);
  segments_.erase(found);
}

std::optional<ShmPixelMemory::Place> ShmPixelMemory::Find(const std::uint8_t* at,
                                                          std::size_t bytes) {
  if (connection_ == nullptr || refused_ || segments_.empty())
    return std::nullopt;
  auto found = segments_.upper_bound(at);
  if (found == segments_.begin())
    return std::nullopt;
  found = std::prev(found);
  const std::uint8_t* base = found->first;
  Segment& segment = found->second;
  if (at + bytes > base + segment.bytes)
    return std::nullopt;
  if (segment.shared == 0) {
    const xcb_shm_seg_t name = xcb_generate_id(connection_);
    // The server may refuse (another IPC namespace, another user): then copies go through the
    // backend's own segment, or none, as before.
    xcb_generic_error_t* error = xcb_request_check(
        connection_,
        xcb_shm_attach_checked(connection_, name, static_cast<std::uint32_t>(segment.id), 0));
    if (error != nullptr) {
      std::free(error);
      refused_ = true;
      return std::nullopt;
    }
    segment.shared = name;
  }
  return Place{segment.shared, static_cast<std::uint32_t>(at - base)};
}

void ShmPixelMemory::Disconnect() {
  if (connection_ != nullptr) {
    for (auto& [block, segment] : segments_) {
      if (segment.shared != 0)
        xcb_shm_detach(connection_, segment.shared);
      segment.shared = 0;
    }
    xcb_flush(connection_);
  }
  connection_ = nullptr;
}

}  // namespace pixtrel
