#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "base/working_folder.h"
#include "support/fault_http_server.h"

extern char** environ;

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
  pid_t pid = -1;
  const int spawned = posix_spawnp(&pid, "python3", &actions, nullptr, argv.data(), environ);
  handle_ = pid;
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
    kill(static_cast<pid_t>(handle_), SIGKILL);
    waitpid(static_cast<pid_t>(handle_), nullptr, 0);
    throw std::runtime_error("the test server did not report its port");
  }
}

FaultHttpServer::~FaultHttpServer() {
  if (handle_ > 0) {
    kill(static_cast<pid_t>(handle_), SIGKILL);
    waitpid(static_cast<pid_t>(handle_), nullptr, 0);
  }
  std::error_code ignored;
  std::filesystem::remove(log_, ignored);
}
