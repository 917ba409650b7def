#include "host/line_watcher.h"

#include <poll.h>

namespace fotolyx::host {

bool DescriptorHungUp(int fd) {
    if (fd < 0) {
        return false;
    }
    pollfd entry{fd, POLLIN, 0};
    if (poll(&entry, 1, 0) <= 0) {
        return false;
    }
    return (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

LineWatcher::~LineWatcher() = default;

void LineWatcher::Stop() {
    // The notifiers may be in the middle of their own signal: they are deleted outside it.
    for (auto* notifier : {&read_, &error_}) {
        if (*notifier) {
            (*notifier)->setEnabled(false);
            retired_.push_back(std::move(*notifier));
        }
    }
    fd_ = -1;
}

void LineWatcher::Update() {
    if (activations_ == 0) {
        retired_.clear();
    }
    const int wanted = watchedFd ? watchedFd() : -1;
    if (wanted != fd_) {
        Stop();
        if (wanted >= 0) {
            fd_ = wanted;
            read_ = std::make_unique<QSocketNotifier>(wanted, QSocketNotifier::Read);
            error_ = std::make_unique<QSocketNotifier>(wanted, QSocketNotifier::Exception);
            QObject::connect(read_.get(), &QSocketNotifier::activated, [this] { Activated(); });
            QObject::connect(error_.get(), &QSocketNotifier::activated, [this] { Activated(); });
        }
    }
    if (read_) {
        // While a handler runs (a message box of the handler has its own loop) the bytes wait in
        // the driver; watching them would only spin.
        const bool enabled = !(busy && busy());
        read_->setEnabled(enabled);
        error_->setEnabled(enabled);
    }
}

void LineWatcher::Activated() {
    const int fd = fd_;
    if (busy && busy()) {
        Update();
        return;
    }
    ++activations_;
    if (DescriptorHungUp(fd)) {
        if (onHangUp) {
            onHangUp();
        }
    } else if (onReadable) {
        onReadable();
    }
    if (afterEvent) {
        afterEvent();
    }
    --activations_;
    Update();
}

}  // namespace fotolyx::host
