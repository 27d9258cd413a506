#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class NativeWindow;

// The script that asks the page whether the window may close. The page receives the literal
// text {} as its argument.
inline constexpr char kRequestCloseScript[] = "window.requestClose && window.requestClose('{}');";

// The rules of the main window's own messages, shared by every platform backend:
//  - WM_CLOSE asks the page (requestClose script) once the page can answer; while no page can
//    (no web view yet, or its renderer died) it destroys the window directly.
//  - WM_RUN_SCRIPT runs and frees its script (dropped before the web view exists). Scripts queued
//    right behind it are taken too (NativeWindow::TakeQueued) and run in the same evaluation,
//    up to kScriptBatchBytes: each still once, in order, and an exception thrown by one stops
//    only that one. A fast worker's progress then costs the page one round trip per burst, not
//    one per callback.
//  - WM_CLOSE_REQUEST becomes a WM_CLOSE; WM_DESTROY_NOW destroys; WM_DESTROY quits the loop.
// Returns true when the message was handled; false leaves it to the platform's default.
bool MainWindowProc(NativeWindow& window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// Once a batch holds this many bytes of script, no more are taken into it; the rest go to the
// next evaluation.
inline constexpr size_t kScriptBatchBytes = 1 << 20;

// The one script that runs `scripts` in order, each on its own lines inside its own try block
// (an exception goes to the console, as an evaluation of its own would send it). One script is
// returned as it is.
std::string BatchScripts(const std::vector<std::string>& scripts);
