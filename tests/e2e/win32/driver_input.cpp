// The keyboard and the mouse, through SendInput: wine's key state does not see keys that reach
// X while none of its windows has the focus, but it does see these.
#include "driver.h"

#include <cwctype>

namespace driver {
namespace {

struct KeyName {
  const wchar_t* name;
  WORD code;
};

constexpr KeyName kKeyNames[] = {
    {L"BACK", VK_BACK},         {L"TAB", VK_TAB},           {L"RETURN", VK_RETURN},
    {L"ENTER", VK_RETURN},      {L"SHIFT", VK_SHIFT},       {L"CONTROL", VK_CONTROL},
    {L"CTRL", VK_CONTROL},      {L"MENU", VK_MENU},         {L"ALT", VK_MENU},
    {L"PAUSE", VK_PAUSE},       {L"ESCAPE", VK_ESCAPE},     {L"SPACE", VK_SPACE},
    {L"PRIOR", VK_PRIOR},       {L"NEXT", VK_NEXT},         {L"END", VK_END},
    {L"HOME", VK_HOME},         {L"LEFT", VK_LEFT},         {L"UP", VK_UP},
    {L"RIGHT", VK_RIGHT},       {L"DOWN", VK_DOWN},         {L"SNAPSHOT", VK_SNAPSHOT},
    {L"INSERT", VK_INSERT},     {L"DELETE", VK_DELETE},     {L"LWIN", VK_LWIN},
    {L"SCROLL", VK_SCROLL},     {L"LSHIFT", VK_LSHIFT},     {L"RSHIFT", VK_RSHIFT},
    {L"LCONTROL", VK_LCONTROL}, {L"RCONTROL", VK_RCONTROL}, {L"LMENU", VK_LMENU},
    {L"RMENU", VK_RMENU},
};

// The keys whose scan codes come after an E0 prefix.
bool Extended(WORD key) {
  return (key >= VK_PRIOR && key <= VK_DOWN) || key == VK_INSERT || key == VK_DELETE ||
         key == VK_SNAPSHOT || key == VK_RCONTROL || key == VK_RMENU || key == VK_LWIN;
}

void Send(std::vector<INPUT> inputs) {
  const UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  if (sent != inputs.size())
    throw Failure(SystemError("SendInput"));
}

INPUT KeyInput(WORD key, bool up) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
  input.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (Extended(key) ? KEYEVENTF_EXTENDEDKEY : 0);
  return input;
}

// Normalised 0..65535 over the virtual desktop; Windows and wine both take pixel
// left + dx * width / 65536, rounded down, so dx is rounded up.
INPUT MouseInput(int x, int y, DWORD flags) {
  const int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
  const int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
  const long long width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
  const long long height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dx = static_cast<LONG>(((x - left) * 65536LL + width - 1) / width);
  input.mi.dy = static_cast<LONG>(((y - top) * 65536LL + height - 1) / height);
  input.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK;
  return input;
}

bool RightButton(const Args& args, std::size_t index) {
  if (index >= args.size() || args[index] == L"left")
    return false;
  if (args[index] == L"right")
    return true;
  throw Failure("a button is left or right, not " + Utf8(args[index]));
}

// "ctrl+shift+a": the modifiers before the key.
std::vector<WORD> Chord(const std::wstring& text) {
  std::vector<WORD> keys;
  std::size_t start = 0;
  while (true) {
    const std::size_t plus = text.find(L'+', start);
    keys.push_back(KeyCode(text.substr(start, plus - start)));
    if (plus == std::wstring::npos)
      return keys;
    start = plus + 1;
  }
}

}  // namespace

void Pause(int ms) {
  Sleep(static_cast<DWORD>(ms));
}

WORD KeyCode(const std::wstring& name) {
  std::wstring upper;
  for (const wchar_t c : name)
    upper += static_cast<wchar_t>(std::towupper(c));
  if (upper.size() == 1 && (std::iswupper(upper[0]) || std::iswdigit(upper[0])))
    return upper[0];
  if (upper.size() >= 2 && upper[0] == L'F' && std::iswdigit(upper[1])) {
    const int number = Number(upper.substr(1));
    if (number >= 1 && number <= 24)
      return static_cast<WORD>(VK_F1 + number - 1);
  }
  if (upper.rfind(L"0X", 0) == 0)
    return static_cast<WORD>(Number(upper));
  for (const KeyName& key : kKeyNames) {
    if (upper == key.name)
      return key.code;
  }
  throw Failure("no key called " + Utf8(name));
}

void SendKey(WORD key, bool up) {
  Send({KeyInput(key, up)});
}

