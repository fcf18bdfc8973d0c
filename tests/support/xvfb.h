// A virtual X server of its own for one test, on a free display number.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <string>
#include <thread>

namespace pixtrel::test {

class Xvfb {
 public:
  // Starts Xvfb with one screen of that size and depth and points $DISPLAY at it. With
  // `own_ipc`, in an IPC namespace of its own, where it cannot attach our shared memory.
  Xvfb(int width, int height, int depth = 24, bool own_ipc = false);
  ~Xvfb();
  Xvfb(const Xvfb&) = delete;
  Xvfb& operator=(const Xvfb&) = delete;

  const std::string& Name() const { return name_; }  // ":N"
  // Runs a command with $DISPLAY set to this server; its exit code.
  int Run(const std::string& command) const;
  // Ends the server now, as a crash would.
  void Stop();

 private:
  pid_t pid_ = -1;
  std::string name_;
};

// A plain window of one colour, mapped, drawn and focused, as another program would show it.
// Unmanaged, it sits exactly where asked; managed, a window manager frames and places it.
class ColourWindow {
 public:
  ColourWindow(int left, int top, int width, int height, unsigned long rgb, bool managed = false);
  ~ColourWindow();
  ColourWindow(const ColourWindow&) = delete;
  ColourWindow& operator=(const ColourWindow&) = delete;
  unsigned long Id() const { return window_; }

 private:
  void* display_;
  unsigned long window_;
};

// Another program that takes the clipboard back each time someone else takes it, and gives
// nothing from it, as a clipboard manager gone wrong would. Runs on a thread of its own.
class ClipboardGrabber {
 public:
  ClipboardGrabber();
  ~ClipboardGrabber();
  ClipboardGrabber(const ClipboardGrabber&) = delete;
  ClipboardGrabber& operator=(const ClipboardGrabber&) = delete;

  // How many times another client took it meanwhile.
  int Taken() const { return taken_; }

 private:
  void Run();

  void* display_;
  unsigned long window_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> taken_{0};
  std::thread thread_;
};

}  // namespace pixtrel::test
