#include "app/program.h"

#include "app/application.h"

namespace pixtrel {

int RunProgram(Platform& platform, int show_command) {
  Application app(platform);
  app.ApplyShowCommand(show_command);
  platform.RunEventLoop();
  return 0;
}

}  // namespace pixtrel
