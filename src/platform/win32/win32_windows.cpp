#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <commctrl.h>

#include "platform/win32/win32_windows.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/win32/scoped_win.h"
#include "platform/win32/win32_dib.h"
#include "platform/win32/win32_foreground.h"
#include "platform/win32/win32_text.h"
#include "ui/combo.h"
#include "ui/placement.h"

namespace pixtrel::win32 {
namespace {

constexpr wchar_t kFormClass[] = L"PixtrelForm";
constexpr wchar_t kImageClass[] = L"PixtrelImage";
constexpr wchar_t kStripClass[] = L"PixtrelStrip";
// Control ids start past IDOK and IDCANCEL, which the dialog keys send.
constexpr int kFirstControlId = 100;
// The editable list's height includes its drop-down part: eight items.
constexpr int kListDropHeight = 8 * 14 + 4;

HINSTANCE Instance() {
  return GetModuleHandleW(nullptr);
}

COLORREF ToColorRef(ui::ColorRef color) {
  // The layouts' system colours carry the system colour index in their low byte.
  if ((color & 0x80000000u) != 0)
    return GetSysColor(static_cast<int>(color & 0xFF));
  return color;
}

LPCWSTR ToCursorName(ui::Cursor cursor) {
  switch (cursor) {
    case ui::Cursor::kSizeAll:
      return IDC_SIZEALL;
    case ui::Cursor::kHand:
      return IDC_HAND;
    case ui::Cursor::kDrag:
      return IDC_UPARROW;
    case ui::Cursor::kCross:
      return IDC_CROSS;
    case ui::Cursor::kDefault:
      break;
  }
  return nullptr;
}

}  // namespace

// One control's native window, and the copying between the two.
class ControlPeer : public ui::Peer {
 public:
  ControlPeer(ui::Control& control, FormWindow::Impl& owner, int id)
      : control(control), owner(owner), id(id) {}
  ~ControlPeer() override { control.SetPeer(nullptr); }
  void Changed(ui::Control&, ui::Property property) override;

  ui::Control& control;
  FormWindow::Impl& owner;
  int id;
  HWND hwnd = nullptr;
  HWND list_edit = nullptr;  // an editable list's edit box
  bool tracking_leave = false;
};

struct FormWindow::Impl : public ui::Peer {
  Impl(ui::Form& form, WindowHost& host) : form(form), host(host) {}

  ui::Form& form;
  WindowHost& host;
  HWND hwnd = nullptr;
  int syncing = 0;
  std::vector<std::unique_ptr<ControlPeer>> peers;
  std::vector<std::pair<ui::Font, ScopedGdiObject>> fonts;
  ScopedGdiObject background;

  // While the model is copied onto the controls, their notifications are not the user's.
  struct Sync {
    explicit Sync(Impl& impl) : impl(impl) { ++impl.syncing; }
    ~Sync() { --impl.syncing; }
    Impl& impl;
  };

  void Create(void* owner);
  void MakeControl(ui::Control& control);
  void OrderControls();
  HFONT FontFor(const ui::Font& font);
  HFONT ControlFont(const ui::Control& control) {
    return FontFor(control.parent_font ? form.font : control.font);
  }
  ControlPeer* PeerOf(HWND child);
  ControlPeer* PeerById(int id);
  // Where a control sits in the form's client area: its bounds, moved by its group boxes.
  RECT PlaceOf(const ui::Control& control);
  int TextWidth(const ControlPeer& peer, const std::string& text);

  void Apply(ControlPeer& peer, ui::Property property);
  void ApplyAll(ControlPeer& peer);
  void Changed(ui::Control&, ui::Property property) override;
  void ApplyForm(ui::Property property);

