#pragma once

// Connects what the data store tells the user (opening messages, waits for
// locks, alerts) to the message procedures and the keyboard.
namespace kdx2::shell {

void installStoreFeedback();

}  // namespace kdx2::shell
