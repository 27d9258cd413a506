#pragma once

#include <cstdint>
#include <memory>
#include <string>

// Asks the operating system to restart the computer, for a setup whose result needs a restart
// (3010). The seam the restart action goes through, so that tests never restart the machine.
//
// Request blocks until the system has answered, which may include the user confirming in a
// system dialog: call it from a worker thread. It returns 0 once the system has accepted (the
// restart then follows and ends this program with the rest), else a Win32 error code, with the
// system's own words in `detail`:
//   Windows  ExitWindowsEx(EWX_REBOOT, planned application installation) after enabling the
//            shutdown privilege; the code of the call that failed (1314: no shutdown privilege)
//   Linux    logind's Manager.Reboot over the system bus, interactive, so the system may ask the
//            user to authorise; 50 when there is no bus or no logind, 5 when it was refused or
//            not authorised, 31 for any other D-Bus failure
class SystemRestart {
 public:
  virtual ~SystemRestart() = default;
  virtual uint32_t Request(std::string& detail) = 0;
};

// The platform's restart.
std::shared_ptr<SystemRestart> MakeSystemRestart();
