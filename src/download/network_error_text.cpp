#include "download/network_error_text.h"

#include "base/hresult.h"

std::string DescribeNetworkError(uint32_t error) {
  switch (error) {
    case winhttp::kNameNotResolved:
      return "The server name could not be resolved.";
    case winhttp::kCannotConnect:
      return "A connection with the server could not be established.";
    case winhttp::kTimeout:
      return "The operation timed out.";
    case winhttp::kConnectionError:
      return "The connection with the server was reset or ended early.";
    case winhttp::kSecureFailure:
      return "A secure connection with the server could not be established.";
    default:
      return "The server returned an invalid or unrecognized response.";
  }
}
