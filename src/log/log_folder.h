#pragma once

#include <filesystem>

// Where log files go unless VLM_LOG_DIR or the caller says otherwise: a folder of this user's
// alone. Linux: "Logs" in the private state folder (base/private_state_folder.h), created 0700;
// Windows: "Logs" in the protected root while elevated (base/protected_folder_win.h), else the
// user's temporary folder joined with "Velmorante" and "Logs". Empty when no safe folder
// exists; file logging is then off for the run.
std::filesystem::path DefaultLogFolder();
