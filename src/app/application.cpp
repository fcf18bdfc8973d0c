#include "app/application.h"

#include <exception>

#include "core/error.h"
#include "settings/settings_keys.h"

namespace pixtrel {

std::uint8_t HotkeyCode = 0;
TForm1* Form1 = nullptr;
TForm2* Form2 = nullptr;
TForm3* Form3 = nullptr;
TForm4* Form4 = nullptr;

Application::Application(Platform& platform)
    : platform_(platform),
      windows_([this](const std::function<void()>& handler) { Dispatch(handler); },
               [this] { platform_.Quit(); }) {
  HotkeyCode = 0;
  platform_.Attach(windows_);
  form1_ = std::make_unique<TForm1>(*this);
  Form1 = form1_.get();
  Make(*Form1);
  Dispatch([] { Form1->Run(); });
  form4_ = std::make_unique<TForm4>(*this);
  Form4 = form4_.get();
  Make(*Form4);
  Dispatch([] { Form4->FormCreate(); });
  form2_ = std::make_unique<TForm2>(*this);
  Form2 = form2_.get();
  Make(*Form2);
  Dispatch([] { Form2->Initialize(); });
  form3_ = std::make_unique<TForm3>(*this);
  Form3 = form3_.get();
  Make(*Form3);
  // As the tray menu's "Config" and "Close..." do.
  windows_.SetCommand("preferences", [] { Form1->ParamsFromTray(); });
  windows_.SetCommand("quit", [] { Form1->Quit(); });
}

void Application::Make(ui::Form& form) {
  windows_.Add(form);
  platform_.CreateFormWindow(form);
}

void Application::Unmake(ui::Form& form) {
  platform_.DestroyFormWindow(form);
  windows_.Remove(form);
}

Application::~Application() {
  for (ui::Form* form : {static_cast<ui::Form*>(Form1), static_cast<ui::Form*>(Form4),
                         static_cast<ui::Form*>(Form2), static_cast<ui::Form*>(Form3)}) {
    HideForm(*form);
  }
  Unmake(*form3_);
  form3_.reset();
  Form3 = nullptr;
  Unmake(*form2_);
  if (form2_->on_destroy)
    Dispatch(form2_->on_destroy);
  form2_.reset();
  Form2 = nullptr;
  Unmake(*form4_);
  form4_.reset();
  Form4 = nullptr;
  Unmake(*form1_);
  form1_.reset();
  Form1 = nullptr;
}

void Application::Dispatch(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const Error& error) {
    ShowError(error.Message());
  } catch (const std::bad_alloc&) {
    ShowError("Mémoire insuffisante");
  } catch (const std::exception& error) {
    // A fault of ours, but the user keeps the program and whatever it holds.
    ShowError(error.what());
  }
}

void Application::ShowError(const std::string& message) {
  // The box is modal, but the hotkey timer would still tick under it: a key held while the
  // disk is full would stack one box per tick. Polling waits for the OK.
  ui::Timer* polling = Form1 != nullptr && Form1->Timer1.Enabled() ? &Form1->Timer1 : nullptr;
  if (polling != nullptr)
    platform_.EnableTimer(*polling, false);
  platform_.ErrorBox(ErrorBoxText(message));
  if (polling != nullptr && polling->Enabled())
    platform_.EnableTimer(*polling, true);
}

void Application::ApplyShowCommand(int show_command) {
  if (show_command == kShowMaximized)
    Form1->window_state = ui::WindowState::kMaximized;
  if (show_command == kShowMinimized)
    Form1->window_state = ui::WindowState::kMinimized;
}

void Application::ShowForm(ui::Form& form) {
  if (form.centred_once && !form.shown_before) {
    const ui::Rect screen = platform_.ScreenRect();
    form.SetBounds({(screen.width - form.bounds.width) / 2,
                    (screen.height - form.bounds.height) / 2, form.bounds.width,
                    form.bounds.height});
  }
  form.shown_before = true;
  form.SetVisible(true);
  windows_.Shown(form);
}

void Application::HideForm(ui::Form& form) {
  form.SetVisible(false);
  windows_.Hidden(form);
}

void Application::Raise(ui::Form& form) {
  if (!form.Visible())
    return;
  platform_.RaiseWindow(form);
  windows_.Activated(form);
}

void Application::BringToFront() {
  if (ui::Form* form = windows_.Front())
    platform_.BringToFront(*form);
}

void Application::PopupMenu(ui::PopupMenu& menu, ui::Point at) {
  if (ui::MenuItem* chosen = platform_.PopupMenu(menu, at))
    platform_.Post([this, chosen] { Dispatch([chosen] { chosen->Click(); }); });
}

std::string Application::DefaultFolder() {
  return JoinPath(platform_.DocumentsFolder(), std::string(kDefaultFolderName));
}

std::string Application::JoinPath(const std::string& folder, const std::string& name) {
  return folder + platform_.PathSeparator() + name;
}

}  // namespace pixtrel
