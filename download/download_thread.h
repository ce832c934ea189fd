#pragma once
#include "platform/platform.h"

// The download thread's work: fetch url into a fresh folder under the temporary directory, trying
// each network mode in turn, then start the installer. Ends the process on every path except a stop
// the user confirmed before the final check, where it returns 0.
unsigned RunDownloadThread(const platform::Platform& p, const wchar_t* url);

// Texts the download thread shows.
namespace setup_text {
inline constexpr wchar_t kBoxTitle[] = L"QornPro Installation";
inline constexpr wchar_t kNoMainWindow[] = L"Có lỗi trong quá trình khởi tạo,Bạn vui lòng thử lại sau";
inline constexpr wchar_t kNoTempPath[] = L"Có lỗi trong quá trình Khởi tạo,Bạn vui lòng thử lại sau";
inline constexpr wchar_t kNoFolder[] = L"Có lỗi trong khởi tạo ứng dụng";
inline constexpr wchar_t kDirectFailed[] =
    L"Có lỗi trong quá trình tải trực tiếp bộ cài đặt, Chuyển sang tải qua proxy mặc định";
inline constexpr wchar_t kDefaultProxyFailed[] =
    L"Có lỗi trong quá trình tải qua proxy mặc định, Chuyển sang tải qua cấu hình IE proxy";
inline constexpr wchar_t kDownloaded[] = L"Đã hoàn thành tải bộ cài đặt về, Đang chuẩn bị cài đặt";
inline constexpr wchar_t kDownloadFailed[] = L"Có lỗi trong quá trình tải về, bạn vui lòng thử lại sau";
inline constexpr wchar_t kNeedAdmin[] = L"Bạn cần thực thi chương trình cài đặt với quyền admin";
}  // namespace setup_text

constexpr int kIdProgress = 1003;
constexpr int kIdStatus = 1007;
