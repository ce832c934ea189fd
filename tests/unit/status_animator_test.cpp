#include "download/status_animator.h"

#include <gtest/gtest.h>

#include <string>

#include "download/run_state.h"
#include "tests/unit/fake_platform.h"
#include "tests/unit/std_monitor.h"

namespace {

struct StopAnimator {};

// Runs the animator on this thread until it has slept `cycles` times for 500 ms.
class AnimatorRun : public ::testing::Test {
protected:
    void SetUp() override { g_status.store(&record); }
    void TearDown() override { g_status.store(nullptr); }

    void Run(int cycles) {
        int left = cycles;
        world.processes.onSleep = [&left](std::uint32_t ms) {
            if (ms == 500 && --left == 0) throw StopAnimator{};
        };
        EXPECT_THROW(RunStatusAnimator(world.windows, world.processes, gate), StopAnimator);
    }

    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        for (const auto& text : world.windows.labelTexts) lines.push_back(fake::Narrow(text.c_str()));
        return lines;
    }

    fake::World world;
    StdMonitor monitor;
    FreezeGate gate{monitor};
    DownloadStatus record;
};

struct LineCase {
    std::int32_t mode;
    std::uint32_t code;
    const char* line;
};

TEST_F(AnimatorRun, ComposesPrefixTextAndDotForEveryModeAndCode) {
    const LineCase cases[] = {
        {0, 999, "Đang khởi tạo tài nguyên."},
        {1, 1001, "Đang khởi tạo kết nối."},
        {1, 1, "Đang kiểm tra kết nối mạng."},
        {2, 2, "Tải qua proxy mặc định: Đang phân tích liên kết."},
        {2, 3, "Tải qua proxy mặc định: Đang kết nối tới server."},
        {3, 4, "Tải qua cấu hình IE proxy: Đang khởi tạo yêu cầu tới server."},
        {3, 5, "Tải qua cấu hình IE proxy: Đang gởi yêu cầu tới server."},
        {2, 6, "Tải qua proxy mặc định: Đang tải bộ cài đặt."},
        {3, 8, "Tải qua cấu hình IE proxy: Đang tải bộ cài đặt."},
        {1, 7, "Không đủ buffer để nhận dữ liệu."},
        {1, 0, "Đã hoàn thành tải bộ cài đặt về, Đang chuẩn bị cài đặt."},
        {3, 1000, "Tải qua cấu hình IE proxy: Có lỗi trong quá trình tải về."},
        // Codes without a text leave the prefix and the dots.
        {2, 9, "Tải qua proxy mặc định: ."},
        {3, 998, "Tải qua cấu hình IE proxy: ."},
        {1, 1002, "."},
        // A mode outside the known ones has no prefix.
        {4, 6, "Đang tải bộ cài đặt."},
        {-1, 999, "Đang khởi tạo tài nguyên."},
    };
    for (const LineCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.mode) + "/" + std::to_string(c.code));
        world.windows.labelTexts.clear();
        record.mode = c.mode;
        record.code = c.code;
        Run(1);
        ASSERT_EQ(Lines().size(), 1u);
        EXPECT_EQ(Lines()[0], c.line);
    }
}

TEST_F(AnimatorRun, DotsCycleOneTwoThreeAndBackToOne) {
    record.SetMode(NetworkMode::DefaultProxy);
    record.SetCode(StatusCode::ResponseReceived);
    Run(4);
    const std::string text = "Tải qua proxy mặc định: Đang tải bộ cài đặt";
    EXPECT_EQ(Lines(), (std::vector<std::string>{text + ".", text + "..", text + "...", text + "."}));
}

TEST_F(AnimatorRun, EachCycleShowsTheRecordAsItIsThen) {
    int cycle = 0;
    world.processes.onSleep = [&](std::uint32_t ms) {
        if (ms != 500) return;
        if (++cycle == 3) throw StopAnimator{};
        record.SetMode(NetworkMode::IeProxy);
        record.SetCode(StatusCode::Connecting);
    };
    EXPECT_THROW(RunStatusAnimator(world.windows, world.processes, gate), StopAnimator);
    ASSERT_EQ(Lines().size(), 3u);
    EXPECT_EQ(Lines()[0], "Đang khởi tạo tài nguyên.");
    EXPECT_EQ(Lines()[1], "Tải qua cấu hình IE proxy: Đang khởi tạo kết nối..");
}

TEST_F(AnimatorRun, WaitsForThePublishedRecordAndSleepsOnceEvenWhenItIsThere) {
    g_status.store(nullptr);
    int polls = 0;
    world.processes.onSleep = [&](std::uint32_t ms) {
        if (ms == 150 && ++polls == 3) g_status.store(&record);
        if (ms == 500) throw StopAnimator{};
    };
    EXPECT_THROW(RunStatusAnimator(world.windows, world.processes, gate), StopAnimator);
    // Published during the third poll's sleep: that poll had read null, so a fourth one follows.
    EXPECT_EQ(world.processes.sleeps, (std::vector<std::uint32_t>{150, 150, 150, 150, 500}));
    EXPECT_EQ(world.journal.Starting("SetWindowTextW"),
              (std::vector<std::string>{"SetWindowTextW label Đang khởi tạo tài nguyên."}));

    world.journal.calls.clear();
    world.processes.sleeps.clear();
    Run(1);
    EXPECT_EQ(world.processes.sleeps, (std::vector<std::uint32_t>{150, 500}));
    const auto firstWrite = world.journal.IndexOf("SetWindowTextW label Đang khởi tạo tài nguyên.");
    EXPECT_GT(firstWrite, world.journal.IndexOf("Sleep 150"));
    EXPECT_LT(firstWrite, world.journal.IndexOf("Sleep 500"));
}

TEST_F(AnimatorRun, WithoutLabelOrMainWindowItNeverWritesAndSleepsInHalfSeconds) {
    world.windows.hasLabel = false;
    Run(5);
    world.windows.mainWindows = {nullptr};
    Run(5);
    EXPECT_TRUE(world.journal.Starting("SetWindowTextW").empty());
    EXPECT_EQ(world.processes.sleeps,
              (std::vector<std::uint32_t>{150, 500, 500, 500, 500, 500, 150, 500, 500, 500, 500, 500}));
    // The label is looked up once per run, never again.
    EXPECT_EQ(world.journal.Starting("GetDlgItem").size(), 1u);
}

}  // namespace
