#include "support/fake_web_view.h"

void FakeWebView::MapFolderToHost(const std::string& hostName,
                                  const std::filesystem::path& folder) {
  mappedHost = hostName;
  mappedFolder = folder;
}

void FakeWebView::SetMessageHandler(MessageHandler newHandler) {
  handler = std::move(newHandler);
  calls.push_back("handler");
}

void FakeWebView::Navigate(const std::string& url) {
  calls.push_back("navigate:" + url);
}

bool FakeWebView::PostFromPage(const std::string& json) {
  if (!handler) return false;
  handler(json);
  return true;
}
