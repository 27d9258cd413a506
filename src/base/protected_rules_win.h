#pragma once

#include <windows.h>

// Windows: whether an owner and access rules keep a folder for SYSTEM and Administrators alone
// (base/protected_folder_win.h). True when the owner is SYSTEM or Administrators and no entry
// lets anyone else write, add files or folders, delete, or change attributes, rules or owner;
// entries passed on only to what is made inside count as well. Entries of kinds not read here
// (conditional, object, callback) and a missing rule list (which lets everyone in) are refused.
bool RulesAreProtected(PSECURITY_DESCRIPTOR descriptor);
