// What the program prints must reach its destination: a full disk or a closed pipe behind
// standard output or standard error is a failure, never a silent success.
#pragma once

namespace cli {

// Flushes standard output; false, with the reason on standard error where it can still go, once
// something printed there did not arrive.
bool OutputReached();
// The exit code once everything is printed: code, or kExitFile for a success whose standard
// output or standard error failed.
int FinishOutput(int code);

}  // namespace cli
