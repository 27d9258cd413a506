#pragma once

#include <windows.h>

#include <string>

// Opens `file` (a link, a document or a program) through the desktop's own shell, so that what
// starts runs as the signed-in user and not with this program's elevated rights: the desktop
// window's shell view is asked for its Shell.Application object, whose ShellExecute runs in the
// desktop's process. `folder`, when not empty, is the working folder of what starts.
//
// Returns the first failing HRESULT (ERROR_NOT_FOUND as an HRESULT when no desktop shell window
// answers, as without a shell running). Call on a thread in a COM apartment.
HRESULT ShellExecuteThroughDesktop(const std::wstring& file, const std::wstring& folder);
