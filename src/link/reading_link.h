#pragma once
// The link that "See full result" opens: the reading as JSON, percent-encoded, in the
// fragment, which the browser keeps to itself and never sends to the web server.

#include <string>
#include <string_view>

#include "reading/reading.h"

// {"v":1,"make":"…","model":"…","count":N,"firmware":"…","serial":"…","source":"…"}
std::string readingJson(const Reading& reading);

// For use between JSON quotes: \" and \\, control bytes become a space, all else unchanged.
std::string jsonEscape(std::string_view text);

// RFC 3986 unreserved characters kept, every other byte as %XX (upper-case hex).
std::wstring percentEncode(std::string_view text);

// "https://" + resultSiteHost + "/#reading=" + percentEncode(readingJson(reading))
std::wstring readingLink(const Reading& reading);
