// The Windows tests run under Wine and cannot start the Linux server script themselves: a broker
// on the Linux side (fault_server_broker.py, started by CTest) starts one server per connection
// and stops it when the connection closes.

#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "base/utf_convert.h"
#include "support/fault_http_server.h"

namespace {

// The Unix path of a Windows path, through Wine's own export (absent on Windows, where these
// tests do not run).
std::string UnixPathOf(const std::string& windowsPath) {
  using Converter = char* (*)(const wchar_t*);
  static const auto convert = reinterpret_cast<Converter>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (convert == nullptr) throw std::runtime_error("not running under Wine");
  const std::u16string wide = Utf8ToUtf16(windowsPath);
  char* unixPath = convert(reinterpret_cast<const wchar_t*>(wide.c_str()));
  if (unixPath == nullptr) return windowsPath;
  std::string result(unixPath);
  HeapFree(GetProcessHeap(), 0, unixPath);
  return result;
}

bool IsWindowsAbsolutePath(const std::string& text) {
  return text.size() > 2 && std::isalpha(static_cast<unsigned char>(text[0])) && text[1] == ':' &&
         (text[2] == '\\' || text[2] == '/');
}

int BrokerPort() {
  std::ifstream in(std::filesystem::path(VLM_FAULT_SERVER_BROKER_PORT_FILE));
  int port = 0;
  in >> port;
  if (port <= 0) {
    throw std::runtime_error("no test server broker: " VLM_FAULT_SERVER_BROKER_PORT_FILE
                             " (CTest starts it)");
  }
  return port;
}

}  // namespace

FaultHttpServer::FaultHttpServer(std::vector<std::string> options) {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  if (!started) throw std::runtime_error("WSAStartup failed");

  nlohmann::json request = {{"options", nlohmann::json::array()}};
  for (const std::string& option : options) {
    request["options"].push_back(IsWindowsAbsolutePath(option) ? UnixPathOf(option) : option);
  }
  const std::string line = request.dump() + "\n";

  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) throw std::runtime_error("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(BrokerPort()));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string reply;
  if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
      send(s, line.data(), static_cast<int>(line.size()), 0) == static_cast<int>(line.size())) {
    char c = 0;
    while (recv(s, &c, 1, 0) == 1 && c != '\n') reply.push_back(c);
  }
  const nlohmann::json answer = nlohmann::json::parse(reply, nullptr, false);
  if (!answer.is_object() || !answer.contains("port")) {
    closesocket(s);
    throw std::runtime_error("the test server broker did not start a server: " + reply);
  }
  handle_ = static_cast<intptr_t>(s);
  port_ = answer["port"].get<int>();
  // Wine shows the Unix root as drive Z:.
  log_ = std::filesystem::path(Utf8ToUtf16("Z:" + answer["log"].get<std::string>()));
}

FaultHttpServer::~FaultHttpServer() {
  // Closing the connection stops the server and removes its log.
  if (handle_ != -1) closesocket(static_cast<SOCKET>(handle_));
}
