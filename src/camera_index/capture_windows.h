#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "camera_index/picture_index.h"
#include "camera_index/picture_ports.h"
#include "windows/picture_window.h"

namespace fotolyx {

// What a Capture window's owner hears of its windows: one is about to go (closed by the user,
// by a reconnect or after saving) and a Save As has run in one.
class CaptureWindowsObserver {
  public:
    virtual ~CaptureWindowsObserver() = default;
    virtual void CaptureClosing(WindowId window) = 0;
    virtual void CaptureSaved(WindowId window) = 0;
};

// The open Capture windows, newest with the highest id, each showing one downloaded picture.
class CaptureWindows final : public PictureWindowHost {
  public:
    CaptureWindows(PicturePorts ports, const PictureIndex& index)
        : ports_(std::move(ports)), index_(index) {}
    CaptureWindows(const CaptureWindows&) = delete;
    CaptureWindows& operator=(const CaptureWindows&) = delete;

    void SetObserver(CaptureWindowsObserver& observer) { observer_ = &observer; }

    // Creates the window for the index entry's picture (at the frame's corner when `corner`),
    // titled with the entry's list text.
    PictureWindow& Open(const PictureEntry& entry, PictureCreateData data, bool corner);
    PictureWindow* Find(WindowId window);
    std::vector<WindowId> Ids() const;
    // WM_DESTROY of a Capture window: the owner hears of it first, then the window goes.
    void Destroy(WindowId window);

    // --- PictureWindowHost.
    std::string DefaultFileName(std::uint32_t position) const override;
    SaveContext MakeSaveContext() override { return ports_.makeSaveContext(); }
    void AfterSaveAs(WindowId window) override;
    // Closes a Capture window as the user would (save prompt, then destruction).
    void CloseWindow(WindowId window);
    Memory& WindowMemory() override { return ports_.memory; }

  private:
    PicturePorts ports_;
    const PictureIndex& index_;
    CaptureWindowsObserver* observer_ = nullptr;
    std::map<WindowId, std::unique_ptr<PictureWindow>> windows_;
    WindowId nextId_ = FIRST_CAPTURE_WINDOW;
};

}  // namespace fotolyx
