#pragma once

#include <functional>

// Starts `body` on a new thread that nobody joins: the workers of downloads, extractions and
// clean-ups, which own what they use and may outlive the request that started them.
//
// Promises: `body` runs exactly once when this returns; a thread that cannot start raises
// std::system_error, and then nothing runs. As with std::thread, an exception leaving `body`
// ends the process. On Windows the thread comes from the C runtime directly: a std::thread
// detached at once is sometimes never scheduled by the mingw-w64 thread library.
void StartDetachedThread(std::function<void()> body);
