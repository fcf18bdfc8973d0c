// A user's keyboard and mouse on the Wayland test desktops:
//   wayland_fake_input                          KWin's fake-input protocol
//   wayland_fake_input --wlroots WIDTH HEIGHT   the virtual keyboard and pointer protocols of
//                                               wlroots (sway), on a screen of that size
// Reads commands from standard input, one a line, and answers each with "ok" once the compositor
// has taken it in:
//   key CODE 1|0        an evdev key code pressed or released
//   button CODE 1|0     an evdev button code (BTN_LEFT is 272)
//   motion X Y          the pointer to that point of the screen
// One process for a whole test, so that a key pressed in one command stays down until released
// in another: a compositor lets a client's keys go when it goes.
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

#include "fake-input-client-protocol.h"
#include "virtual-keyboard-client-protocol.h"
#include "virtual-pointer-client-protocol.h"

namespace {

struct Globals {
  org_kde_kwin_fake_input* fake_input = nullptr;
  uint32_t fake_input_version = 0;
  zwp_virtual_keyboard_manager_v1* keyboards = nullptr;
  zwlr_virtual_pointer_manager_v1* pointers = nullptr;
  wl_seat* seat = nullptr;
};

void Global(void* data, wl_registry* registry, uint32_t name, const char* interface,
            uint32_t version) {
  auto* globals = static_cast<Globals*>(data);
  if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0) {
    globals->fake_input_version = version < 4 ? version : 4;
    globals->fake_input = static_cast<org_kde_kwin_fake_input*>(wl_registry_bind(
        registry, name, &org_kde_kwin_fake_input_interface, globals->fake_input_version));
  } else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0) {
    globals->keyboards = static_cast<zwp_virtual_keyboard_manager_v1*>(
        wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
  } else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
    globals->pointers = static_cast<zwlr_virtual_pointer_manager_v1*>(
        wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
  } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && globals->seat == nullptr) {
    globals->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
  }
}

void GlobalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener kRegistryListener{Global, GlobalRemove};

// The evdev keycodes and a US layout, named as XKB's own files name them: the compositor
// resolves the includes, and its clients then get the whole keymap from it.
constexpr char kKeymap[] =
    "xkb_keymap {\n"
    "  xkb_keycodes { include \"evdev+aliases(qwerty)\" };\n"
    "  xkb_types { include \"complete\" };\n"
    "  xkb_compat { include \"complete\" };\n"
    "  xkb_symbols { include \"pc+us+inet(evdev)\" };\n"
    "};\n";

zwp_virtual_keyboard_v1* VirtualKeyboard(const Globals& globals) {
  zwp_virtual_keyboard_v1* keyboard =
      zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(globals.keyboards, globals.seat);
  const int fd = memfd_create("keymap", MFD_CLOEXEC);
  if (fd < 0 || write(fd, kKeymap, sizeof(kKeymap)) != static_cast<ssize_t>(sizeof(kKeymap)))
    return nullptr;
  zwp_virtual_keyboard_v1_keymap(keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, sizeof(kKeymap));
  close(fd);
  return keyboard;
}

