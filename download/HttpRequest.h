// The GET request of a download.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "download/DownloadJob.h"

// Percent-encodes a request path: ASCII letters, digits and . / - _ : ( ) stay, every other
// byte becomes "%" and two upper-case hex digits (a space is "%20", "%" is "%25").
std::string UrlEncode(std::string_view text);

// Composes the GET request for path (not yet encoded) with Host: host, and sends all of it on
// job.socket. 0 when it was sent; 10035 when the socket took nothing now (the next FD_WRITE
// asks for a new attempt); otherwise the socket error.
int32_t SendRequest(DownloadJob& job, const std::string& path, const std::string& host);
