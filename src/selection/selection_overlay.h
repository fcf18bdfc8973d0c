// The full-screen overlay on which a rectangle is dragged over a frozen copy of the screen.
#pragma once

#include "selection/frame.h"
#include "ui/ui.h"

namespace pixtrel {

class Application;

class TForm4 : public ui::Form {
 public:
  explicit TForm4(Application& app);
  ui::Image Image2{"Image2"};  // the frozen screen

  // Creation and every activation.
  void FormCreate();
  void Image2MouseDown(ui::MouseButton button, ui::Point at);
  void Image2MouseMove(unsigned held, ui::Point at);
  void Image2MouseUp(ui::MouseButton button, ui::Point at);

 private:
  Application& app_;
};

// Where Image2 shows a picture of the given size: 1:1 at the top left when it fits the
// client exactly, centred when smaller, shrunk to fit and centred when larger.
ui::Rect PlaceOverlayPicture(int width, int height, int client_width, int client_height);

// The overlay's selection state, shared by its handlers only; for tests to look at.
struct SelectionState {
  Edges SelectionRect;
  ui::Point SelectionAnchor;
  std::uint8_t BorderMargin = 0;
  const Bitmap* FrozenScreen = nullptr;
};
SelectionState CurrentSelection();

}  // namespace pixtrel