// The modifier that an evdev key sets, as the mask of the core modifiers that every XKB keymap
// numbers alike (Shift, Lock, Control, Mod1 to Mod5); 0 for any other key. wlroots passes a
// virtual keyboard's modifiers on as the client sends them, and works out none from its keys.
uint32_t ModifierOf(uint32_t code) {
  switch (code) {
    case 42:  // KEY_LEFTSHIFT
    case 54:  // KEY_RIGHTSHIFT
      return 1u << 0;
    case 29:  // KEY_LEFTCTRL
    case 97:  // KEY_RIGHTCTRL
      return 1u << 2;
    case 56:  // KEY_LEFTALT, Mod1
      return 1u << 3;
    case 125:  // KEY_LEFTMETA, Mod4
    case 126:
      return 1u << 6;
    case 100:  // KEY_RIGHTALT, AltGr: ISO_Level3_Shift on Mod5
      return 1u << 7;
    default:
      return 0;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const bool wlroots = argc > 3 && std::strcmp(argv[1], "--wlroots") == 0;
  const uint32_t width = wlroots ? static_cast<uint32_t>(std::atoi(argv[2])) : 0;
  const uint32_t height = wlroots ? static_cast<uint32_t>(std::atoi(argv[3])) : 0;
  wl_display* display = wl_display_connect(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "fake_input: no Wayland display\n");
    return 1;
  }
  Globals globals;
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &kRegistryListener, &globals);
  wl_display_roundtrip(display);

  zwp_virtual_keyboard_v1* keyboard = nullptr;
  zwlr_virtual_pointer_v1* pointer = nullptr;
  uint32_t modifiers = 0;
  if (wlroots) {
    if (globals.keyboards == nullptr || globals.pointers == nullptr || globals.seat == nullptr) {
      std::fprintf(stderr, "fake_input: the compositor offers no virtual keyboard and pointer\n");
      return 3;
    }
    pointer =
        zwlr_virtual_pointer_manager_v1_create_virtual_pointer(globals.pointers, globals.seat);
    keyboard = VirtualKeyboard(globals);
    if (keyboard == nullptr) {
      std::fprintf(stderr, "fake_input: cannot hand the keymap over\n");
      return 1;
    }
  } else {
    // KWin offers it only to a program that a desktop file names with
    // X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input.
    if (globals.fake_input == nullptr) {
      std::fprintf(stderr, "fake_input: KWin does not offer org_kde_kwin_fake_input to us\n");
      return 3;
    }
    if (globals.fake_input_version < 4) {
      std::fprintf(stderr, "fake_input: version %u has no keyboard\n", globals.fake_input_version);
      return 4;
    }
    org_kde_kwin_fake_input_authenticate(globals.fake_input, "pixtrel tests",
                                         "a test user's input");
  }
  if (wl_display_roundtrip(display) < 0) {
    std::fprintf(stderr, "fake_input: the compositor refused us\n");
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);

  const auto start = std::chrono::steady_clock::now();
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream words(line);
    std::string command;
    int a = 0, b = 0;
    words >> command >> a >> b;
    const auto code = static_cast<uint32_t>(a), state = static_cast<uint32_t>(b);
    const auto time = static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                std::chrono::steady_clock::now() - start)
                                                .count());
    if (command == "key" && keyboard != nullptr) {
      // The key first, then the state it leaves, as a keyboard's events come.
      zwp_virtual_keyboard_v1_key(keyboard, time, code, state);
      const uint32_t before = modifiers;
      modifiers = state != 0 ? modifiers | ModifierOf(code) : modifiers & ~ModifierOf(code);
      if (modifiers != before)
        zwp_virtual_keyboard_v1_modifiers(keyboard, modifiers, 0, 0, 0);
    } else if (command == "button" && pointer != nullptr) {
      zwlr_virtual_pointer_v1_button(pointer, time, code, state);
      zwlr_virtual_pointer_v1_frame(pointer);
    } else if (command == "motion" && pointer != nullptr) {
      // Extents of the screen's size: one unit a pixel.
      zwlr_virtual_pointer_v1_motion_absolute(pointer, time, code, state, width, height);
      zwlr_virtual_pointer_v1_frame(pointer);
    } else if (command == "key" && globals.fake_input != nullptr) {
      org_kde_kwin_fake_input_keyboard_key(globals.fake_input, code, state);
    } else if (command == "button" && globals.fake_input != nullptr) {
      org_kde_kwin_fake_input_button(globals.fake_input, code, state);
    } else if (command == "motion" && globals.fake_input != nullptr) {
      org_kde_kwin_fake_input_pointer_motion_absolute(globals.fake_input, wl_fixed_from_int(a),
                                                      wl_fixed_from_int(b));
    } else {
      std::printf("unknown command: %s\n", line.c_str());
      std::fflush(stdout);
      continue;
    }
    if (wl_display_roundtrip(display) < 0) {
      std::fprintf(stderr, "fake_input: the compositor went away\n");
      return 1;
    }
    std::printf("ok\n");
    std::fflush(stdout);
  }
  wl_display_disconnect(display);
  return 0;
}
