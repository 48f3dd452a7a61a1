// Cutting an absolute URL into the host, port and path that the configuration fetch needs.
//
// Only the shape scheme "//" authority path is known: the scheme is skipped unread, and user
// information, fragments and percent-escapes are not recognised; a query stays in the path.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct HttpUrlParts {
    std::string host;   // may be empty
    std::string path;   // always begins with "/"
    int32_t port = 0;   // 80 where the URL gives none
};

// Never fails: missing pieces come out empty or as their default (port 80); a port text
// without digits gives port 0, which the fetch then reports as a failed connection.
HttpUrlParts SplitHttpUrl(std::wstring_view url);

// "/" and what is left of the URL after its first "/" and then `count` further cuts, each
// dropping everything up to and including the next "/" (a cut that finds none drops nothing).
// With count 3 that is the URL's path with everything after it. A URL without any "/" has no
// path: the result is "/".
std::wstring ExtractUrlPath(std::wstring_view url, int32_t count);
