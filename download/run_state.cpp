#include "download/run_state.h"

const wchar_t* StatusText(std::uint32_t code) {
    switch (static_cast<StatusCode>(code)) {
    case StatusCode::Initializing: return L"Đang khởi tạo tài nguyên";
    case StatusCode::Connecting: return L"Đang khởi tạo kết nối";
    case StatusCode::SessionOpened: return L"Đang kiểm tra kết nối mạng";
    case StatusCode::UrlCracked: return L"Đang phân tích liên kết";
    case StatusCode::Connected: return L"Đang kết nối tới server";
    case StatusCode::RequestOpened: return L"Đang khởi tạo yêu cầu tới server";
    case StatusCode::RequestSent: return L"Đang gởi yêu cầu tới server";
    case StatusCode::ResponseReceived:
    case StatusCode::ChunkRead: return L"Đang tải bộ cài đặt";
    case StatusCode::OutOfBuffer: return L"Không đủ buffer để nhận dữ liệu";
    case StatusCode::Completed: return L"Đã hoàn thành tải bộ cài đặt về, Đang chuẩn bị cài đặt";
    case StatusCode::Failed: return L"Có lỗi trong quá trình tải về";
    }
    return L"";
}

std::atomic<DownloadStatus*> g_status{nullptr};
std::atomic<std::int32_t> g_runState{static_cast<std::int32_t>(RunState::Running)};
std::atomic<void*> g_hDownloadThread{nullptr};
std::atomic<void*> g_hAnimatorThread{nullptr};
