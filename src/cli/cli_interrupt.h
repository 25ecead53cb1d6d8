#pragma once

#include <memory>

namespace varnel {
class BoxLink;
}

namespace varnel::cli {

// SIGINT or SIGTERM while a command talks to the box: the operation stops after the byte in
// flight, as the window's Abort button would stop it, and unwinds through its usual failure path
// (its message, no file written); the command then exits with 128 + the signal, as shells expect
// of an interrupted program. Before and after, the signals keep their default action, and a
// second one always has it, so a program that no longer listens can still be stopped.
class Interrupt {
  public:
    Interrupt(BoxLink& link, bool& abortFlag);
    ~Interrupt();
    Interrupt(const Interrupt&) = delete;
    Interrupt& operator=(const Interrupt&) = delete;

    // Gives the signals their default action again; returns the signal that came, 0 for none.
    int release();
    // code, or 128 + the signal when one came.
    int exitCode(int code) const;

  private:
    struct Watch;
    std::unique_ptr<Watch> watch_;
};

}  // namespace varnel::cli
