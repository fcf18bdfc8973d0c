#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/scoped_win.h"
#include "platform/win32/win32_form_peer.h"
#include "platform/win32/win32_text.h"
#include "ui/combo.h"
#include "ui/placement.h"

namespace pixtrel::win32 {
namespace {

// Control ids start past IDOK and IDCANCEL, which the dialog keys send.
constexpr int kFirstControlId = 100;

// Each kind of control's window class and style; menus, timers and dialogs have no window.
struct ControlClass {
  ui::Kind kind;
  const wchar_t* name;
  DWORD style;
  DWORD ex_style;
};
constexpr ControlClass kControlClasses[] = {
    {ui::Kind::kButton, WC_BUTTONW, BS_PUSHBUTTON, 0},
    // Not automatic: the model holds the state, and the click sets it.
    {ui::Kind::kCheckBox, WC_BUTTONW, BS_CHECKBOX, 0},
    {ui::Kind::kRadioButton, WC_BUTTONW, BS_RADIOBUTTON, 0},
    {ui::Kind::kGroupBox, WC_BUTTONW, BS_GROUPBOX, 0},
    {ui::Kind::kEdit, WC_EDITW, ES_AUTOHSCROLL, WS_EX_CLIENTEDGE},
    {ui::Kind::kComboBox, WC_COMBOBOXW, CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL, 0},
    {ui::Kind::kSlider, TRACKBAR_CLASSW, TBS_HORZ | TBS_BOTTOM | TBS_AUTOTICKS, 0},
    {ui::Kind::kLabel, WC_STATICW, SS_NOTIFY, 0},
    {ui::Kind::kBevel, WC_STATICW, SS_ETCHEDFRAME, 0},
    {ui::Kind::kImage, kImageClass, 0, 0},
    {ui::Kind::kToolStrip, kStripClass, 0, 0},
};

const ControlClass* ClassOf(ui::Kind kind) {
  for (const ControlClass& made : kControlClasses) {
    if (made.kind == kind)
      return &made;
  }
  return nullptr;
}

// A label's text: where it sits, and whether it wraps.
DWORD LabelStyle(const ui::Control& c) {
  if (c.alignment == ui::Align::kRight)
    return SS_RIGHT | SS_CENTERIMAGE;
  if (c.alignment == ui::Align::kCenter)
    return SS_CENTER | SS_CENTERIMAGE;
  return c.word_wrap ? SS_LEFT : SS_LEFTNOWORDWRAP;
}

// The editable list's window includes its drop-down part: eight items.
int DropHeight(const ui::Control& c) {
  return c.GetKind() == ui::Kind::kComboBox ? 8 * 14 + 4 : 0;
}

// Labels that report the pointer moving over them and leaving them.
LRESULT CALLBACK LabelSubclass(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                               DWORD_PTR data) {
  auto* peer = reinterpret_cast<ControlPeer*>(data);
  if (message == WM_MOUSEMOVE) {
    if (!peer->tracking_leave) {
      TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd, 0};
      peer->tracking_leave = TrackMouseEvent(&track) != FALSE;
    }
    if (peer->control.on_mouse_move)
      peer->owner.host.Dispatch(peer->control.on_mouse_move);
  } else if (message == WM_MOUSELEAVE) {
    peer->tracking_leave = false;
    if (peer->control.on_mouse_leave)
      peer->owner.host.Dispatch(peer->control.on_mouse_leave);
  }
  return DefSubclassProc(hwnd, message, wparam, lparam);
}

// The editable list's edit box: every typed character goes through the list's completion.
LRESULT CALLBACK ListEditSubclass(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                  DWORD_PTR data) {
  auto* peer = reinterpret_cast<ControlPeer*>(data);
  if (message == WM_CHAR) {
    DWORD start = 0, end = 0;
    SendMessageW(hwnd, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    if (const std::optional<ui::ComboEdit> after =
            ui::CompleteTyping({Utf8(TextOf(hwnd)), start, end - start},
                               static_cast<char32_t>(wparam), peer->control.items)) {
      {
        FormPeer::Sync sync(peer->owner);
        SetWindowTextW(hwnd, Wide(after->text).c_str());
        SendMessageW(hwnd, EM_SETSEL, after->selection_start,
                     after->selection_start + after->selection_length);
      }
      peer->control.SetText(after->text);
      return 0;
    }
  }
  return DefSubclassProc(hwnd, message, wparam, lparam);
}

}  // namespace

void ControlPeer::Changed(ui::Control&, ui::Property property) {
  owner.Apply(*this, property);
}

void FormPeer::MakeControl(ui::Control& c) {
  const ControlClass* made = ClassOf(c.GetKind());
  if (made == nullptr)
    return;
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS | made->style;
  if (c.GetKind() == ui::Kind::kLabel)
    style |= LabelStyle(c);
  if (c.tab_order >= 0 && c.Focusable() && c.GetKind() != ui::Kind::kGroupBox)
    style |= WS_TABSTOP;
  const DWORD ex_style = made->ex_style | (c.right_to_left ? WS_EX_RTLREADING : 0);
  const int id = kFirstControlId + static_cast<int>(peers.size());
  auto peer = std::make_unique<ControlPeer>(c, *this, id);
  const ui::Rect place = PlaceOf(c);
  peer->hwnd = CreateWindowExW(ex_style, made->name, Wide(c.Caption()).c_str(), style, place.left,
                               place.top, place.width, place.height + DropHeight(c), hwnd,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                               GetModuleHandleW(nullptr), peer.get());
  SetWindowLongPtrW(peer->hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(peer.get()));
  Prepare(*peer);
  c.SetPeer(peer.get());
  ControlPeer& added = *peer;
  peers.push_back(std::move(peer));
  ApplyAll(added);
}

void FormPeer::Prepare(ControlPeer& peer) {
  const ui::Control& c = peer.control;
  switch (c.GetKind()) {
    case ui::Kind::kComboBox: {
      for (const std::string& item : c.items)
        SendMessageW(peer.hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
      COMBOBOXINFO info{};
      info.cbSize = sizeof info;
      if (GetComboBoxInfo(peer.hwnd, &info)) {
        peer.list_edit = info.hwndItem;
        SetWindowSubclass(info.hwndItem, ListEditSubclass, 1, reinterpret_cast<DWORD_PTR>(&peer));
      }
      break;
    }
    case ui::Kind::kSlider:
      SendMessageW(peer.hwnd, TBM_SETRANGE, FALSE, MAKELPARAM(c.min, c.max));
      SendMessageW(peer.hwnd, TBM_SETTICFREQ, static_cast<WPARAM>(c.frequency), 0);
      SendMessageW(peer.hwnd, TBM_SETLINESIZE, 0, c.line_size);
      SendMessageW(peer.hwnd, TBM_SETPAGESIZE, 0, c.page_size);
      break;
    case ui::Kind::kLabel:
      SetWindowSubclass(peer.hwnd, LabelSubclass, 1, reinterpret_cast<DWORD_PTR>(&peer));
      break;
    default:
      break;
  }
}

void FormPeer::OrderControls() {
  // The tab key follows the z-order: the controls it visits first, in their order, then the
  // ones drawn under the others (group boxes and bevels) at the bottom.
  HWND after = HWND_TOP;
  for (ui::Control* control : form.TabOrder()) {
    for (auto& peer : peers) {
      if (&peer->control == control) {
        SetWindowPos(peer->hwnd, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        after = peer->hwnd;
      }
    }
  }
  // Last made first, so that a bevel inside a group box stays above it.
  for (auto it = peers.rbegin(); it != peers.rend(); ++it) {
    const ui::Kind kind = (*it)->control.GetKind();
    if (kind == ui::Kind::kGroupBox || kind == ui::Kind::kBevel)
      SetWindowPos((*it)->hwnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
}

HFONT FormPeer::FontFor(const ui::Font& font) {
  for (auto& [made, handle] : fonts) {
    if (made == font)
      return handle.As<HFONT>();
  }
  const BYTE charset = font.ansi_charset ? ANSI_CHARSET : DEFAULT_CHARSET;
  HFONT handle =
      CreateFontW(font.height, 0, 0, 0, font.bold ? FW_BOLD : FW_NORMAL, FALSE, font.underline,
                  FALSE, charset, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                  DEFAULT_PITCH | FF_DONTCARE, Wide(font.name).c_str());
  fonts.emplace_back(font, ScopedGdiObject(handle));
  return handle;
}

ControlPeer* FormPeer::PeerOf(HWND child) {
  for (auto& peer : peers) {
    if (peer->hwnd == child || (peer->list_edit != nullptr && peer->list_edit == child))
      return peer.get();
  }
  return nullptr;
}

ControlPeer* FormPeer::PeerById(int id) {
  const int index = id - kFirstControlId;
  if (index < 0 || index >= static_cast<int>(peers.size()))
    return nullptr;
  return peers[static_cast<std::size_t>(index)].get();
}

ui::Rect FormPeer::PlaceOf(const ui::Control& control) {
  RECT client;
  GetClientRect(hwnd, &client);
  ui::Rect place = control.BoundsIn(client.right, client.bottom);
  for (const ui::Control* group = form.ParentOf(control); group != nullptr;
       group = form.ParentOf(*group)) {
    place.left += group->bounds.left;
    place.top += group->bounds.top;
  }
  return place;
}

int FormPeer::TextWidth(const ControlPeer& peer, const std::string& text) {
  const ScopedWindowDc dc(peer.hwnd);
  const ScopedSelect font(dc.As<HDC>(), ControlFont(peer.control));
  const std::wstring wide = Wide(text);
  SIZE size{};
  GetTextExtentPoint32W(dc.As<HDC>(), wide.c_str(), static_cast<int>(wide.size()), &size);
  return size.cx;
}

void FormPeer::ApplyAll(ControlPeer& peer) {
  for (const ui::Property property :
       {ui::Property::kFont, ui::Property::kCaption, ui::Property::kBounds, ui::Property::kEnabled,
        ui::Property::kChecked, ui::Property::kText, ui::Property::kPosition,
        ui::Property::kVisible})
    Apply(peer, property);
}

void FormPeer::Apply(ControlPeer& peer, ui::Property property) {
  Sync sync(*this);
  ui::Control& c = peer.control;
  switch (property) {
    case ui::Property::kBounds: {
      ui::Rect place = PlaceOf(c);
      if (c.GetKind() == ui::Kind::kLabel)
        place.width = c.BoundsForText(TextWidth(peer, c.Caption())).width;
      MoveWindow(peer.hwnd, place.left, place.top, place.width, place.height + DropHeight(c), TRUE);
      break;
    }
    case ui::Property::kEnabled:
      EnableWindow(peer.hwnd, c.Enabled());
      break;
    case ui::Property::kVisible:
      ShowWindow(peer.hwnd, c.Visible() ? SW_SHOWNA : SW_HIDE);
      break;
    case ui::Property::kFont:
      SendMessageW(peer.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(ControlFont(c)), TRUE);
      if (c.GetKind() == ui::Kind::kLabel)
        Apply(peer, ui::Property::kBounds);
      break;
    case ui::Property::kCaption:
      switch (c.GetKind()) {
        case ui::Kind::kButton:
        case ui::Kind::kCheckBox:
        case ui::Kind::kRadioButton:
        case ui::Kind::kGroupBox:
          SetWindowTextW(peer.hwnd, Wide(c.Caption()).c_str());
          break;
        case ui::Kind::kLabel:
          SetWindowTextW(peer.hwnd, Wide(c.Caption()).c_str());
          Apply(peer, ui::Property::kBounds);
          break;
        default:
          break;
      }
      break;
    case ui::Property::kChecked:
      if (c.GetKind() == ui::Kind::kCheckBox || c.GetKind() == ui::Kind::kRadioButton)
        SendMessageW(peer.hwnd, BM_SETCHECK, c.Checked() ? BST_CHECKED : BST_UNCHECKED, 0);
      break;
    case ui::Property::kText:
      if (c.GetKind() == ui::Kind::kEdit || c.GetKind() == ui::Kind::kComboBox) {
        const std::wstring wanted = Wide(c.Text());
        if (wanted != TextOf(peer.hwnd))
          SetWindowTextW(peer.hwnd, wanted.c_str());
      }
      break;
    case ui::Property::kPosition:
      if (c.GetKind() == ui::Kind::kSlider)
        SendMessageW(peer.hwnd, TBM_SETPOS, TRUE, c.Position());
      break;
    case ui::Property::kColor:
    case ui::Property::kCursor:  // looked up at each WM_SETCURSOR
      InvalidateRect(peer.hwnd, nullptr, TRUE);
      break;
    case ui::Property::kPicture:
      if (c.GetKind() == ui::Kind::kImage) {
        RECT client;
        GetClientRect(peer.hwnd, &client);
        const ui::Rect r = ui::RepaintRect(static_cast<ui::Image&>(c), client.right, client.bottom);
        const RECT dirty{r.left, r.top, r.left + r.width, r.top + r.height};
        InvalidateRect(peer.hwnd, &dirty, FALSE);
      }
      break;
  }
}

void FormPeer::Command(int id, int code, HWND child) {
  if (id == IDOK) {
    // Enter presses a button only while it has the focus.
    ControlPeer* focused = PeerOf(GetFocus());
    if (focused != nullptr && focused->control.GetKind() == ui::Kind::kButton)
      host.Dispatch([&c = focused->control] { c.Click(); });
    return;
  }
  ControlPeer* peer = child != nullptr ? PeerOf(child) : PeerById(id);
  if (peer == nullptr)
    return;
  ui::Control& c = peer->control;
  switch (c.GetKind()) {
    case ui::Kind::kButton:
      if (code == BN_CLICKED)
        host.Dispatch([&c] { c.Click(); });
      break;
    case ui::Kind::kCheckBox:
      if (code == BN_CLICKED && c.Enabled()) {
        c.SetChecked(!c.Checked());
        host.Dispatch([&c] { c.Click(); });
      }
      break;
    case ui::Kind::kRadioButton:
      if (code == BN_CLICKED && c.Enabled()) {
        form.CheckRadio(c);
        host.Dispatch([&c] { c.Click(); });
      }
      break;
    case ui::Kind::kLabel:
      if (code == STN_CLICKED)
        host.Dispatch([&c] { c.Click(); });
      break;
    case ui::Kind::kEdit:
      if (code == EN_CHANGE && syncing == 0) {
        c.SetText(Utf8(TextOf(peer->hwnd)));
        if (c.on_change)
          host.Dispatch(c.on_change);
      }
      break;
    case ui::Kind::kComboBox:
      if (syncing != 0)
        break;
      if (code == CBN_EDITCHANGE) {
        c.SetText(Utf8(TextOf(peer->hwnd)));
      } else if (code == CBN_SELCHANGE) {
        const LRESULT index = SendMessageW(peer->hwnd, CB_GETCURSEL, 0, 0);
        if (index >= 0 && static_cast<std::size_t>(index) < c.items.size())
          c.SetText(c.items[static_cast<std::size_t>(index)]);
      }
      break;
    default:
      break;
  }
}

void FormPeer::Scrolled(HWND child) {
  if (ControlPeer* peer = PeerOf(child); peer != nullptr) {
    const int position = static_cast<int>(SendMessageW(peer->hwnd, TBM_GETPOS, 0, 0));
    if (syncing == 0 && position != peer->control.Position()) {
      peer->control.SetPosition(position);
      if (peer->control.on_change)
        host.Dispatch(peer->control.on_change);
    }
  }
}

std::intptr_t FormPeer::ControlColours(void* dc_handle, HWND child) {
  HDC dc = static_cast<HDC>(dc_handle);
  if (ControlPeer* peer = PeerOf(child); peer != nullptr) {
    const ui::Font& font = peer->control.parent_font ? form.font : peer->control.font;
    SetTextColor(dc, SystemColour(font.color));
  }
  SetBkMode(dc, TRANSPARENT);
  return reinterpret_cast<LRESULT>(background.As<HBRUSH>());
}

}  // namespace pixtrel::win32
