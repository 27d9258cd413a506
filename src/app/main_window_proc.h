#pragma once

#include <cstdint>

class NativeWindow;

// The script that asks the page whether the window may close. The page receives the literal
// text {} as its argument.
inline constexpr char kRequestCloseScript[] = "window.requestClose && window.requestClose('{}');";

// The rules of the main window's own messages, shared by every platform backend:
//  - WM_CLOSE asks the page (requestClose script) once the page can answer; while no page can
//    (no web view yet, or its renderer died) it destroys the window directly.
//  - WM_RUN_SCRIPT runs and frees its script (dropped before the web view exists).
//  - WM_CLOSE_REQUEST becomes a WM_CLOSE; WM_DESTROY_NOW destroys; WM_DESTROY quits the loop.
// Returns true when the message was handled; false leaves it to the platform's default.
bool MainWindowProc(NativeWindow& window, uint32_t message, uintptr_t wParam, intptr_t lParam);
