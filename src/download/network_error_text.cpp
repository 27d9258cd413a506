#include "download/network_error_text.h"

#include "base/hresult.h"
#include "base/page_results.h"

std::string DescribeNetworkError(uint32_t error) {
  switch (error) {
    case page_result::kHttpNameNotResolved:
      return "The server name could not be resolved.";
    case page_result::kHttpCannotConnect:
      return "A connection with the server could not be established.";
    case page_result::kHttpTimeout:
      return "The operation timed out.";
    case page_result::kHttpConnectionError:
      return "The connection with the server was reset or ended early.";
    case page_result::kHttpSecureFailure:
      return "A secure connection with the server could not be established.";
    default:
      return "The server returned an invalid or unrecognized response.";
  }
}
