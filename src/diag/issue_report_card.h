#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

// The connector card an issue report is posted as:
//   {"sections":[{"activityTitle":T,"text":X}],"summary":T}
// with T the title and X the page message as JSON indented by 4 inside <pre><code>, both
// HTML-escaped. A report is bounded whatever the page sends: the title is cut at
// kMaxIssueTitleBytes and the message text at kMaxIssueTextBytes (with the marker of
// log/bounded_text.h), and a message nested deeper than kMaxIssueDepth is not written out.
// The channel refuses cards much above 28 KB, so a cut report still arrives.

inline constexpr char kIssueTitleWithoutDescription[] = "Downloader encountered an issue";
inline constexpr char kIssueTitleWithoutError[] = "no error description found";
inline constexpr std::size_t kMaxIssueTitleBytes = 256;
inline constexpr std::size_t kMaxIssueTextBytes = 20 * 1024;
inline constexpr std::size_t kMaxIssueDepth = 64;

// "error"."description" when "error" is an object (kIssueTitleWithoutDescription when it has
// none); kIssueTitleWithoutError otherwise. A "description" that is not a string throws
// nlohmann::json::type_error.
std::string IssueReportTitle(const nlohmann::json& message);

// `text` with &, < and > written as entities.
std::string EscapeHtml(std::string_view text);

// "<pre><code>" + the message as JSON indented by 4, cut and HTML-escaped so that a report cannot
// inject markup into the channel, + "</code></pre>".
std::string IssueReportCardText(const nlohmann::json& message);

// The request body: the card as compact JSON. Throws like IssueReportTitle.
std::string BuildIssueReportBody(const nlohmann::json& message);
