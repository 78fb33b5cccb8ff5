#pragma once

// The unattended download's side of the port hand-over: a window of the
// program left open after a download keeps the serial port, and a timer's
// run that finds the port busy asks that window, over the user's session
// bus, to let go of it.

// Asks the window of this user's session to close the port; waits at most
// limitMs for its answer. True when the window answered that the port is
// free now (the caller then opens it once more). False at once without a
// session bus, and false when no window owns the name, the window refuses
// (it is polling or receiving) or does not answer in time. Never starts a
// bus or a window. Needs a QCoreApplication.
bool PoprosOknoOPort(int limitMs = 2000);
