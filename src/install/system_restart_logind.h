#pragma once

#include <memory>
#include <string>

#include "install/system_restart.h"

// The Linux restart through logind on the bus at `busAddress` (a D-Bus address such as
// "unix:path=…"), or on the system bus when it is empty. Tests give the address of a private
// bus on which they play logind.
std::shared_ptr<SystemRestart> MakeLogindRestart(std::string busAddress);
