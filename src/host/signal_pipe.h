#pragma once

#include <csignal>

namespace fotolyx::host {

// Turns the signals that ask a program to end (SIGTERM from a log-out or kill, SIGINT from
// Ctrl-C, SIGHUP from a closed terminal) into a byte on a pipe, so that the host's event loop
// sees them among its other events and ends the program in order instead of the system
// killing it half way. Plain POSIX, for the window program and the command-line one alike.
//
// The handler can reach nothing but static storage, so the pipe's write end sits in one
// variable of this file; hence one SignalPipe per process. Destroying it puts the previous
// handlers back.
class SignalPipe {
  public:
    SignalPipe();
    ~SignalPipe();
    SignalPipe(const SignalPipe&) = delete;
    SignalPipe& operator=(const SignalPipe&) = delete;

    // False when the pipe or a handler could not be set up (the signals then keep their
    // default action).
    bool Ready() const { return readFd_ >= 0; }
    // The descriptor to watch for reading.
    int ReadFd() const { return readFd_; }
    // Empties the pipe; returns the first signal ever received (0 while none).
    int Take();
    int Received() const { return received_; }
    // The exit status a program ended by the signal reports, as a shell would: 128 + number.
    int ExitStatus() const { return 128 + received_; }

  private:
    int readFd_ = -1;
    int received_ = 0;
    struct sigaction previous_[3]{};
};

}  // namespace fotolyx::host
