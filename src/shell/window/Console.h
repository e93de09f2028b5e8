// The console the text of --help and --version goes to. A Windows program of the window subsystem
// starts without one: it takes the console of the command prompt it was started from, in UTF-8,
// unless its output was redirected (a pipe, a file), which it then keeps. On Linux the terminal is
// there already.
#pragma once

void AttachToStartingConsole();
