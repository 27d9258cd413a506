// doGetFreeSpace: the room left where downloads and extractions go, so that the page can say
// before it starts whether the product fits.

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "base/free_space.h"
#include "base/page_results.h"
#include "base/utf8_path.h"
#include "base/working_folder.h"
#include "bridge/action_context.h"
#include "bridge/page_responder.h"
#include "diag/diag_actions.h"
#include "log/logger.h"

void DoGetFreeSpace(ActionContext& context, const nlohmann::json& message) {
  CallbackPayload answer;
  answer.cbid = message.value("callbackId", std::string());
  const std::filesystem::path root = TempDirectory();
  const std::optional<uint64_t> free = AvailableSpace(root);
  if (free) {
    answer.message = nlohmann::json{{"folder", NativePathToUtf8(root)}, {"free", *free}}.dump();
  } else {
    answer.result = page_result::kPathNotFound;
    answer.message = "The free space of " + NativePathToUtf8(root) + " cannot be read";
    Logger::Log(LogLevel::Warn, "engine", answer.message);
  }
  context.Responder()->Complete(answer);
}
