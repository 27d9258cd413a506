#pragma once

#include <cstdint>

#include "base/page_results.h"

// The one classification of what went wrong with a request, over the WinHTTP numbers both HTTP
// backends report (net/http_session.h) and the HTTP statuses servers answer. The route, the
// direct transfer's retries and the Linux job's transient errors all decide by these.

// The connection could not be made: WinHTTP's 12007, 12029 and 12002, and the socket errors
// some WinHTTP implementations pass through in their place. Another route may get through.
inline bool IsConnectionNotMade(uint32_t error) {
  switch (error) {
    case page_result::kHttpTimeout:
    case page_result::kHttpNameNotResolved:
    case page_result::kHttpCannotConnect:
    case 10060:  // WSAETIMEDOUT
    case 10061:  // WSAECONNREFUSED
    case 11001:  // WSAHOST_NOT_FOUND
      return true;
    default:
      return false;
  }
}

// Failures worth another request: the network, not the answer, let the request down.
inline bool IsRetryableNetworkError(uint32_t error) {
  switch (error) {
    case page_result::kHttpTimeout:
    case page_result::kHttpNameNotResolved:
    case page_result::kHttpCannotConnect:
    case page_result::kHttpConnectionError:
    case page_result::kHttpResendRequest:
    case page_result::kHttpClientCertNeeded:
    case page_result::kHttpSecureFailure:
      return true;
    default:
      return false;
  }
}

// Failures of the connection rather than of the answer: once body bytes have come, any of them
// means the body was cut short (kHttpConnectionError).
inline bool IsConnectionFailure(uint32_t error) {
  return error == page_result::kHttpTimeout || error == page_result::kHttpCannotConnect ||
         error == page_result::kHttpConnectionError || error == page_result::kHttpResendRequest;
}

// Statuses of a server that is busy or failing for now: asking again later may succeed.
inline bool IsTransientHttpStatus(uint32_t status) {
  return status == 408 || status == 429 || status == 500 || status == 502 || status == 503 ||
         status == 504;
}
