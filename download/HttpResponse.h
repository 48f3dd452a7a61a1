// The response of a download: its head gathered and parsed, its body handed on piece by piece.
#pragma once

#include <cstdint>

#include "download/DownloadJob.h"

// One read on job.socket. Until the head's blank line has arrived the bytes are gathered in
// job.headerBuffer; the read that completes the head parses it into job.response, sets
// job.statusCode and job.contentLength, and moves the body bytes that came with it to the
// start of buffer. Later reads put up to 8192 body bytes straight into buffer.
//   0      the head is complete; count holds the body bytes now at the start of buffer (maybe 0)
//   10035  the head is not complete yet; nothing for the caller
//   -1     the read failed (the last error says why), or the head filled its 8192 bytes
//          without a blank line (last error 10040)
// buffer must hold kBodyReadLimit bytes.
int32_t ReceiveResponseData(DownloadJob& job, char* buffer, int32_t& count);
