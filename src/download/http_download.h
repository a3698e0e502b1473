// HTTP over WinINet: connectivity, the size of a file at a URL, and a chunked
// download into a file or into a string with progress, time-outs and abort.
// WinINet is loaded from the system folder on first use and released by
// UnloadInternetLibrary (internet_library.h) when the stub window's loop ends.
// Nothing here shows anything; failures come back as error texts.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "download/download_progress.h"
#include "download/download_rules.h"

namespace varnel {

// True when the system reports an internet connection; otherwise false and
// errorText holds the system's text for the last error (may be empty).
bool InternetConnected(std::string& errorText);

// Opens and closes the URL once, to prime the connection.
void HTTP_Connect(const std::string& url);

// The content length announced for the URL (64-bit), or -1 when the session,
// the address or the length can't be had. Asks with HEAD; a server that
// refuses HEAD (405, 501) or gives no length there is asked with a GET for
// the range bytes=0-0, closed after its headers (the total of a 206's
// Content-Range, or a 200's Content-Length). Follows the download's URL rule
// and never answers from a cache. Runs on WinINet's asynchronous mode like
// a download: a request that gets no reply within stallMs, a close request
// (DownloadAbort()) or a quit request ends the query with -1.
std::int64_t HTTP_GetFileSize(const std::string& url, std::uint32_t stallMs = kStallDeadlineMs);

// Downloads `url` into `destination` (a full path) or, when destination is
// empty, into `content`. window: shown when it is a window (0 for none).
// progress: may be null. True when the whole body arrived (and, for a file,
// the destination now holds it); otherwise false with errorText saying why
// and the destination left as it was. errorText is empty exactly on success.
// While the transfer runs the bytes go to destination + "." + N (a partial
// file that holds every byte received so far); earlier partial files of the
// same destination are removed first, and a failed transfer removes its own.
// Only a 200 reply is the file. The transfer runs on WinINet's asynchronous
// mode: while it waits it dispatches the thread's messages, stops within a
// wait slice when DownloadAbort() or progress->Cancelled is set, and fails
// when no byte arrives within limits.stallMs. `limits` also bounds the body.
bool HTTP_DownloadFile_Incremental(HWND window, const std::string& url, const std::string& destination,
                                   std::string& errorText, TProgBar* progress, std::string& content,
                                   const DownloadLimits& limits = DownloadLimits());

// True when the last HTTP_DownloadFile_Incremental failed because its file
// could not be made or written in full (a full disk, for one), not because
// of the transfer.
bool DownloadWriteFailed();

// The error-page message for a downloaded file (its first 1000 bytes) or,
// when filePath is empty or missing, for content; else defaultText.
std::string HTTP_404Message(const std::string& filePath, const std::string& content,
                            const std::string& url, const std::string& defaultText);

// Process-wide flag that stops a running transfer at once.
// The stub window sets it on a close request; a caller clears it before it
// starts a download.
bool DownloadAbort();
void SetDownloadAbort(bool abort);

// The process-wide progress object, made on first use with `sink` (later
// calls return the same object).
TProgBar& DownloadProgressBar(ProgressCallbackFn sink);

}  // namespace varnel
