// Pictures' pixel blocks in SysV shared memory, which the server is asked to share the first
// time a capture is to land in one. Small blocks, and every block once the server has refused a
// segment, come from the heap.
#pragma once

#include <xcb/shm.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>

#include "core/bitmap.h"

namespace pixtrel {

class ShmPixelMemory final : public PixelMemory {
 public:
  explicit ShmPixelMemory(xcb_connection_t* connection) : connection_(connection) {}
  ~ShmPixelMemory() override;

  std::uint8_t* Allocate(std::size_t bytes) override;
  void Free(std::uint8_t* block, std::size_t bytes) override;

  // Where the server writes to reach [at, at + bytes): a segment it shares and the offset in
  // it; nothing where it cannot.
  struct Place {
    xcb_shm_seg_t segment = 0;
    std::uint32_t offset = 0;
  };
  std::optional<Place> Find(const std::uint8_t* at, std::size_t bytes);

  // The connection is closing: the server lets go of every segment, and blocks that outlive
  // it are only unmapped.
  void Disconnect();

 private:
  struct Segment {
    int id = -1;
    std::size_t bytes = 0;
    xcb_shm_seg_t shared = 0;  // the server's name for it, once attached
  };
  xcb_connection_t* connection_;
  std::map<const std::uint8_t*, Segment> segments_;
  bool refused_ = false;
};

}  // namespace pixtrel
