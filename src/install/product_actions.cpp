// doFindProduct and doOpenProduct: where the setup put the product, and starting it from there
// once the installation has succeeded.

#include <string>

#include <nlohmann/json.hpp>

#include "base/page_results.h"
#include "base/utf8_path.h"
#include "bridge/action_context.h"
#include "bridge/page_responder.h"
#include "install/install_actions.h"
#include "install/product_location.h"
#include "install/product_start.h"
#include "log/logger.h"

namespace {

constexpr char kCategory[] = "Engine.AppLauncher";

// Fields of the wrong type throw here, before anything is looked at.
ProductLocation LocateFromMessage(const nlohmann::json& message, CallbackPayload& answer) {
  answer.cbid = message.value("callbackId", std::string());
  const std::string folder = message.value("folder", std::string());
  const std::string program = message.value("program", std::string());
  ProductLocation location = LocateProduct(folder, program);
  if (location.result != 0) {
    Logger::Log(LogLevel::Warn, kCategory, location.message);
    answer.result = location.result;
    answer.message = location.message;
  }
  return location;
}

std::string Found(const ProductLocation& location) {
  return nlohmann::json{{"folder", NativePathToUtf8(location.folder)},
                        {"program", NativePathToUtf8(location.program)}}
      .dump();
}

}  // namespace

void DoFindProduct(ActionContext& context, const nlohmann::json& message) {
  CallbackPayload answer;
  const ProductLocation location = LocateFromMessage(message, answer);
  if (location.result == 0) answer.message = Found(location);
  context.Responder()->Complete(answer);
}

void DoOpenProduct(ActionContext& context, const nlohmann::json& message) {
  CallbackPayload answer;
  const ProductLocation location = LocateFromMessage(message, answer);
  if (location.result == 0 && location.program.empty()) {
    answer.result = page_result::kFileNotFound;
    answer.message = "No product program was named";
    Logger::Log(LogLevel::Warn, kCategory, answer.message);
  } else if (location.result == 0) {
    const std::string shown = NativePathToUtf8(location.program);
    std::string detail;
    answer.result = StartProduct(location.program, detail);
    if (answer.result == 0) {
      Logger::Log(LogLevel::Info, kCategory, "Product started: " + shown);
      answer.message = Found(location);
    } else {
      answer.message = "The product " + shown + " could not be started: " + detail;
      Logger::Log(LogLevel::Error, kCategory, answer.message);
    }
  }
  context.Responder()->Complete(answer);
}
