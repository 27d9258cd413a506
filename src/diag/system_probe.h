#pragma once

#include <optional>
#include <string>

#include "diag/processor_info.h"
#include "diag/system_info.h"

// What the platform reports about the machine, one backend per platform. Each call reads
// afresh and never throws; what cannot be read comes back empty.

// The platform's machine GUID text, normalised (NormalizeMachineGuid); empty when unreadable.
std::string ReadMachineGuid();

// The processor in the Windows encoding of ProcessorInfo.
ProcessorInfo ReadProcessorInfo();

// Size and free space of the volume the operating system lives on; nullopt when it cannot be
// queried.
std::optional<DriveSpace> ReadSystemDriveSpace();
