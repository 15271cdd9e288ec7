// The progress window: the two installation steps, the marker beside the current one,
// and the copy progress bar. Every operation does nothing when there is no window.
#pragma once

#include <windows.h>

// Dispatches every message waiting in this thread's queue. The installer has no message
// loop of its own, so it calls this after each visible change of the progress window.
void PumpMessages();

enum class InstallStep { CheckVersion, UpdateFiles };

// Creates the window from its template, shows it at (100, 100) and makes the bold step
// font. Without the window (it cannot be created) the installation goes on unseen.
void CreateProgressWindow(HINSTANCE instance);

// Shows `step` in bold, the other one in the normal font, and moves the marker to it.
void ShowStep(InstallStep step);

// Progress range 0..totalKilobytes, position 0.
void SetProgressRange(DWORD totalKilobytes);

// Moves the bar to `kilobytes` and repaints it at once.
void SetProgressPosition(DWORD kilobytes);
