// What the instrument layer needs of the platform: the job thread's priority (NowLocal of
// DateTime.h, the local clock, is the other service, defined beside it).
#pragma once

// Raises the calling thread to the highest priority the system grants; a refusal is silent.
void RaiseJobThreadPriority();
