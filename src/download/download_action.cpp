#include <algorithm>
#include <memory>

#include "base/utf8_path.h"
#include "base/utf_convert.h"
#include "base/working_folder.h"
#include "bridge/action_context.h"
#include "bridge/integer_member.h"
#include "download/download_actions.h"
#include "download/download_engine.h"
#include "download/kept_downloads.h"
#include "log/logger.h"
#include "trust/built_in_trust.h"

namespace {

// Beyond this, more connections only crowd the server and the link.
constexpr uint32_t kMaxConnections = 16;

// The figures the page may give to check the archive against. One that is present but
// malformed is refused with an answer: read with a cast it would throw past the engine (the
// page would wait forever) or, wrapped from a negative number, fail a good download as corrupt.
struct IntegrityFigures {
  std::optional<uint64_t> size;
  std::string sha256;
  std::string problem;  // the answer's message when a figure is malformed; empty otherwise
};

std::string PageText(const nlohmann::json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

bool IsSha256Hex(const nlohmann::json& value) {
  if (!value.is_string()) return false;
  const std::string& text = value.get_ref<const std::string&>();
  return text.size() == 64 && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
         });
}

IntegrityFigures ReadIntegrityFigures(const nlohmann::json& config) {
  IntegrityFigures figures;
  if (const auto size = config.find("size"); size != config.end()) {
    figures.size = IntegerValue<uint64_t>(*size);
    if (!figures.size) figures.problem = "Invalid size: " + PageText(*size);
  }
  if (const auto sha256 = config.find("sha256"); sha256 != config.end()) {
    if (IsSha256Hex(*sha256)) {
      figures.sha256 = sha256->get<std::string>();
    } else if (figures.problem.empty()) {
      figures.problem = "Invalid sha256: " + PageText(*sha256);
    }
  }
  return figures;
}

// The signature members (and the release members with them) count only when a key is built in:
// a build without one ignores them, as it always has. A `signature` that is not a string is kept as
// its JSON text, which is no DER signature in base64 and so fails as a bad signature. Empty or
// blank texts (a config.json whose field was left empty) and a `signature_url` that is not a string
// count as absent.
bool IsBlank(const std::string& text) {
  return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

// The release the page accepts (trust/release_manifest.h): a member that is present but not
// a product id or a version is refused with an answer rather than taken for "any".
std::string ReadReleaseMembers(const nlohmann::json& config, DownloadEngine& engine) {
  if (const auto product = config.find("product_id"); product != config.end()) {
    if (!product->is_string() || !IsProductId(product->get_ref<const std::string&>())) {
      return "Invalid product_id: " + PageText(*product);
    }
    engine.wantedRelease.product = product->get<std::string>();
  }
  if (const auto version = config.find("min_version"); version != config.end()) {
    if (!version->is_string() || !ParseVersion(version->get_ref<const std::string&>())) {
      return "Invalid min_version: " + PageText(*version);
    }
    engine.wantedRelease.minVersion = version->get<std::string>();
  }
  return {};
}

// Returns the answer's message for a malformed release member; empty otherwise.
std::string ReadSignatureMembers(const nlohmann::json& config, DownloadEngine& engine) {
  const std::span<const uint8_t> key = BuiltInArchiveKey();
  if (key.empty()) return {};
  engine.archiveKey.assign(key.begin(), key.end());
  if (const auto signature = config.find("signature"); signature != config.end()) {
    std::string text =
        signature->is_string() ? signature->get<std::string>() : PageText(*signature);
    if (!IsBlank(text)) engine.signature = std::move(text);
  }
  if (const auto signatureUrl = config.find("signature_url");
      signatureUrl != config.end() && signatureUrl->is_string() &&
      !IsBlank(signatureUrl->get_ref<const std::string&>())) {
    engine.signatureUrl = Utf8ToUtf16(signatureUrl->get<std::string>());
  }
  return ReadReleaseMembers(config, engine);
}

}  // namespace

void DoDownload(ActionContext& context, const nlohmann::json& message) {
  // Every read comes first: a malformed message raises its JSON type error to the dispatcher
  // before any state changes.
  static const nlohmann::json kAbsent;
  const auto found = message.find("fetchDownloadConfig");
  const nlohmann::json& config = found != message.end() ? *found : kAbsent;
  const std::string url = config.value("url", std::string());
  const std::string archiveName = config.value("archive_name", std::string());
  const std::string callbackId = message.value("callbackId", std::string());
  const IntegrityFigures figures = ReadIntegrityFigures(config);
  const auto resume = config.find("resume");
  const bool resumeMalformed = resume != config.end() && !resume->is_boolean();
  const auto connectionsMember = config.find("connections");
  uint32_t connections = 1;
  bool connectionsMalformed = false;
  if (connectionsMember != config.end()) {
    const std::optional<uint32_t> asked = TruncatedIntegerValue<uint32_t>(*connectionsMember);
    connectionsMalformed = !asked || *asked < 1 || *asked > kMaxConnections;
    if (!connectionsMalformed) connections = *asked;
  }

  const std::filesystem::path folder = NewWorkingFolderPath();
  context.WorkingFolders().push_back(folder.generic_string());
  // The name comes from the page; joined as it is, "../x" or "/x" would put the archive
  // outside the working folder.
  const bool plainName = IsPlainFileName(archiveName);
  const std::filesystem::path destPath =
      folder / PathFromUtf8(plainName ? archiveName : std::string());

  std::shared_ptr<PageWorker>& current = context.DownloadWorker();
  if (current) current->cancelRequested.exchange(true);
  auto engine = std::make_shared<DownloadEngine>();
  engine->AnswerThrough(context.Responder());
  engine->expectedSize = figures.size;
  engine->expectedSha256 = figures.sha256;
  engine->resume = resume == config.end() || resumeMalformed || resume->get<bool>();
  engine->connections = connections;
  engine->keptDownloadsFolder = KeptDownloadsFolder().value_or(std::filesystem::path());
  const std::string releaseProblem = ReadSignatureMembers(config, *engine);
  engine->rejectedBecause = !plainName                 ? "Invalid archive name: " + archiveName
                            : !figures.problem.empty() ? figures.problem
                            : resumeMalformed          ? "Invalid resume: " + PageText(*resume)
                            : connectionsMalformed
                                ? "Invalid connections: " + PageText(*connectionsMember)
                                : releaseProblem;
  current = engine;
  context.LatestVerifiedArchive() = engine->verifiedArchive;

  Logger::Log(LogLevel::Debug, "download",
              "Download requested url=" + url + ", file=" + archiveName);
  engine->StartDownload(Utf8ToUtf16(url), destPath, callbackId);
}
