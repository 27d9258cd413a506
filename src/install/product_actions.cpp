// doFindProduct and doOpenProduct: where the setup put the product, and starting it from there
// once the installation has succeeded.

#include <optional>
#include <string>
#include <utility>

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

struct ConfiguredProduct {
  std::string folder;
  std::string program;
};

// productFolder and productProgram of the page's config.json, read as the page was signed.
std::optional<ConfiguredProduct> ReadConfiguredProduct(ActionContext& context, std::string& why) {
  const std::optional<std::string> text = context.ReadPageFile("config.json", why);
  if (!text) return std::nullopt;
  const nlohmann::json config = nlohmann::json::parse(*text, nullptr, false);
  const auto member = [&config](const char* name) {
    const auto found = config.is_object() ? config.find(name) : config.end();
    return found != config.end() && found->is_string() ? found->get<std::string>() : std::string();
  };
  ConfiguredProduct product{member("productFolder"), member("productProgram")};
  if (product.folder.empty() || product.program.empty()) {
    why = "config.json names no productFolder and productProgram";
    return std::nullopt;
  }
  return product;
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
  answer.cbid = message.value("callbackId", std::string());
  // Fields of the wrong type throw here, before anything is looked at.
  const std::string askedFolder = message.value("folder", std::string());
  const std::string askedProgram = message.value("program", std::string());
  const auto refuse = [&](uint32_t result, std::string text) {
    answer.result = result;
    answer.message = std::move(text);
    Logger::Log(LogLevel::Warn, kCategory, "Product not started: " + answer.message);
    context.Responder()->Complete(answer);
  };
  if (!context.Setups().succeeded) {
    return refuse(page_result::kNoSetupSucceeded, "No setup has succeeded in this run");
  }
  // Only what the vendor configured is started: a page (or whoever changed it) cannot name
  // another program through the message.
  std::string why;
  const std::optional<ConfiguredProduct> configured = ReadConfiguredProduct(context, why);
  if (!configured) return refuse(page_result::kNotTheConfiguredProduct, why);
  if ((!askedFolder.empty() && askedFolder != configured->folder) ||
      (!askedProgram.empty() && askedProgram != configured->program)) {
    return refuse(page_result::kNotTheConfiguredProduct,
                  "The page asked for " + askedFolder + " " + askedProgram +
                      ", which is not the product config.json names");
  }
  const ProductLocation location = LocateProduct(configured->folder, configured->program);
  if (location.result != 0) return refuse(location.result, location.message);
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
  context.Responder()->Complete(answer);
}
