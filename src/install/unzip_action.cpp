#include <filesystem>
#include <memory>
#include <string>
#include <utility>

#include "base/hex_string.h"
#include "base/page_results.h"
#include "base/utf8_path.h"
#include "base/working_folder.h"
#include "bridge/action_context.h"
#include "bridge/page_responder.h"
#include "install/archive_ownership.h"
#include "install/install_actions.h"
#include "install/zip_engine.h"
#include "log/logger.h"
#include "trust/archive_signature.h"
#include "trust/built_in_trust.h"
#include "trust/verified_archive.h"

void DoUnZip(ActionContext& context, const nlohmann::json& message) {
  // A missing or non-object "download" throws here, before anything changes.
  const std::string des = message.at("download").value("des", std::string());
  const std::string callbackId = message.value("callbackId", std::string());
  // Only an archive this run downloaded is removed afterwards; any other file the page names
  // is extracted and left where it is.
  const bool ownArchive = IsInsideWorkingFolder(des, context.WorkingFolders());

  // With a key built in, only the archive that this run's latest download verified is opened:
  // anything else could be a file the vendor never signed. Refused before any folder is made
  // or any running extraction is disturbed. Its bytes are checked again as they are extracted,
  // so that a file changed since it verified is not taken for it.
  std::unique_ptr<BytesCheck> check;
  if (!BuiltInArchiveKey().empty()) {
    const std::shared_ptr<const VerifiedArchive>& verified = context.LatestVerifiedArchive();
    if (verified && verified->Is(des)) check = verified->SameBytesCheck();
    if (!check) {
      CallbackPayload answer;
      answer.cbid = callbackId;
      answer.result = page_result::kNoSignature;
      answer.message = "The archive was not verified by this download and is not extracted: " + des;
      Logger::Log(
          LogLevel::Error, "unzip",
          answer.message + ", hr=" + ToHexString(static_cast<uint32_t>(trust_code::kNoSignature)));
      context.Responder()->Complete(answer);
      return;
    }
  }

  // Straight to UTF-8: a narrow path string would be read back in another code page on Windows.
  // The clean-up keeps the folder in generic form; the page is told it in the platform's own.
  const std::filesystem::path folder = NewWorkingFolderPath();
  const std::string destination = NativePathToUtf8(folder);
  context.WorkingFolders().push_back(GenericPathToUtf8(folder));

  std::shared_ptr<PageWorker>& current = context.ZipWorker();
  if (current) {
    // The old worker keeps its own reference and winds down on its own.
    current->cancelRequested.exchange(true);
    current.reset();
  }
  auto engine = std::make_shared<ZipEngine>();
  engine->AnswerThrough(context.Responder());
  engine->removeArchiveWhenDone = ownArchive;
  engine->archiveCheck = std::move(check);
  if (engine->archiveCheck) context.VerifiedExtractions().push_back(engine);
  current = engine;

  Logger::Log(LogLevel::Info, "unzip", "Unzip requested file=" + des);
  if (!ownArchive) {
    Logger::Log(LogLevel::Info, "unzip",
                "The archive is not in a working folder of this run and is kept: " + des);
  }
  engine->Start(des, destination, callbackId);
}