// Down and up in one go: far shorter than the 100 ms between two polls.
void TapKey(WORD key) {
  Send({KeyInput(key, false), KeyInput(key, true)});
}

void MouseTo(int x, int y) {
  Send({MouseInput(x, y, 0)});
}

void MouseButton(bool right, bool up) {
  POINT at{};
  GetCursorPos(&at);
  const DWORD flags = right ? (up ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_RIGHTDOWN)
                            : (up ? MOUSEEVENTF_LEFTUP : MOUSEEVENTF_LEFTDOWN);
  Send({MouseInput(at.x, at.y, flags)});
}

void KeyCommand(const Args& args) {
  const WORD key = KeyCode(Arg(args, 0, "key name"));
  std::vector<WORD> modifiers;
  for (std::size_t i = 1; i < args.size(); ++i)
    modifiers.push_back(KeyCode(args[i]));
  for (const WORD modifier : modifiers)
    SendKey(modifier, false);
  TapKey(key);
  // Held over the next poll at least, as a hand would.
  if (!modifiers.empty())
    Pause(300);
  for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it)
    SendKey(*it, true);
  Reply().Add("key", static_cast<int>(key)).Print();
}

void KeyDownCommand(const Args& args) {
  SendKey(KeyCode(Arg(args, 0, "key name")), false);
}

void KeyUpCommand(const Args& args) {
  SendKey(KeyCode(Arg(args, 0, "key name")), true);
}

void KeysCommand(const Args& args) {
  for (const std::wstring& chord : args) {
    const std::vector<WORD> keys = Chord(chord);
    for (const WORD key : keys)
      SendKey(key, false);
    for (auto it = keys.rbegin(); it != keys.rend(); ++it)
      SendKey(*it, true);
    // Room for the program to take each in turn.
    Pause(30);
  }
}

void TypeCommand(const Args& args) {
  for (const wchar_t c : Arg(args, 0, "text")) {
    INPUT input[2]{};
    for (int i = 0; i < 2; ++i) {
      input[i].type = INPUT_KEYBOARD;
      input[i].ki.wScan = c;
      input[i].ki.dwFlags = KEYEVENTF_UNICODE | (i == 1 ? KEYEVENTF_KEYUP : 0);
    }
    Send({input[0], input[1]});
    Pause(10);
  }
}

void PollKeyCommand(const Args& args) {
  const WORD key = KeyCode(Arg(args, 0, "key name"));
  const int ms = Number(Arg(args, 1, "milliseconds"));
  GetAsyncKeyState(key);  // forgets a press from before
  Reply().Add("ready", true).Print();
  int polls = 0, down = 0, pressed = 0;
  unsigned first = 0;
  const DWORD start = GetTickCount();
  while (static_cast<int>(GetTickCount() - start) < ms) {
    const auto state = static_cast<unsigned short>(GetAsyncKeyState(key));
    ++polls;
    down += (state & 0x8000) != 0 ? 1 : 0;
    pressed += (state & 1) != 0 ? 1 : 0;
    if (first == 0)
      first = state;
    Pause(10);
  }
  Reply()
      .Add("polls", polls)
      .Add("down", down)
      .Add("pressed", pressed)
      .Add("first", static_cast<int>(first))
      .Print();
}

void MoveCommand(const Args& args) {
  MouseTo(Number(Arg(args, 0, "x")), Number(Arg(args, 1, "y")));
  POINT at{};
  GetCursorPos(&at);
  Reply().Add("x", static_cast<int>(at.x)).Add("y", static_cast<int>(at.y)).Print();
}

void ClickCommand(const Args& args) {
  const bool right = RightButton(args, 2);
  MouseTo(Number(Arg(args, 0, "x")), Number(Arg(args, 1, "y")));
  Pause(50);
  MouseButton(right, false);
  Pause(50);
  MouseButton(right, true);
}

void DragCommand(const Args& args) {
  const int x1 = Number(Arg(args, 0, "x1")), y1 = Number(Arg(args, 1, "y1"));
  const int x2 = Number(Arg(args, 2, "x2")), y2 = Number(Arg(args, 3, "y2"));
  MouseTo(x1, y1);
  Pause(50);
  MouseButton(false, false);
  // The handlers read where the pointer is when they run.
  constexpr int kSteps = 10;
  for (int step = 1; step <= kSteps; ++step) {
    Pause(30);
    MouseTo(x1 + (x2 - x1) * step / kSteps, y1 + (y2 - y1) * step / kSteps);
  }
  Pause(100);
  MouseButton(false, true);
}

}  // namespace driver
