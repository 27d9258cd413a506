#pragma once

#include <string>

// Opens `url` in the user's default browser, with the user's own rights.
//
// This program runs elevated, and a browser it started itself would inherit that: every page
// the user then visits would run with administrator rights. So the link is handed to the
// desktop's shell, which runs as the signed-in user, and that starts the browser. Only where
// no desktop shell answers (no shell running, or another one that does not offer its view)
// is the browser started directly, and the log says so. Call on a thread in a COM apartment.
void OpenInUsersBrowser(const std::wstring& url);
