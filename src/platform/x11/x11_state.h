// What the X11 backend's files share and callers never see: the connection's state, and the
// shared-memory image the screen copies keep in it.
#pragma once

#include <array>
#include <memory>
#include <optional>

#include "platform/x11/x11_display.h"

// Xlib's connection, declared ahead so that this header needs none of Xlib's macros.
struct _XDisplay;

namespace pixtrel {

// Defined with the screen copies; the state only holds it.
class ShmImage;
struct ShmImageFree {
  void operator()(ShmImage* image) const;
};
using ShmImagePtr = std::unique_ptr<ShmImage, ShmImageFree>;
class ShmPixelMemory;

struct X11Display::State {
  _XDisplay* display = nullptr;  // Xlib's Display
  unsigned long root = 0;        // Xlib's Window
  int xi_opcode = -1;
  std::array<bool, 256> key_pressed{};   // by keycode, since the last query
  std::array<bool, 8> button_pressed{};  // by X button number
  bool shm = false;
  int bits_per_pixel = 0;  // of the screen's depth in the server's images
  bool monitors = false;   // RandR 1.5: the primary monitor in one round trip
  int randr_event = -1;    // RandR's first event number, where the server has RandR
  // The primary monitor as last asked, until RandR says that something changed.
  std::optional<ui::Rect> primary;
  ShmImagePtr shm_image;
  // Pictures' memory, which the server shares so that a capture lands in it.
  std::shared_ptr<ShmPixelMemory> pixel_memory;

  // Reads the raw input events that arrived since the last look, and forgets the primary
  // monitor when RandR reports a change. Called after a round trip, so that every press the
  // server had seen by then is in our queue.
  void Pump();
};

}  // namespace pixtrel
