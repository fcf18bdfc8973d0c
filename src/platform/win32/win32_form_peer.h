// The Win32 mirror's own pieces, shared by its files for the form (win32_windows.cpp), the
// controls (win32_controls.cpp) and the pictures (win32_pictures.cpp): a form's peer, which owns
// its window and its controls' peers. Window and font handles are the system's own pointer types
// declared ahead, so that this header needs no <windows.h>.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/scoped_win.h"
#include "platform/win32/win32_windows.h"
#include "ui/ui.h"

struct HWND__;
struct HFONT__;

namespace pixtrel::win32 {

struct FormPeer;

// One control's native window, and the copying between the two.
class ControlPeer : public ui::Peer {
 public:
  ControlPeer(ui::Control& control, FormPeer& owner, int id)
      : control(control), owner(owner), id(id) {}
  ~ControlPeer() override { control.SetPeer(nullptr); }
  void Changed(ui::Control&, ui::Property property) override;

  ui::Control& control;
  FormPeer& owner;
  int id;
  HWND__* hwnd = nullptr;
  HWND__* list_edit = nullptr;  // an editable list's edit box
  bool tracking_leave = false;
};

// A form's window and its controls' windows, kept in step with the model both ways.
struct FormPeer : public ui::Peer {
  FormPeer(ui::Form& form, WindowHost& host) : form(form), host(host) {}

  ui::Form& form;
  WindowHost& host;
  HWND__* hwnd = nullptr;
  int syncing = 0;
  std::vector<std::unique_ptr<ControlPeer>> peers;
  std::vector<std::pair<ui::Font, ScopedGdiObject>> fonts;
  ScopedGdiObject background;

  // While the model is copied onto the controls, their notifications are not the user's.
  struct Sync {
    explicit Sync(FormPeer& peer) : peer(peer) { ++peer.syncing; }
    ~Sync() { --peer.syncing; }
    FormPeer& peer;
  };

  // win32_windows.cpp: the form's window.
  void Create(void* owner);
  void Changed(ui::Control&, ui::Property property) override;
  void ApplyForm(ui::Property property);
  std::intptr_t Proc(unsigned message, std::uintptr_t wparam, std::intptr_t lparam);
  void Paint();
  bool SetCursorOver(HWND__* child);
  void Moved();
  bool Maximizing(void* min_max_info);

  // win32_controls.cpp: the controls' windows.
  void MakeControl(ui::Control& control);
  // What a kind of control needs once its window is made: a list's items, a slider's range.
  void Prepare(ControlPeer& peer);
  void OrderControls();
  HFONT__* FontFor(const ui::Font& font);
  HFONT__* ControlFont(const ui::Control& control) {
    return FontFor(control.parent_font ? form.font : control.font);
  }
  ControlPeer* PeerOf(HWND__* child);
  ControlPeer* PeerById(int id);
  // Where a control sits in the form's client area: its bounds, moved by its group boxes.
  ui::Rect PlaceOf(const ui::Control& control);
  int TextWidth(const ControlPeer& peer, const std::string& text);
  void Apply(ControlPeer& peer, ui::Property property);
  void ApplyAll(ControlPeer& peer);
  // What the controls tell their form: a click or a change, a slider's move, their colours.
  void Command(int id, int code, HWND__* child);
  void Scrolled(HWND__* child);
  std::intptr_t ControlColours(void* dc, HWND__* child);
};

// win32_windows.cpp
ui::Point PointOf(std::intptr_t lparam);
std::wstring TextOf(HWND__* hwnd);
// A colour of the layouts as the system draws it: a system colour's index stands in its low byte.
unsigned long SystemColour(ui::ColorRef color);

// win32_pictures.cpp: the image and tool-strip windows' classes, registered once.
inline constexpr wchar_t kImageClass[] = L"PixtrelImage";
inline constexpr wchar_t kStripClass[] = L"PixtrelStrip";
void RegisterPictureClasses();

}  // namespace pixtrel::win32
