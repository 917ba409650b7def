#pragma once

#include <QSocketNotifier>
#include <functional>
#include <memory>
#include <vector>

namespace fotolyx::host {

// Watches the serial line's descriptor on Qt's event loop. Which descriptor (if any) is
// watched is asked again by Update(), which the host calls after every event it hands to the
// program: a port may have been opened or closed meanwhile. A hang-up or error on the line is
// told apart from plain data before the reader is called.
class LineWatcher {
  public:
    LineWatcher() = default;
    LineWatcher(const LineWatcher&) = delete;
    LineWatcher& operator=(const LineWatcher&) = delete;
    ~LineWatcher();

    std::function<int()> watchedFd;  // the descriptor to watch now, or -1
    std::function<bool()> busy;      // true while the program cannot take bytes (a handler runs)
    std::function<void()> onReadable;
    std::function<void()> onHangUp;
    std::function<void()> afterEvent;  // called after each reading or hang-up

    void Update();
    int WatchedDescriptor() const { return fd_; }

  private:
    void Activated();
    void Stop();

    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> read_;
    std::unique_ptr<QSocketNotifier> error_;
    std::vector<std::unique_ptr<QSocketNotifier>> retired_;
    int activations_ = 0;
};

// True when the descriptor reports a hang-up or an error (poll without waiting).
bool DescriptorHungUp(int fd);

}  // namespace fotolyx::host
