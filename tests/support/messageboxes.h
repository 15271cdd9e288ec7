// Finding and answering another process's dialogs and message boxes, as a user would:
// by caption, text and buttons, with a posted click.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testwin {

// The visible dialogs (message boxes among them) of `processId`'s top-level windows.
std::vector<HWND> Dialogs(DWORD processId);

// The text of a window, also of one in another process; empty when it does not answer.
std::string WindowText(HWND window);

// A message box's text: the one static control of the box that has any (the other holds
// the icon).
std::string BoxText(HWND box);

bool HasButton(HWND box, int id);

// Clicks `button` by posting its notification: a sent click would block while the
// click's own handler shows a box.
void Press(HWND box, int button);

}  // namespace testwin
