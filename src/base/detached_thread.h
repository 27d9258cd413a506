#pragma once

#include <functional>

// Starts `body` on a new thread that nobody joins: the workers of downloads, extractions and
// clean-ups, which own what they use and may outlive the request that started them.
//
// Promises: `body` runs exactly once when this returns; a thread that cannot start raises
// std::system_error, and then nothing runs. As with std::thread, an exception leaving `body`
// ends the process. On Windows the thread comes from the C runtime directly rather than from
// the POSIX-thread layer behind mingw-w64's std::thread, under which a worker detached at once
// was seen never to run.
void StartDetachedThread(std::function<void()> body);
