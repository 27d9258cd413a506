#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "install/process_posix.h"
#include "install/setup_signature.h"

struct HeldProgram::Native {
  int fd = -1;
  ~Native() {
    if (fd >= 0) close(fd);
  }
};

HeldProgram::HeldProgram(std::filesystem::path path, std::unique_ptr<Native> native)
    : path_(std::move(path)), native_(std::move(native)) {}

HeldProgram::~HeldProgram() = default;

std::unique_ptr<HeldProgram> HeldProgram::Open(const std::filesystem::path& program,
                                               uint32_t& error) {
  auto native = std::make_unique<Native>();
  native->fd = open(program.c_str(), O_RDONLY | O_CLOEXEC);
  if (native->fd < 0) {
    error = LaunchErrorFromErrno(errno);
    return nullptr;
  }
  return std::make_unique<HeldProgram>(program, std::move(native));
}

uint32_t CheckSetupSignature(const HeldProgram&, std::string_view, std::string& detail) {
  detail = "program signatures are checked on Windows only";
  return kProgramNotSigned;
}
