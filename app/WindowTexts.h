// The texts the main window and the completion step show, exactly as the user reads them.
#pragma once

// Status line.
inline constexpr wchar_t kStatusPreparing[] = L"준비중";
inline constexpr wchar_t kStatusConnected[] = L"연결 성공";
inline constexpr wchar_t kStatusRequestSent[] = L"요청 성공";
inline constexpr wchar_t kStatusDownloading[] = L"런쳐 다운로드중";
inline constexpr wchar_t kStatusExtracting[] = L"압축푸는 중";
inline constexpr wchar_t kStatusExtractionFailed[] = L"압축풀기 실패";
inline constexpr wchar_t kStatusExtractionDone[] = L"압축풀기 완료";
inline constexpr wchar_t kStatusLauncherFailed[] = L"런쳐실행 실패";

// Byte-count line before the first progress report.
inline constexpr char kByteCountsEmpty[] = "/";

// Message boxes: the caption of every box, and the texts filled with a number.
inline constexpr wchar_t kNoticeCaption[] = L"알림";
inline constexpr wchar_t kSetupFailedFormat[] = L"error %d: 객체 생성 실패";
inline constexpr wchar_t kConnectFailedFormat[] = L"error %d: 연결 실패";
inline constexpr wchar_t kRequestFailedFormat[] = L"error %d: 요청 실패";
inline constexpr wchar_t kReceiveFailedFormat[] = L"error %d: 수신 실패";
inline constexpr wchar_t kErrorCodeFormat[] = L"ErrCode = [%d]";
