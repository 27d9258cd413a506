#include "support/fault_http_server.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "base/working_folder.h"

extern char** environ;

std::filesystem::path FaultHttpServer::ScriptPath() {
  if (const char* dir = std::getenv("VLM_TEST_SOURCE_DIR"); dir != nullptr && *dir != '\0') {
    return std::filesystem::path(dir) / "tests" / "support" / "fault_http_server.py";
  }
  return std::filesystem::path(VLM_SOURCE_DIR) / "tests" / "support" / "fault_http_server.py";
}

FaultHttpServer::FaultHttpServer(std::vector<std::string> options) {
  log_ = std::filesystem::temp_directory_path() /
         ("fault-http-" + std::to_string(getpid()) + "-" + NewGuidFolderName() + ".log");
  std::vector<std::string> args = {"python3", ScriptPath().string(), "--log", log_.string()};
  args.insert(args.end(), options.begin(), options.end());
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  const int spawned = posix_spawnp(&pid_, "python3", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  if (spawned != 0) {
    close(pipeFds[0]);
    throw std::runtime_error("cannot start the test server");
  }
  std::string line;
  char c = 0;
  while (read(pipeFds[0], &c, 1) == 1 && c != '\n') line.push_back(c);
  close(pipeFds[0]);
  port_ = std::atoi(line.c_str());
  if (port_ <= 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    throw std::runtime_error("the test server did not report its port");
  }
}

FaultHttpServer::~FaultHttpServer() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  std::error_code ignored;
  std::filesystem::remove(log_, ignored);
}

std::string FaultHttpServer::Url(const std::string& target) const {
  return "http://127.0.0.1:" + std::to_string(port_) + target;
}

std::vector<nlohmann::json> FaultHttpServer::Requests() const {
  std::vector<nlohmann::json> requests;
  std::ifstream in(log_);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) requests.push_back(nlohmann::json::parse(line));
  }
  return requests;
}
