#include "ui/ui.h"

#include <algorithm>

namespace pixtrel::ui {

Control* Form::ParentOf(const Control& control) const {
  for (const auto& [child, parent] : parents) {
    if (child == &control)
      return parent;
  }
  return nullptr;
}

void Form::CheckRadio(Control& radio) {
  Control* const group = ParentOf(radio);
  for (Control* control : controls) {
    if (control != &radio && control->GetKind() == Kind::kRadioButton &&
        ParentOf(*control) == group)
      control->SetChecked(false);
  }
  radio.SetChecked(true);
}

std::vector<Control*> Form::TabOrder() const {
  std::vector<Control*> order;
  const auto visit = [&](const auto& self, const Control* container) -> void {
    std::vector<Control*> children;
    for (const auto& [child, parent] : parents) {
      if (parent == container && child->tab_order >= 0)
        children.push_back(child);
    }
    std::stable_sort(children.begin(), children.end(),
                     [](Control* a, Control* b) { return a->tab_order < b->tab_order; });
    for (Control* child : children) {
      if (child->GetKind() == Kind::kGroupBox)
        self(self, child);
      else
        order.push_back(child);
    }
  };
  visit(visit, nullptr);
  return order;
}

}  // namespace pixtrel::ui
