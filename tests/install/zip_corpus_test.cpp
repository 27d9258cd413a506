// Archives as the tools a vendor uses write them (tests/install/zip_corpus.py makes them when
// the tests are built): each is extracted byte for byte as bsdtar extracts it (or as packed,
// where bsdtar reads it wrong), or refused with the page's code and the cause in the log.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "base/utf8_path.h"
#include "install/unzip_test_support.h"
#include "install/zip_builder.h"
#include "install/zip_engine_fixture.h"

namespace fs = std::filesystem;

namespace {

// Every file and folder under `root` by relative UTF-8 path: a file's content, "/" for a folder.
std::map<std::string, std::string> Tree(const fs::path& root) {
  std::map<std::string, std::string> tree;
  for (const fs::directory_entry& e : fs::recursive_directory_iterator(root)) {
    const std::string name = GenericPathToUtf8(e.path().lexically_relative(root));
    tree[name] = e.is_directory() ? "/" : ReadFileBytes(e.path());
  }
  return tree;
}

TEST_F(ZipEngineTest, CorpusOfOtherToolsExtractsAsBsdtarDoes) {
  const fs::path corpus = PathFromUtf8(VLM_ZIP_CORPUS);
  std::ifstream manifest(corpus / "corpus.tsv");
  ASSERT_TRUE(manifest) << "no corpus at " << VLM_ZIP_CORPUS;
  std::string line;
  int archives = 0;
  while (std::getline(manifest, line)) {
    std::istringstream fields(line);
    std::string name;
    std::string expected;
    std::getline(fields, name, '\t');
    std::getline(fields, expected, '\t');
    std::string cause;
    std::getline(fields, cause);
    SCOPED_TRACE(name);
    ++archives;

    g_completions.clear();
    engine = std::make_shared<ZipEngine>();
    engine->onProgress = &RecordProgress;
    engine->onComplete = &RecordCompletion;
    const fs::path copy = temp.path() / (name + ".zip");  // the engine deletes its archive
    const fs::path folder = temp.path() / name;
    fs::copy_file(corpus / (name + ".zip"), copy);
    CapturedLog log;
    Run(copy, folder);
    const uint32_t result = Completion().result;
    std::cout << "corpus: " << name << " -> " << result << "\n";
    if (expected == "same") {
      EXPECT_EQ(result, 0u);
      EXPECT_TRUE(Tree(folder) == Tree(corpus / (name + ".expected")));
      continue;
    }
    EXPECT_EQ(std::to_string(result), expected);
    std::string logged;
    for (const std::string& message : log.Messages("Engine.Zip")) logged += message + "\n";
    EXPECT_NE(logged.find(cause), std::string::npos) << logged;
  }
  EXPECT_GE(archives, 20);
}

}  // namespace
