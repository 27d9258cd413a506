#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

// The connector card an issue report is posted as:
//   {"sections":[{"activityTitle":T,"text":X}],"summary":T}
// with T the title and X the whole page message, indented by 4, inside <pre><code>.

inline constexpr char kIssueTitleWithoutDescription[] = "Downloader encountered an issue";
inline constexpr char kIssueTitleWithoutError[] = "no error description found";

// "error"."description" when "error" is an object (kIssueTitleWithoutDescription when it has
// none); kIssueTitleWithoutError otherwise. A "description" that is not a string throws
// nlohmann::json::type_error.
std::string IssueReportTitle(const nlohmann::json& message);

// `text` with &, < and > written as entities.
std::string EscapeHtml(std::string_view text);

// "<pre><code>" + the message as JSON indented by 4, HTML-escaped so that a report cannot
// inject markup into the channel, + "</code></pre>".
std::string IssueReportCardText(const nlohmann::json& message);

// The request body: the card as compact JSON. Throws like IssueReportTitle.
std::string BuildIssueReportBody(const nlohmann::json& message);
