#pragma once

#include <string_view>

// Which of the page's new-window requests leave the program for the user's default browser.
//
// The page itself never leaves the UI origin, yet an installer page needs links to its licence
// terms, privacy notice and help. A link the user follows with a new-window target
// (target="_blank", window.open from a click handler) therefore opens in the default browser,
// never inside the program. Every web view backend asks this one function, so the rule is the
// same on every platform; the backend refuses (and logs) whatever it answers false for.
//
// True only when the user asked (`userInitiated`: a click or key press, not a script on its
// own) and `url` is an absolute http or https URL (scheme in any case) of a named host, in the
// form a web view hands over: printable ASCII without quotes, angle brackets, backslashes or
// backticks. Refused besides: any other scheme (file:, javascript:, data:, the UI's own
// scheme, ...), user information before the host (it disguises the real host), a port that is
// not 1 to 5 digits, "localhost" or any name under it, which is this machine and, on Windows,
// the UI's own origin (a relative link with a new-window target resolves to it), and an address
// of this machine or the local network in any spelling (app/local_address.h): a page must not
// send the user's browser to the router or a service only this machine can reach.
bool MayOpenInBrowser(std::string_view url, bool userInitiated);
