// The web view SDK's header includes "EventToken.h"; mingw-w64 ships the same declarations in
// lower case, which a case-sensitive build machine does not find.
#pragma once
#include <eventtoken.h>
