#pragma once

#include "gui/child_window.h"

namespace fotolyx::gui {

// The Live image window. Until live view is wired to it, it shows its empty picture area.
class LiveImageView final : public ChildWindow {
  public:
    LiveImageView();
    MenuBar Menu() const override { return MenuBar::Liveimage; }
    bool Permanent() const override { return true; }
};

}  // namespace fotolyx::gui
