#pragma once

#include <string>
#include <string_view>

// What the page in the web view may do beyond showing itself: which documents it may navigate
// to, what happens to a new window it asks for, and whose messages drive the host. Every web
// view backend asks this one class and keeps only the mechanics of its own web view's API, so
// the rules are the same on every platform; docs/page-contract.md ("Serving") states them for
// page authors.
//
// The UI folder is served as <scheme>://<host>/: "app" on Linux (ui_scheme.h), "https" on
// Windows (the runtime's virtual host mapping). URLs are taken as the web view hands them over,
// already serialised by its URL parser.
class PagePolicy {
 public:
  // What becomes of a new-window request. The program never opens a window of its own.
  enum class NewWindow {
    kRefuse,         // nothing opens; the backend logs the URL
    kOpenInBrowser,  // the URL goes to the user's default browser, outside the program
  };

  // Before the UI folder is mapped: no document is of the UI origin.
  PagePolicy() = default;
  PagePolicy(std::string_view scheme, std::string_view host);

  // True when `url` is a document of the UI origin: the scheme and the host compared ignoring
  // ASCII case, then the end of the authority (no port, no user information, no longer host).
  // For http and https, whose serialised URLs always have a path, that end must be "/";
  // for other schemes (app) it may also be the end of the URL, "?" or "#".
  bool IsUiDocument(std::string_view url) const;

  // Whether the top-level document or any frame may navigate to `url`: documents of the UI
  // origin, "about:blank" and "about:srcdoc" (frames without a source or with inline content).
  // Everything else is refused, so no other site can drive the host. One rule for the page and
  // its frames: WebKitGTK's policy decision does not say which frame navigates, and nothing
  // that a frame may show could drive the host (messages need the UI origin, below).
  bool MayNavigate(std::string_view url) const;

  // A new window asked for `url` while the web view shows `shownPage` (its top-level URL):
  // opened in the browser only when the UI page asks and external_link.h allows it (an http or
  // https link the user followed, to no address of this machine or its network); else refused.
  NewWindow DecideNewWindow(std::string_view url, bool userInitiated,
                            std::string_view shownPage) const;

  // Whether a message posted by the document at `source` (the posting document's URL, or the
  // web view's top-level URL where the web view cannot tell who posted) is handed to the host.
  bool MayDeliverMessage(std::string_view source) const;

 private:
  std::string scheme_;
  std::string host_;  // empty: nothing is of the UI origin
};

// The window's name for the document at `url` whose web view reports `runtimeTitle`: that
// title, or empty when it is only the runtime's stand-in for a document without a <title> (its
// address, as given, without the scheme, without the slash after a bare host, or with escapes
// decoded), so that a page without a title leaves the window without a name, as it starts.
std::string WindowTitleFor(std::string_view runtimeTitle, std::string_view url);

// The same test as PagePolicy::IsUiDocument, for a UI origin given directly.
bool IsDocumentOfOrigin(std::string_view url, std::string_view scheme, std::string_view host);
