// One running copy of Vocaret per sign-in session.
#pragma once

// True when a copy already runs in this session: its main window has been
// brought to the foreground, and this process is to end without starting.
// Otherwise this process holds the session's claim until it ends.
bool handOverToRunningCopy();
