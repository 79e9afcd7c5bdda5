// A yes/no question for the user, asked by a dialog program running as a child process (no toolkit
// is started inside the host process).
#pragma once

namespace tarsk {

// Shows the question and waits for the answer; true only when the user answered yes. Without a
// display, or without a dialog program, the answer is no.
bool askYesNo(const char* title, const char* text);

}  // namespace tarsk
