#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/page_results.h"
#include "net/http_session.h"

// The steps of one HTTP request over WinHTTP, under the WinHTTP backend of net/http_session.h
// (whose OpenHttpSession is defined with them). Every step returns 0 or the WinHTTP (Win32)
// error number of its failure.
//
// WinHTTP runs in asynchronous mode underneath, and each step waits for its completion while
// watching a cancel flag: a cancel ends any wait within about 10 ms with page_result::kCancelled,
// even while the server sends nothing. The request is then abandoned: its handle is closed, and
// what WinHTTP may still deliver for it (the read buffer included) stays alive until WinHTTP
// reports the handle closed. Wine does not cut a pending read short on close, so there the
// abandoned read ends only with the connection; the caller is free at once either way.
//
// Sessions connect directly (until given a proxy: HttpConnection::UseProxy) and refuse
// redirects from https to http (WinHTTP's default, set explicitly); other redirects between
// http and https URLs are followed unless the request is opened without them.

// The parts of an http or https URL that a request needs. The path keeps the query as written
// (a signed URL depends on it) and drops any fragment.
struct HttpUrl {
  std::u16string host;
  uint16_t port = 0;
  std::u16string pathAndQuery;
  bool secure = false;
};

// 12005 for a URL WinHTTP cannot read (or one holding a NUL), 12006 for a scheme other than
// http and https.
uint32_t CrackHttpUrl(const std::u16string& url, HttpUrl& parts);

// A session and its connection to the URL's server; closed (connection first) on destruction.
class HttpConnection {
 public:
  HttpConnection() = default;
  ~HttpConnection();
  HttpConnection(const HttpConnection&) = delete;
  HttpConnection& operator=(const HttpConnection&) = delete;

  uint32_t Open(const std::u16string& agent, const HttpUrl& url);
  // Requests opened from now on go through `proxy` (a WinHTTP proxy list), except to the hosts
  // of `bypass`: the session and its connection are opened again, with the proxy (a request
  // still open keeps the old ones until it is closed).
  uint32_t UseProxy(const std::u16string& proxy, const std::u16string& bypass);

  void* connection() const { return connection_; }

 private:
  uint32_t Connect(const wchar_t* proxy, const wchar_t* bypass);

  void* session_ = nullptr;
  void* connection_ = nullptr;
  std::u16string agent_;
  std::u16string host_;
  uint16_t port_ = 0;
};

// What WinHTTP's callbacks report for one request; defined with the callbacks.
struct HttpGetContext;

class HttpGet {
 public:
  // `cancel` is read during every wait; it must outlive the object.
  explicit HttpGet(const std::atomic<bool>& cancel);
  ~HttpGet();  // abandons the request if it is still open
  HttpGet(const HttpGet&) = delete;
  HttpGet& operator=(const HttpGet&) = delete;

  // Opens a `verb` request for the URL's path on `connection` with the time-outs (resolve and
  // connect `connectMs` each, send and receive `idleMs`), redirects followed or not, and
  // `headers` (lines ended by CR LF) replacing or adding to the request's own.
  uint32_t Open(const HttpConnection& connection, const HttpUrl& url, const wchar_t* verb,
                const std::u16string& headers, int connectMs, int idleMs, bool followRedirects);
  // Sends the request with `body` (kept by the request until WinHTTP is done with it).
  uint32_t Send(const std::string& body = std::string());
  uint32_t ReceiveResponse();
  uint32_t StatusCode(uint32_t& status) const;
  // The Content-Length header as a number; nullopt when it is absent or not a number.
  std::optional<uint64_t> ContentLength() const;
  // A response header's text (a WINHTTP_QUERY_* number); nullopt when it is absent.
  std::optional<std::string> HeaderText(uint32_t query) const;
  // Bytes ready to read; 0 at the end of the body.
  uint32_t QueryDataAvailable(uint32_t& available);
  // Reads up to min(`wanted`, kFileWriteBlockBytes) bytes into data().
  uint32_t Read(uint32_t wanted, uint32_t& got);
  const char* data() const;

 private:
  // Waits for the completion of the step just started; page_result::kCancelled abandons the
  // request.
  uint32_t Await();
  void Close();

  const std::atomic<bool>& cancel_;
  std::shared_ptr<HttpGetContext> context_;
  uintptr_t contextValue_ = 0;  // what WinHTTP hands back to the callbacks
  void* request_ = nullptr;
};
