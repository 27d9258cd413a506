#include "download/web_page_answer.h"

#include <array>
#include <fstream>

#include "base/ascii.h"

namespace {

constexpr size_t kBytesLookedAt = 512;

bool IsWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         EqualsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace

bool IsHtmlContentType(std::string_view contentType) {
  std::string_view media = contentType.substr(0, contentType.find(';'));
  while (!media.empty() && IsWhiteSpace(media.front())) media.remove_prefix(1);
  while (!media.empty() && IsWhiteSpace(media.back())) media.remove_suffix(1);
  return EqualsIgnoringAsciiCase(media, "text/html");
}

bool BeginsAsHtml(std::string_view firstBytes) {
  std::string_view text = firstBytes.substr(0, kBytesLookedAt);
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  while (!text.empty() && IsWhiteSpace(text.front())) text.remove_prefix(1);
  for (const std::string_view start :
       {"<!doctype html", "<html", "<head", "<body", "<title", "<meta", "<script", "<!--"}) {
    if (StartsWithIgnoringCase(text, start)) return true;
  }
  return false;
}

bool FileBeginsAsHtml(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::array<char, kBytesLookedAt> bytes{};
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  const auto got = static_cast<size_t>(in.gcount());
  return BeginsAsHtml(std::string_view(bytes.data(), got));
}