  LRESULT Proc(UINT message, WPARAM wparam, LPARAM lparam);
  void Command(int id, int code, HWND child);
};

void ControlPeer::Changed(ui::Control&, ui::Property property) {
  owner.Apply(*this, property);
}

namespace {

FormWindow::Impl* ImplOf(HWND hwnd) {
  return reinterpret_cast<FormWindow::Impl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

bool IsForm(HWND hwnd) {
  wchar_t name[32] = {};
  return GetClassNameW(hwnd, name, 32) > 0 && std::wstring_view(name) == kFormClass;
}

ControlPeer* PeerOfWindow(HWND hwnd) {
  return reinterpret_cast<ControlPeer*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

std::wstring TextOf(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

LRESULT CALLBACK FormProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* impl =
        static_cast<FormWindow::Impl*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    impl->hwnd = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(impl));
  }
  if (FormWindow::Impl* impl = ImplOf(hwnd))
    return impl->Proc(message, wparam, lparam);
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

unsigned HeldButtons(WPARAM keys) {
  unsigned held = 0;
  if ((keys & MK_LBUTTON) != 0)
    held |= ui::kHeldLeft;
  if ((keys & MK_RBUTTON) != 0)
    held |= ui::kHeldRight;
  if ((keys & MK_MBUTTON) != 0)
    held |= ui::kHeldMiddle;
  return held;
}

ui::Point PointOf(LPARAM lparam) {
  return {static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
}

// The picture a control carries by file name, from the program's resources: the name without
// its extension, in capitals.
HBITMAP LoadCarriedPicture(const std::string& file) {
  std::string name = file.substr(0, file.find('.'));
  std::transform(name.begin(), name.end(), name.begin(),
                 [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
  return static_cast<HBITMAP>(
      LoadImageW(Instance(), Wide(name).c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

void PaintCarried(HDC dc, const ui::Image& image) {
  const ScopedGdiObject picture(LoadCarriedPicture(image.picture_file));
  if (!picture)
    return;
  BITMAP info{};
  GetObjectW(picture.As<HBITMAP>(), sizeof info, &info);
  const ScopedMemoryDc source(CreateCompatibleDC(dc));
  const ScopedSelect selected(source.Get(), picture.Get());
  if (!image.transparent) {
    BitBlt(dc, 0, 0, info.bmWidth, info.bmHeight, source.As<HDC>(), 0, 0, SRCCOPY);
    return;
  }
  const ui::Point key = ui::TransparentKeyPixel(info.bmWidth, info.bmHeight);
  TransparentBlt(dc, 0, 0, info.bmWidth, info.bmHeight, source.As<HDC>(), 0, 0, info.bmWidth,
                 info.bmHeight, GetPixel(source.As<HDC>(), key.x, key.y));
}

// Draws the picture where the model places it, repainting only what the system asks for.
void PaintPicture(HDC dc, const RECT& dirty, const ui::Image& image, int width, int height) {
  const Bitmap& picture = image.Picture();
  const ui::Rect place = ui::PictureRect(image, width, height);
  const bool scaled = ui::ScalesPicture(image);
  const ScopedGdiObject fill(CreateSolidBrush(scaled ? RGB(0, 0, 0) : GetSysColor(COLOR_BTNFACE)));
  FillRect(dc, &dirty, fill.As<HBRUSH>());
  if (picture.Empty() || picture.Width() == 0 || picture.Height() == 0)
    return;
  const std::vector<std::uint32_t> header = DibInfo(picture);
  const auto* info = reinterpret_cast<const BITMAPINFO*>(header.data());
  if (scaled || place.width != picture.Width() || place.height != picture.Height()) {
    // Rows and columns dropped or repeated; averaged only where a palette display could not
    // show the picture's colours.
    const int display_bits = GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES);
    const bool halftone = display_bits <= 8 && display_bits < picture.Depth();
    POINT origin{};
    if (halftone) {
      GetBrushOrgEx(dc, &origin);
      SetStretchBltMode(dc, HALFTONE);
      SetBrushOrgEx(dc, 0, 0, nullptr);
    } else {
      SetStretchBltMode(dc, COLORONCOLOR);
    }
    StretchDIBits(dc, place.left, place.top, place.width, place.height, 0, 0, picture.Width(),
                  picture.Height(), picture.Pixels().data(), info, DIB_RGB_COLORS, SRCCOPY);
    if (halftone)
      SetBrushOrgEx(dc, origin.x, origin.y, nullptr);
    return;
  }
  // One to one: only the part asked for. A bottom-up picture counts its rows from the bottom.
  const int left = std::max<int>(dirty.left, place.left);
  const int top = std::max<int>(dirty.top, place.top);
  const int right = std::min<int>(dirty.right, place.left + place.width);
  const int bottom = std::min<int>(dirty.bottom, place.top + place.height);
  if (right <= left || bottom <= top)
    return;
  SetDIBitsToDevice(dc, left, top, static_cast<DWORD>(right - left),
                    static_cast<DWORD>(bottom - top), left - place.left,
                    picture.Height() - (bottom - place.top), 0, static_cast<UINT>(picture.Height()),
                    picture.Pixels().data(), info, DIB_RGB_COLORS);
}

ui::MouseButton ButtonOf(UINT message) {
  switch (message) {
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
      return ui::MouseButton::kRight;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
      return ui::MouseButton::kMiddle;
    default:
      return ui::MouseButton::kLeft;
  }
}

LRESULT CALLBACK ImageProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    SetWindowLongPtrW(
        hwnd, GWLP_USERDATA,
        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams));
  }
  ControlPeer* peer = PeerOfWindow(hwnd);
  if (peer == nullptr)
    return DefWindowProcW(hwnd, message, wparam, lparam);
  auto& image = static_cast<ui::Image&>(peer->control);
  WindowHost& host = peer->owner.host;
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // the paint covers everything
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(hwnd, &paint);
      RECT client;
      GetClientRect(hwnd, &client);
      if (!image.picture_file.empty()) {
        const ScopedGdiObject face(CreateSolidBrush(GetSysColor(COLOR_BTNFACE)));
        FillRect(dc, &paint.rcPaint, face.As<HBRUSH>());
        PaintCarried(dc, image);
      } else {
        PaintPicture(dc, paint.rcPaint, image, client.right, client.bottom);
      }
      EndPaint(hwnd, &paint);
      return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      // The left button alone keeps the mouse: a drag with another follows the pointer only
      // while it is over the picture, and a release elsewhere leaves it open.
      if (message == WM_LBUTTONDOWN)
        SetCapture(hwnd);
      if (image.mouse.down) {
        const ui::MouseButton button = ButtonOf(message);
        const ui::Point at = PointOf(lparam);
        host.Dispatch([&image, button, at] { image.mouse.down(button, at); });
      }
      return 0;
    case WM_MOUSEMOVE:
      if (image.mouse.move) {
        const unsigned held = HeldButtons(wparam);
        const ui::Point at = PointOf(lparam);
        host.Dispatch([&image, held, at] { image.mouse.move(held, at); });
      }
      return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      if (message == WM_LBUTTONUP && GetCapture() == hwnd)
        ReleaseCapture();
      if (image.mouse.up) {
        const ui::MouseButton button = ButtonOf(message);
        const ui::Point at = PointOf(lparam);
        host.Dispatch([&image, button, at] { image.mouse.up(button, at); });
      }
      return 0;
    default:
      return DefWindowProcW(hwnd, message, wparam, lparam);
  }
}

LRESULT CALLBACK StripProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    SetWindowLongPtrW(
        hwnd, GWLP_USERDATA,
        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams));
  }
  ControlPeer* peer = PeerOfWindow(hwnd);
  if (peer != nullptr && message == WM_ERASEBKGND) {
    RECT client;
    GetClientRect(hwnd, &client);
    const ScopedGdiObject brush(CreateSolidBrush(ToColorRef(peer->control.color)));
    FillRect(reinterpret_cast<HDC>(wparam), &client, brush.As<HBRUSH>());
    return 1;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
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
        FormWindow::Impl::Sync sync(peer->owner);
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

void RegisterClasses() {
  static bool registered = false;
  if (registered)
    return;
  registered = true;
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  WNDCLASSEXW form{};
  form.cbSize = sizeof form;
  form.lpfnWndProc = FormProc;
  form.hInstance = Instance();
  form.hIcon = LoadIconW(Instance(), L"MAINICON");
  form.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  form.lpszClassName = kFormClass;
  RegisterClassExW(&form);
  WNDCLASSEXW image{};
  image.cbSize = sizeof image;
  image.lpfnWndProc = ImageProc;
  image.hInstance = Instance();
  image.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  image.lpszClassName = kImageClass;
  RegisterClassExW(&image);
  WNDCLASSEXW strip = image;
  strip.lpfnWndProc = StripProc;
  strip.lpszClassName = kStripClass;
  RegisterClassExW(&strip);
}

DWORD FormStyle(const ui::Form& form) {
  // No WS_CLIPCHILDREN: under wine it keeps the form's own painting off the screen.
  DWORD style = 0;
  switch (form.border) {
    case ui::FormBorder::kNone:
      style |= WS_POPUP;
      break;
    case ui::FormBorder::kDialog:
      style |= WS_POPUP | WS_CAPTION | (form.title_buttons ? WS_SYSMENU : 0);
      break;
    case ui::FormBorder::kSizeable:
      style |= WS_OVERLAPPEDWINDOW;
      break;
  }
  return style;
}

DWORD FormExStyle(const ui::Form& form) {
  DWORD style = 0;
  if (form.border == ui::FormBorder::kDialog)
    style |= WS_EX_DLGMODALFRAME;
  if (form.topmost)
    style |= WS_EX_TOPMOST;
  if (form.layered)
    style |= WS_EX_LAYERED;
  return style;
}

// The window's outer size for the form's client size.
SIZE OuterSize(const ui::Form& form) {
  RECT rect{0, 0, form.bounds.width, form.bounds.height};
  AdjustWindowRectEx(&rect, FormStyle(form), FALSE, FormExStyle(form));
  return {rect.right - rect.left, rect.bottom - rect.top};
}

}  // namespace

void FormWindow::Impl::Create(void* owner) {
  RegisterClasses();
  const SIZE size = OuterSize(form);
  CreateWindowExW(FormExStyle(form), kFormClass, Wide(form.Caption()).c_str(), FormStyle(form),
                  form.bounds.left, form.bounds.top, size.cx, size.cy, static_cast<HWND>(owner),
                  nullptr, Instance(), this);
  if (form.layered) {
    SetLayeredWindowAttributes(hwnd, ToColorRef(form.transparent_color),
                               static_cast<BYTE>(form.alpha), LWA_COLORKEY | LWA_ALPHA);
  }
  background.Reset();
  background = ScopedGdiObject(CreateSolidBrush(ToColorRef(form.color)));
  for (ui::Control* control : form.controls)
    MakeControl(*control);
  OrderControls();
  form.SetPeer(this);
}

void FormWindow::Impl::MakeControl(ui::Control& c) {
  const wchar_t* window_class = nullptr;
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
  DWORD ex_style = 0;
  switch (c.GetKind()) {
    case ui::Kind::kButton:
      window_class = WC_BUTTONW;
      style |= BS_PUSHBUTTON;
      break;
    case ui::Kind::kCheckBox:
      // Not automatic: the model holds the state, and the click sets it.
      window_class = WC_BUTTONW;
      style |= BS_CHECKBOX;
      break;
    case ui::Kind::kRadioButton:
      window_class = WC_BUTTONW;
      style |= BS_RADIOBUTTON;
      break;
    case ui::Kind::kGroupBox:
      window_class = WC_BUTTONW;
      style |= BS_GROUPBOX;
      break;
    case ui::Kind::kEdit:
      window_class = WC_EDITW;
      style |= ES_AUTOHSCROLL;
      ex_style |= WS_EX_CLIENTEDGE;
      break;
    case ui::Kind::kComboBox:
      window_class = WC_COMBOBOXW;
      style |= CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL;
      break;
    case ui::Kind::kSlider:
      window_class = TRACKBAR_CLASSW;
      style |= TBS_HORZ | TBS_BOTTOM | TBS_AUTOTICKS;
      break;
    case ui::Kind::kLabel:
      window_class = WC_STATICW;
      style |= SS_NOTIFY | (c.alignment == ui::Align::kRight    ? SS_RIGHT | SS_CENTERIMAGE
                            : c.alignment == ui::Align::kCenter ? SS_CENTER | SS_CENTERIMAGE
                            : c.word_wrap                       ? SS_LEFT
                                                                : SS_LEFTNOWORDWRAP);
      break;
    case ui::Kind::kBevel:
      window_class = WC_STATICW;
      style |= SS_ETCHEDFRAME;
      break;
    case ui::Kind::kImage:
      window_class = kImageClass;
      break;
    case ui::Kind::kToolStrip:
      window_class = kStripClass;
      break;
    default:
      return;  // menus, timers and dialogs have no window
  }
  if (c.tab_order >= 0 && c.Focusable() && c.GetKind() != ui::Kind::kGroupBox)
    style |= WS_TABSTOP;
  if (c.right_to_left)
    ex_style |= WS_EX_RTLREADING;
  const int id = kFirstControlId + static_cast<int>(peers.size());
  auto peer = std::make_unique<ControlPeer>(c, *this, id);
  const RECT place = PlaceOf(c);
  const int height = c.GetKind() == ui::Kind::kComboBox ? place.bottom - place.top + kListDropHeight
                                                        : place.bottom - place.top;
  peer->hwnd =
      CreateWindowExW(ex_style, window_class, Wide(c.Caption()).c_str(), style, place.left,
                      place.top, place.right - place.left, height, hwnd,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance(), peer.get());
  SetWindowLongPtrW(peer->hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(peer.get()));
  switch (c.GetKind()) {
    case ui::Kind::kComboBox: {
      for (const std::string& item : c.items)
        SendMessageW(peer->hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
      COMBOBOXINFO info{};
      info.cbSize = sizeof info;
      if (GetComboBoxInfo(peer->hwnd, &info)) {
        peer->list_edit = info.hwndItem;
        SetWindowSubclass(info.hwndItem, ListEditSubclass, 1,
                          reinterpret_cast<DWORD_PTR>(peer.get()));
      }
      break;
    }
    case ui::Kind::kSlider:
      SendMessageW(peer->hwnd, TBM_SETRANGE, FALSE, MAKELPARAM(c.min, c.max));
      SendMessageW(peer->hwnd, TBM_SETTICFREQ, static_cast<WPARAM>(c.frequency), 0);
      SendMessageW(peer->hwnd, TBM_SETLINESIZE, 0, c.line_size);
      SendMessageW(peer->hwnd, TBM_SETPAGESIZE, 0, c.page_size);
      break;
    case ui::Kind::kLabel:
      SetWindowSubclass(peer->hwnd, LabelSubclass, 1, reinterpret_cast<DWORD_PTR>(peer.get()));
      break;
    default:
      break;
  }
  c.SetPeer(peer.get());
  ControlPeer& made = *peer;
  peers.push_back(std::move(peer));
  ApplyAll(made);
}

void FormWindow::Impl::OrderControls() {
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

HFONT FormWindow::Impl::FontFor(const ui::Font& font) {
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

ControlPeer* FormWindow::Impl::PeerOf(HWND child) {
  for (auto& peer : peers) {
    if (peer->hwnd == child || (peer->list_edit != nullptr && peer->list_edit == child))
      return peer.get();
  }
  return nullptr;
}

ControlPeer* FormWindow::Impl::PeerById(int id) {
  const int index = id - kFirstControlId;
  if (index < 0 || index >= static_cast<int>(peers.size()))
    return nullptr;
  return peers[static_cast<std::size_t>(index)].get();
}

RECT FormWindow::Impl::PlaceOf(const ui::Control& control) {
  RECT client;
  GetClientRect(hwnd, &client);
  const ui::Rect b = control.BoundsIn(client.right, client.bottom);
  int left = b.left;
  int top = b.top;
  for (const ui::Control* group = form.ParentOf(control); group != nullptr;
       group = form.ParentOf(*group)) {
    left += group->bounds.left;
    top += group->bounds.top;
  }
  return {left, top, left + b.width, top + b.height};
}

int FormWindow::Impl::TextWidth(const ControlPeer& peer, const std::string& text) {
  const ScopedWindowDc dc(peer.hwnd);
  const ScopedSelect font(dc.As<HDC>(), ControlFont(peer.control));
  const std::wstring wide = Wide(text);
  SIZE size{};
  GetTextExtentPoint32W(dc.As<HDC>(), wide.c_str(), static_cast<int>(wide.size()), &size);
  return size.cx;
}

void FormWindow::Impl::ApplyAll(ControlPeer& peer) {
  for (const ui::Property property :
       {ui::Property::kFont, ui::Property::kCaption, ui::Property::kBounds, ui::Property::kEnabled,
        ui::Property::kChecked, ui::Property::kText, ui::Property::kPosition,
        ui::Property::kVisible})
    Apply(peer, property);
}

void FormWindow::Impl::Apply(ControlPeer& peer, ui::Property property) {
  Sync sync(*this);
  ui::Control& c = peer.control;
  switch (property) {
    case ui::Property::kBounds: {
      RECT place = PlaceOf(c);
      if (c.GetKind() == ui::Kind::kLabel) {
        const ui::Rect fitted = c.BoundsForText(TextWidth(peer, c.Caption()));
        place.right = place.left + fitted.width;
      }
      const int extra = c.GetKind() == ui::Kind::kComboBox ? kListDropHeight : 0;
      MoveWindow(peer.hwnd, place.left, place.top, place.right - place.left,
                 place.bottom - place.top + extra, TRUE);
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

void FormWindow::Impl::Changed(ui::Control&, ui::Property property) {
  ApplyForm(property);
}

void FormWindow::Impl::ApplyForm(ui::Property property) {
  switch (property) {
    case ui::Property::kCaption:
      SetWindowTextW(hwnd, Wide(form.Caption()).c_str());
      return;
    case ui::Property::kBounds: {
      if (form.window_state == ui::WindowState::kMaximized)
        return;
      const SIZE size = OuterSize(form);
      SetWindowPos(hwnd, nullptr, form.bounds.left, form.bounds.top, size.cx, size.cy,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      return;
    }
    case ui::Property::kVisible:
      break;
    default:
      return;
  }
  // Hidden by its destruction a moment later, a window is not hidden or shown again on the way
  // out. (It would cost nothing on Windows; wine with no window manager waits 2 s for each
  // hidden window to be withdrawn.)
  if (host.Ending())
    return;
  const bool shown = IsWindowVisible(hwnd) != FALSE;
  if (form.Visible() == shown)
    return;
  if (!form.Visible()) {
    ShowWindow(hwnd, SW_HIDE);
    host.Hidden(form);
    return;
  }
  switch (form.window_state) {
    case ui::WindowState::kMaximized:
      ShowWindow(hwnd, SW_SHOWMAXIMIZED);
      break;
    case ui::WindowState::kMinimized:
      ShowWindow(hwnd, SW_SHOWMINNOACTIVE);
      host.Shown(form);
      return;
    case ui::WindowState::kNormal:
      ShowWindow(hwnd, IsIconic(hwnd) ? SW_RESTORE : SW_SHOW);
      break;
  }
  host.Shown(form);
  SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  TakeForeground(hwnd);
}

void FormWindow::Impl::Command(int id, int code, HWND child) {
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

LRESULT FormWindow::Impl::Proc(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      Command(LOWORD(wparam), HIWORD(wparam), reinterpret_cast<HWND>(lparam));
      return 0;
    case WM_HSCROLL:
      if (ControlPeer* peer = PeerOf(reinterpret_cast<HWND>(lparam)); peer != nullptr) {
        const int position = static_cast<int>(SendMessageW(peer->hwnd, TBM_GETPOS, 0, 0));
        if (syncing == 0 && position != peer->control.Position()) {
          peer->control.SetPosition(position);
          if (peer->control.on_change)
            host.Dispatch(peer->control.on_change);
        }
      }
      return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      HDC dc = reinterpret_cast<HDC>(wparam);
      if (ControlPeer* peer = PeerOf(reinterpret_cast<HWND>(lparam)); peer != nullptr) {
        const ui::Font& font = peer->control.parent_font ? form.font : peer->control.font;
        SetTextColor(dc, ToColorRef(font.color));
      }
      SetBkMode(dc, TRANSPARENT);
      return reinterpret_cast<LRESULT>(background.As<HBRUSH>());
    }
    case WM_ERASEBKGND:
      return 1;  // the paint covers everything
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(hwnd, &paint);
      FillRect(dc, &paint.rcPaint, background.As<HBRUSH>());
      EndPaint(hwnd, &paint);
      return 0;
    }
    case WM_SETCURSOR:
      if (ControlPeer* peer = PeerOf(reinterpret_cast<HWND>(wparam));
          peer != nullptr && LOWORD(lparam) == HTCLIENT) {
        if (LPCWSTR name = ToCursorName(peer->control.cursor)) {
          SetCursor(LoadCursorW(nullptr, name));
          return TRUE;
        }
      }
      break;
    case WM_MOUSEMOVE:
      // The tray icon's messages arrive here too, the mouse message in the place of x.
      if (form.on_form_mouse_move) {
        const ui::Point at = PointOf(lparam);
        host.Dispatch([this, at] { form.on_form_mouse_move(at); });
      }
      return 0;
    case WM_TIMER:
      host.TimerFired(static_cast<unsigned>(wparam));
      return 0;
    case WM_RENDERFORMAT:
      host.RenderClipboard(static_cast<unsigned>(wparam));
      return 0;
    case WM_CLOSE:
      host.Windows().CloseRequested(form);
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wparam) != WA_INACTIVE)
        host.Windows().Activated(form);
      break;
    case WM_SIZE:
      // Minimised by the system: the taskbar, a shortcut.
      if (wparam == SIZE_MINIMIZED)
        host.Windows().Minimized(form);
      else
        host.Windows().Resized(form);
      break;
    case WM_MOVE:
      if (IsWindowVisible(hwnd) && !IsIconic(hwnd) && !IsZoomed(hwnd)) {
        // Moved by the user by its title bar.
        RECT outer;
        GetWindowRect(hwnd, &outer);
        host.Windows().Moved(form, {outer.left, outer.top});
      }
      break;
    case WM_GETMINMAXINFO:
      if (form.window_state == ui::WindowState::kMaximized) {
        // Maximised, a frameless window covers the primary screen exactly, as the selection's
        // coordinates need.
        auto* info = reinterpret_cast<MINMAXINFO*>(lparam);
        info->ptMaxPosition = {0, 0};
        info->ptMaxSize = {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        return 0;
      }
      break;
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

FormWindow::FormWindow(ui::Form& form, WindowHost& host, void* owner)
    : impl_(std::make_unique<Impl>(form, host)) {
  impl_->Create(owner);
}

FormWindow::~FormWindow() {
  // The controls' windows read their peers until they are gone (WM_DESTROY, WM_NCDESTROY, a
  // mouse capture they lose): the windows go first.
  if (impl_->hwnd != nullptr) {
    SetWindowLongPtrW(impl_->hwnd, GWLP_USERDATA, 0);
    DestroyWindow(impl_->hwnd);
  }
  impl_->form.SetPeer(nullptr);
  impl_->peers.clear();
}

ui::Form& FormWindow::form() {
  return impl_->form;
}

void* FormWindow::Handle() const {
  return impl_->hwnd;
}

void FormWindow::PaintNow() {
  RedrawWindow(impl_->hwnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  GdiFlush();
}

void RunMessageLoop() {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    // Tab and the arrow keys move between controls in every form, as in a dialog.
    HWND top = message.hwnd != nullptr ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    if (top != nullptr && IsForm(top) && IsDialogMessageW(top, &message))
      continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace pixtrel::win32
