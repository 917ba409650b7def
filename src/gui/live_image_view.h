#pragma once

#include "gui/child_window.h"

namespace fotolyx::gui {

// The Live image window. Until live view is wired to it, it shows its empty picture area.
class LiveImageView final : public ChildWindow {
  public:
    LiveImageView();
    MenuKind Menu() const override { return MenuKind::LiveImage; }
    bool Permanent() const override { return true; }
};

}  // namespace fotolyx::gui
