#include "app/ui_scheme.h"

#include <array>
#include <optional>
#include <system_error>
#include <vector>

#include "app/page_policy.h"

namespace fs = std::filesystem;

namespace {

char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         EqualsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

// The authority of "scheme://authority/..." when the scheme matches; nullopt otherwise.
std::optional<std::string_view> AuthorityOf(std::string_view url, std::string_view scheme) {
  if (!StartsWithIgnoringAsciiCase(url, scheme)) return std::nullopt;
  std::string_view rest = url.substr(scheme.size());
  if (rest.substr(0, 3) != "://") return std::nullopt;
  rest.remove_prefix(3);
  return rest.substr(0, rest.find_first_of("/?#"));
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = HexValue(text[i + 1]);
    const int low = HexValue(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

// True when `inner` is `outer` or lies below it, compared component by component (so that
// "/a/UI2" is not taken to be inside "/a/UI").
bool IsWithin(const fs::path& inner, const fs::path& outer) {
  auto i = inner.begin();
  for (auto o = outer.begin(); o != outer.end(); ++o, ++i) {
    if (o->empty()) continue;  // a trailing separator of `outer`
    if (i == inner.end() || *i != *o) return false;
  }
  return true;
}

UiResource Refused(int status) {
  UiResource r;
  r.status = status;
  return r;
}

}  // namespace

std::string MapToUiScheme(std::string_view url, std::string_view host) {
  const std::optional<std::string_view> authority = AuthorityOf(url, "https");
  if (!authority || !EqualsIgnoringAsciiCase(*authority, host)) return std::string(url);
  return std::string(kUiScheme) + std::string(url.substr(5));
}

bool IsUiOrigin(std::string_view url, std::string_view host) {
  return IsDocumentOfOrigin(url, kUiScheme, host);
}

UiResource ResolveUiRequest(const fs::path& folder, std::string_view requestHost,
                            std::string_view expectedHost, std::string_view encodedPath) {
  if (!EqualsIgnoringAsciiCase(requestHost, expectedHost)) return Refused(403);
  if (encodedPath.empty() || encodedPath.front() != '/') return Refused(403);

  std::vector<std::string> segments;
  std::string_view rest = encodedPath.substr(1);
  for (;;) {
    const size_t slash = rest.find('/');
    const std::string_view raw = rest.substr(0, slash);
    if (slash == std::string_view::npos && raw.empty()) {
      segments.emplace_back("index.html");  // "/" or a path ending in "/"
      break;
    }
    if (raw.empty()) return Refused(403);
    std::optional<std::string> decoded = PercentDecode(raw);
    if (!decoded) return Refused(400);
    if (*decoded == "." || *decoded == ".." ||
        decoded->find_first_of(std::string_view("/\\\0", 3)) != std::string::npos) {
      return Refused(403);
    }
    segments.push_back(std::move(*decoded));
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
  }

  std::error_code ec;
  const fs::path root = fs::canonical(folder, ec);
  if (ec) return Refused(404);
  fs::path candidate = root;
  for (const std::string& segment : segments) candidate /= segment;
  const fs::path real = fs::canonical(candidate, ec);
  if (ec) return Refused(404);
  if (!IsWithin(real, root)) return Refused(403);
  if (!fs::is_regular_file(real, ec)) return Refused(404);

  UiResource found;
  found.status = 200;
  found.file = real;
  found.mimeType = MimeTypeForFile(real);
  return found;
}

std::string MimeTypeForFile(const fs::path& file) {
  struct Entry {
    std::string_view extension;
    std::string_view type;
  };
  static constexpr std::array<Entry, 27> kTypes = {{
      {".html", "text/html; charset=utf-8"},
      {".htm", "text/html; charset=utf-8"},
      {".css", "text/css; charset=utf-8"},
      {".js", "text/javascript; charset=utf-8"},
      {".mjs", "text/javascript; charset=utf-8"},
      {".json", "application/json; charset=utf-8"},
      {".map", "application/json; charset=utf-8"},
      {".txt", "text/plain; charset=utf-8"},
      {".xml", "application/xml; charset=utf-8"},
      {".svg", "image/svg+xml; charset=utf-8"},
      {".png", "image/png"},
      {".jpg", "image/jpeg"},
      {".jpeg", "image/jpeg"},
      {".gif", "image/gif"},
      {".webp", "image/webp"},
      {".avif", "image/avif"},
      {".ico", "image/x-icon"},
      {".bmp", "image/bmp"},
      {".woff", "font/woff"},
      {".woff2", "font/woff2"},
      {".ttf", "font/ttf"},
      {".otf", "font/otf"},
      {".wasm", "application/wasm"},
      {".mp4", "video/mp4"},
      {".webm", "video/webm"},
      {".mp3", "audio/mpeg"},
      {".wav", "audio/wav"},
  }};
  const std::string extension = file.extension().string();
  for (const Entry& entry : kTypes) {
    if (EqualsIgnoringAsciiCase(extension, entry.extension)) return std::string(entry.type);
  }
  return "application/octet-stream";
}
