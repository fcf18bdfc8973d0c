// The Windows program: its own message loop around the application, until Quit ends it.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include "app/application.h"
#include "app/program.h"
#include "platform/win32/win32_platform.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show_command) {
  pixtrel::win32::Win32Platform platform;
  return pixtrel::RunProgram(platform, show_command);
}
