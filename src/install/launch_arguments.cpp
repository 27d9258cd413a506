#include "install/launch_arguments.h"

#include "base/ascii.h"

std::optional<std::vector<std::string>> LaunchArguments(const nlohmann::json& message,
                                                        std::string& why) {
  const auto member = message.find("arguments");
  if (member == message.end()) return std::vector<std::string>();
  if (!member->is_array()) {
    why = "arguments is not a list";
    return std::nullopt;
  }
  if (member->size() > kMaxLaunchArguments) {
    why = "more than " + std::to_string(kMaxLaunchArguments) + " arguments";
    return std::nullopt;
  }
  std::vector<std::string> arguments;
  size_t total = 0;
  for (const nlohmann::json& word : *member) {
    if (!word.is_string()) {
      why = "an argument is not a string";
      return std::nullopt;
    }
    const std::string& text = word.get_ref<const std::string&>();
    if (text.find('\0') != std::string::npos) {
      why = "an argument holds a NUL character";
      return std::nullopt;
    }
    total += text.size();
    if (text.size() > kMaxLaunchArgumentBytes || total > kMaxLaunchArgumentsBytes) {
      why = "the arguments are too long";
      return std::nullopt;
    }
    arguments.push_back(text);
  }
  return arguments;
}

bool IsInstallerPackage(const std::filesystem::path& path) {
  const std::u8string extension = path.extension().u8string();
  return EqualsIgnoringAsciiCase(std::string(extension.begin(), extension.end()), ".msi");
}
