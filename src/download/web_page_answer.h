#pragma once

#include <filesystem>
#include <string_view>

// Telling a web page from the archive that was asked for. A captive network's sign-in page, or
// a server's error page sent with status 200, would otherwise be saved as the archive and fail
// much later, at extraction, as an unreadable file; both transfers ask these instead and end the
// download at once with page_result::kWebPageInsteadOfArchive.
//
// An answer counts as a web page only when both hold: its Content-Type is text/html (any
// parameters, any case), and its body begins as HTML does. Either alone is not enough: servers
// label archives text/html by mistake, and no archive format begins with markup. Where no
// header can be seen (the platform's transfer service hands over only the finished file), the
// beginning alone decides, which no ZIP archive can meet.

// True for "text/html" with or without parameters, names in any case.
bool IsHtmlContentType(std::string_view contentType);

// True when `firstBytes` (the start of a body; a few hundred bytes are plenty) begins, after an
// optional UTF-8 byte order mark and white space, with a doctype, an <html>, <head>, <body>,
// <title>, <meta> or <script> tag, or a comment, in any case.
bool BeginsAsHtml(std::string_view firstBytes);

// BeginsAsHtml of the file's first bytes; false for a file that cannot be read.
bool FileBeginsAsHtml(const std::filesystem::path& file);
