// doGetSysInfo: a fresh machine snapshot for the page, answered whatever the callback id.

#include "app/setup_web_view.h"
#include "bridge/page_callbacks.h"
#include "diag/system_info.h"
#include "log/logger.h"

void SetupWebView::DoGetSysInfo(const std::string& callbackId) {
  CallbackPayload answer;
  answer.cbid = callbackId;
  answer.message = SerializeSystemInfo(BuildSystemInfo(ProbeSystemFacts(m_uiFolder)));
  PostActionComplete(answer);
  Logger::Log(LogLevel::Debug, "engine",
              "SysInfo provided to UI (contains sensitive machine ID, IP address)");
}
