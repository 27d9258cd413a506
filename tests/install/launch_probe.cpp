// A stand-in for a product's setup, started by the launcher tests. What it does comes from its
// own file name, not from its arguments (which are what it reports): "exit-N.exe" (or "exit-N")
// exits with N, which may be a full 32-bit Windows status; any other name exits with 0.
//
// First it writes "seen.txt" into its working folder: the number of arguments after its own
// path, its own path as the C runtime gave it, and its working folder in UTF-8, joined by '|';
// then "arguments.txt": each argument after its own path as the C runtime split them, each
// followed by a NUL character (which no argument can hold).

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
  const std::string self = argc > 0 ? argv[0] : "";
  const std::u8string folder = std::filesystem::current_path().u8string();
  std::ofstream seen("seen.txt", std::ios::binary);
  seen << (argc - 1) << '|' << self << '|' << std::string(folder.begin(), folder.end());
  seen.close();
  std::ofstream arguments("arguments.txt", std::ios::binary);
  for (int i = 1; i < argc; ++i) arguments << argv[i] << '\0';
  arguments.close();

  std::string name = self.substr(self.find_last_of("/\\") + 1);
  name = name.substr(0, name.find('.'));
  const std::string prefix = "exit-";
  if (name.rfind(prefix, 0) != 0) return 0;
  return static_cast<int>(std::strtoul(name.c_str() + prefix.size(), nullptr, 10));
}
