// Started by the launcher tests to show whether the host's handles reach the setup. It reads a
// handle value from "handle.txt" in its working folder and tries to write "leaked" through it:
// the bytes reach the test's pipe only if that handle was inherited. Always exits with 0.

#include <windows.h>

#include <cstdint>
#include <fstream>

int main() {
  std::ifstream in("handle.txt");
  uintptr_t value = 0;
  if (!(in >> value)) return 0;
  DWORD written = 0;
  WriteFile(reinterpret_cast<HANDLE>(value), "leaked", 6, &written, nullptr);
  return 0;
}
