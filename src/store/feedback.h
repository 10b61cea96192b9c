#pragma once

#include <string>

namespace kdx2::store {

// What the data store tells the user while it works, and the Esc key it
// listens to while waiting for a lock. The store never draws: the shell
// connects this to the console; the default is silent and never sees Esc.
// All texts are CP850.
class Feedback {
  public:
    virtual ~Feedback() = default;
    // One-line message window ("Verificando o Arquivo ...", creation messages).
    virtual void showMessage(const std::string& text);
    virtual void closeMessage();
    // The status line; an empty text clears it.
    virtual void status(const std::string& text);
    // A message box with the stop icon, waiting for the user.
    virtual void alert(const std::string& text);
    // True when the user pressed Esc since the last call (the key is consumed).
    virtual bool escPressed();
    // Waits `milliseconds`; a key pressed meanwhile may end the wait early.
    virtual void wait(int milliseconds);
};

// The feedback in use (the silent default until the shell installs one).
Feedback& feedback();
// Installs `sink` (not owned); nullptr restores the silent default.
void setFeedback(Feedback* sink);

}  // namespace kdx2::store
