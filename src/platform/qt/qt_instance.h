// One program per session: a later start hands its command line to the running program over
// the session bus, so that a desktop's own key bindings and its launcher's actions can reach it.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace pixtrel {

class QtPlatform;

// A command line's request: a capture of a mode ("screen", "window", "client", "region"), the
// preferences or the end of the program.
struct InstanceCommand {
  std::string method;  // "Capture", "Preferences" or "Quit"
  std::string mode;    // for Capture
};

// Hands the command to the program running in this session; false when none answered.
bool AskRunningProgram(const InstanceCommand& command);

// Serves the commands for the program in this session while it lives.
class InstanceService {
 public:
  explicit InstanceService(QtPlatform& platform);
  ~InstanceService();
  // Carries out a command here, from the event loop, as if another start had sent it.
  void Run(const InstanceCommand& command);

 private:
  class Object;
  std::unique_ptr<Object> object_;
  QtPlatform& platform_;
};

}  // namespace pixtrel
