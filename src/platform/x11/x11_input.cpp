#include "platform/x11/x11_state.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/Xrandr.h>
#include <X11/keysym.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/key_codes.h"

namespace pixtrel {
namespace {

// The keys the program can poll, as X names them.
std::vector<KeySym> KeysymsFor(std::uint8_t key) {
  switch (key) {
    case vk::kEscape:
      return {XK_Escape};
    case vk::kPrintScreen:
      return {XK_Print};
    case vk::kEnd:
      return {XK_End};
    case vk::kInsert:
      return {XK_Insert};
    case vk::kDelete:
      return {XK_Delete};
    case vk::kPageUp:
      return {XK_Prior};
    case vk::kPageDown:
      return {XK_Next};
    case vk::kUp:
      return {XK_Up};
    case vk::kDown:
      return {XK_Down};
    case vk::kLeft:
      return {XK_Left};
    case vk::kRight:
      return {XK_Right};
    case vk::kAlt:
      return {XK_Alt_L, XK_Alt_R, XK_Meta_L, XK_Meta_R};
    case vk::kControl:
      return {XK_Control_L, XK_Control_R};
    case vk::kShift:
      return {XK_Shift_L, XK_Shift_R};
    default:
      if (key >= vk::kF1 && key <= vk::kF12)
        return {static_cast<KeySym>(XK_F1 + (key - vk::kF1))};
      return {};
  }
}

// Mouse buttons: Windows' left, right, middle are X's 1, 3, 2.
int ButtonFor(std::uint8_t key) {
  switch (key) {
    case vk::kLeftButton:
      return 1;
    case vk::kRightButton:
      return 3;
    case vk::kMiddleButton:
      return 2;
    default:
      return 0;
  }
}

unsigned ButtonMask(int button) {
  return button == 1 ? Button1Mask : button == 2 ? Button2Mask : Button3Mask;
}

}  // namespace

void X11Display::State::Pump() {
  while (XPending(display) > 0) {
    XEvent event;
    XNextEvent(display, &event);
    if (randr_event >= 0 && (event.type == randr_event + RRScreenChangeNotify ||
                             event.type == randr_event + RRNotify)) {
      XRRUpdateConfiguration(&event);
      primary.reset();
      continue;
    }
    if (event.type != GenericEvent || event.xcookie.extension != xi_opcode)
      continue;
    if (!XGetEventData(display, &event.xcookie))
      continue;
    const auto* raw = static_cast<const XIRawEvent*>(event.xcookie.data);
    if (event.xcookie.evtype == XI_RawKeyPress && raw->detail >= 0 && raw->detail < 256) {
      key_pressed[static_cast<std::size_t>(raw->detail)] = true;
    } else if (event.xcookie.evtype == XI_RawButtonPress && raw->detail > 0 && raw->detail < 8) {
      button_pressed[static_cast<std::size_t>(raw->detail)] = true;
    }
    XFreeEventData(display, &event.xcookie);
  }
}

std::uint16_t X11Display::AsyncKeyState(std::uint8_t key) {
  State& s = *state_;
  bool down = false;
  bool pressed = false;
  if (const int button = ButtonFor(key); button != 0) {
    Window root = 0, child = 0;
    int rx = 0, ry = 0, wx = 0, wy = 0;
    unsigned mask = 0;
    XQueryPointer(s.display, s.root, &root, &child, &rx, &ry, &wx, &wy, &mask);
    s.Pump();
    down = (mask & ButtonMask(button)) != 0;
    pressed = s.button_pressed[static_cast<std::size_t>(button)];
    s.button_pressed[static_cast<std::size_t>(button)] = false;
  } else {
    char keys[32];
    XQueryKeymap(s.display, keys);
    s.Pump();
    for (const KeySym sym : KeysymsFor(key)) {
      const KeyCode code = XKeysymToKeycode(s.display, sym);
      if (code == 0)
        continue;
      down = down || (keys[code / 8] & (1 << (code % 8))) != 0;
      pressed = pressed || s.key_pressed[code];
      s.key_pressed[code] = false;
    }
  }
  return static_cast<std::uint16_t>((down ? 0x8000 : 0) | (pressed ? 1 : 0));
}

ui::Point X11Display::CursorPos() {
  Window root = 0, child = 0;
  int rx = 0, ry = 0, wx = 0, wy = 0;
  unsigned mask = 0;
  XQueryPointer(state_->display, state_->root, &root, &child, &rx, &ry, &wx, &wy, &mask);
  const ui::Rect primary = PrimaryRect();
  return {rx - primary.left, ry - primary.top};
}

}  // namespace pixtrel
