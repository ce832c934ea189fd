#include "download/download_thread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "download/run_state.h"
#include "tests/unit/fake_platform.h"

namespace {

using Calls = std::vector<std::string>;

constexpr wchar_t kUrl[] = L"http://127.0.0.1:8080/QornProSetup.exe";
constexpr wchar_t kFolder[] = L"C:\\Temp\\Qor1A2B.tmp";
constexpr wchar_t kInstaller[] = L"C:\\Temp\\Qor1A2B.tmp\\QornProSetup.exe";

const std::string kTitle = "QornPro Installation";
const std::string kNoMainWindow = "Có lỗi trong quá trình khởi tạo,Bạn vui lòng thử lại sau";
const std::string kNoTempPath = "Có lỗi trong quá trình Khởi tạo,Bạn vui lòng thử lại sau";
const std::string kNoFolder = "Có lỗi trong khởi tạo ứng dụng";
const std::string kDirectFailed = "Có lỗi trong quá trình tải trực tiếp bộ cài đặt, Chuyển sang tải qua proxy mặc định";
const std::string kDefaultProxyFailed =
    "Có lỗi trong quá trình tải qua proxy mặc định, Chuyển sang tải qua cấu hình IE proxy";
const std::string kDownloaded = "Đã hoàn thành tải bộ cài đặt về, Đang chuẩn bị cài đặt";
const std::string kDownloadFailed = "Có lỗi trong quá trình tải về, bạn vui lòng thử lại sau";
const std::string kNeedAdmin = "Bạn cần thực thi chương trình cài đặt với quyền admin";

// The calls inside one attempt that say nothing about the thread's own sequence. WinHttpOpen stays
// as the mark of an attempt, the bar positions and file deletions stay too.
const std::set<std::string> kAttemptInternals = {
    "GetIEProxyConfig",   "FreeProxyString",
    "WinHttpCrackUrl",    "WinHttpConnect",
    "WinHttpOpenRequest", "WinHttpSendRequest",
    "CreateFileW",        "WinHttpReceiveResponse",
    "QueryStatusCode",    "QueryContentLength",
    "QueryDataAvailable", "Allocate",
    "WinHttpReadData",    "Free",
    "WriteFile",          "close session",
    "close connection",   "close request",
    "close file",
};

struct Box {
    std::string owner, text, title;
    std::uint32_t flags;
};
bool operator==(const Box& a, const Box& b) {
    return a.owner == b.owner && a.text == b.text && a.title == b.title && a.flags == b.flags;
}
std::ostream& operator<<(std::ostream& out, const Box& box) {
    return out << "{" << box.owner << ", " << box.text << ", " << box.title << ", " << box.flags << "}";
}

struct Outcome {
    std::optional<std::uint32_t> exitCode;  // set when the thread ended the process
    std::optional<unsigned> returned;       // set when it returned instead
};

// One run of the download thread against a scripted world. The shared state is reset on both
// sides: g_runState is process-wide and the published record lives on the thread's stack.
class ThreadRun {
public:
    ThreadRun() {
        StoreRunState(RunState::Running);
        g_status.store(nullptr);
        world.http.contentLength = 6;
        world.http.chunks = {"abc", "def"};
        world.windows.onMainWindow = [this] {
            if (publishedAtFirstLookup) return;
            DownloadStatus* published = g_status.load();
            publishedAtFirstLookup =
                published ? std::make_pair(published->Mode(), published->Code()) : std::make_pair(-1, 0u);
            // From here on every call records the (mode, code) it sees.
            world.journal.watched = published;
        };
        world.processes.onSleep = [this](std::uint32_t ms) {
            if (ms == 1000 && ++fallbacks_ == attemptsFailing_) world.http.failing.clear();
            if (ms == 200 && ++polls_ == answerAfterPolls_) StoreRunState(answer_);
        };
    }
    ThreadRun(const ThreadRun&) = delete;
    ThreadRun& operator=(const ThreadRun&) = delete;
    ~ThreadRun() {
        g_status.store(nullptr);
        StoreRunState(RunState::Running);
    }

    // The first `count` attempts fail at the connection; the later ones get the body.
    void FailAttempts(int count) {
        attemptsFailing_ = count;
        if (count > 0) world.http.failing.insert("Connect");
    }
    // The stop question is answered with `state` during the `count`-th wait for it.
    void AnswerAfterPolls(int count, RunState state) {
        answerAfterPolls_ = count;
        answer_ = state;
    }

    Outcome Run() {
        Outcome outcome;
        try {
            outcome.returned = RunDownloadThread(world.platform, kUrl);
        } catch (const fake::ProcessExited& exited) {
            outcome.exitCode = exited.code;
        }
        world.journal.watched = nullptr;
        return outcome;
    }

    Calls ThreadView() const {
        Calls view;
        for (const auto& call : world.journal.calls)
            if (!kAttemptInternals.contains(call)) view.push_back(call);
        return view;
    }
    Calls ViewAfter(const std::string& call) const {
        const Calls view = ThreadView();
        for (std::size_t i = 0; i < view.size(); ++i)
            if (view[i] == call) return Calls(view.begin() + static_cast<long>(i) + 1, view.end());
        return {"<" + call + " never called>"};
    }
    std::vector<std::int32_t> ModesOpened() const {
        std::vector<std::int32_t> modes;
        for (std::size_t i = 0; i < world.journal.calls.size(); ++i)
            if (world.journal.calls[i] == "WinHttpOpen") modes.push_back(world.journal.statusAtCall[i].first);
        return modes;
    }
    std::vector<Box> Boxes() const {
        std::vector<Box> boxes;
        for (const auto& box : world.windows.boxes)
            boxes.push_back({fake::HandleName(box.owner), fake::Narrow(box.text.c_str()),
                             fake::Narrow(box.title.c_str()), box.flags});
        return boxes;
    }

    fake::World world;
    std::optional<std::pair<std::int32_t, std::uint32_t>> publishedAtFirstLookup;

private:
    int attemptsFailing_ = 0, fallbacks_ = 0;
    int answerAfterPolls_ = -1, polls_ = 0;
    RunState answer_ = RunState::Running;
};

const Calls kSetup = {"MainWindow",       "GetDlgItem 1003", "GetDlgItem 1007", "GetTempPathW",
                      "GetTempFileNameW", "DeleteFileW",     "CreateDirectoryW"};

std::string BoxCall(const std::string& owner, const std::string& text) { return "MessageBoxW " + owner + " " + text; }

Calls Notice(const std::string& text) { return {"Freeze", "SetWindowTextW label " + text, "Sleep 1000", "Thaw"}; }
Calls Join(std::initializer_list<Calls> parts) {
    Calls all;
    for (const Calls& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// --- Start-up ---

TEST(DownloadThread, PublishesAFreshRecordBeforeLookingForTheWindow) {
    for (bool withWindow : {true, false}) {
        SCOPED_TRACE(withWindow ? "with main window" : "without main window");
        ThreadRun run;
        if (!withWindow) run.world.windows.mainWindows = {nullptr};
        run.Run();
        ASSERT_TRUE(run.publishedAtFirstLookup.has_value());
        EXPECT_EQ(*run.publishedAtFirstLookup, std::make_pair(0, 999u));
    }
}

TEST(DownloadThread, WithoutMainWindowShowsOwnerlessBoxAndExits) {
    ThreadRun run;
    run.world.windows.mainWindows = {nullptr};
    EXPECT_EQ(run.Run().exitCode, 0u);
    EXPECT_EQ(run.world.journal.calls, (Calls{"MainWindow", BoxCall("null", kNoMainWindow), "ExitProcess 0"}));
    EXPECT_EQ(run.Boxes(), (std::vector<Box>{{"null", kNoMainWindow, kTitle, 0x10}}));
}

struct TempCase {
    const char* name;
    std::wstring tempPath;
    std::optional<std::uint32_t> result;    // what GetTempPathW reports, when not the path's length
    std::optional<std::wstring> directory;  // what GetTempFileNameW is given; none when refused
};

TEST(DownloadThread, TempPathGetsOneTrailingBackslashAndMustFitMaxPath) {
    const std::wstring longest = L"C:\\" + std::wstring(255, L't') + L"\\";
    const std::wstring longestBare = L"C:\\" + std::wstring(256, L't');
    const std::wstring tooLong = L"C:\\" + std::wstring(256, L't') + L"\\";
    ASSERT_EQ(longest.size(), 259u);
    ASSERT_EQ(longestBare.size(), 259u);
    ASSERT_EQ(tooLong.size(), 260u);
    const TempCase cases[] = {
        {"with backslash", L"C:\\Temp\\", std::nullopt, L"C:\\Temp\\"},
        {"without backslash", L"C:\\Temp", std::nullopt, L"C:\\Temp\\"},
        {"259 with backslash", longest, std::nullopt, longest},
        {"259 without backslash", longestBare, std::nullopt, longestBare + L"\\"},
        {"260", tooLong, std::nullopt, std::nullopt},
        {"call failed", L"C:\\Temp\\", 0u, std::nullopt},
    };
    for (const TempCase& c : cases) {
        SCOPED_TRACE(c.name);
        ThreadRun run;
        run.world.files.tempPath = c.tempPath;
        run.world.files.tempPathResult = c.result;
        EXPECT_EQ(run.Run().exitCode, 0u);
        if (c.directory) {
            EXPECT_EQ(run.world.files.tempFileDirectory, *c.directory);
            EXPECT_EQ(run.world.files.tempFilePrefix, L"Qor");
            EXPECT_TRUE(run.Boxes().empty());
            EXPECT_TRUE(run.world.journal.Has("CreateProcessW"));
        } else {
            EXPECT_EQ(run.world.journal.calls, (Calls{"MainWindow", "GetDlgItem 1003", "GetDlgItem 1007",
                                                      "GetTempPathW", BoxCall("main", kNoTempPath), "ExitProcess 0"}));
            EXPECT_EQ(run.Boxes(), (std::vector<Box>{{"main", kNoTempPath, kTitle, 0x10}}));
        }
    }
}

struct FolderCase {
    const char* failing;
    Calls steps;  // the folder steps taken, the failing one last
};

TEST(DownloadThread, FolderFailureShowsBoxOwnedByTheWindowAsItIsNowAndExits) {
    const FolderCase cases[] = {
        {"GetTempFileNameW", {"GetTempFileNameW"}},
        {"DeleteFileW", {"GetTempFileNameW", "DeleteFileW"}},
        {"CreateDirectoryW", {"GetTempFileNameW", "DeleteFileW", "CreateDirectoryW"}},
    };
    for (const FolderCase& c : cases) {
        for (bool stillThere : {true, false}) {
            SCOPED_TRACE(std::string(c.failing) + (stillThere ? ", main window there" : ", main window gone"));
            ThreadRun run;
            run.world.files.failing.insert(c.failing);
            run.world.windows.mainWindows = {fake::kMainWindow, stillThere ? fake::kMainWindow : nullptr};
            EXPECT_EQ(run.Run().exitCode, 0u);
            const std::string owner = stillThere ? "main" : "null";
            EXPECT_EQ(run.world.journal.calls,
                      Join({{"MainWindow", "GetDlgItem 1003", "GetDlgItem 1007", "GetTempPathW"},
                            c.steps,
                            {"MainWindow", BoxCall(owner, kNoFolder), "ExitProcess 0"}}));
            EXPECT_EQ(run.Boxes(), (std::vector<Box>{{owner, kNoFolder, kTitle, 0x10}}));
        }
    }
}

// --- Attempts and their outcome ---

const Calls kSuccessEnd = {
    "PBM_SETPOS bar 50", "PBM_SETPOS bar 100", "FreezeForGood", "SetWindowTextW label " + kDownloaded,
    "Sleep 1500",        "MainWindow",         "Hide main",     "CreateProcessW",
    "ExitProcess 0"};
const Calls kFailureEnd = {"RemoveDirectoryW", "FreezeForGood",
                           "PBM_SETPOS bar 0", "SetWindowTextW label " + kDownloadFailed,
                           "MainWindow",       BoxCall("main", kDownloadFailed),
                           "ExitProcess 0"};

struct AttemptsCase {
    int failing;
    std::vector<std::int32_t> modes;
    Calls afterSetup;
};

TEST(DownloadThread, FallsBackDirectThenDefaultProxyThenIeAndStopsAtFirstSuccess) {
    const Calls kAllThreeAttempts =
        Join({{"WinHttpOpen"}, Notice(kDirectFailed), {"WinHttpOpen"}, Notice(kDefaultProxyFailed), {"WinHttpOpen"}});
    const AttemptsCase cases[] = {
        {0, {1}, Join({{"WinHttpOpen"}, kSuccessEnd})},
        {1, {1, 2}, Join({{"WinHttpOpen"}, Notice(kDirectFailed), {"WinHttpOpen"}, kSuccessEnd})},
        {2, {1, 2, 3}, Join({kAllThreeAttempts, kSuccessEnd})},
        {3, {1, 2, 3}, Join({kAllThreeAttempts, kFailureEnd})},
    };
    for (const AttemptsCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.failing) + " failing attempts");
        ThreadRun run;
        run.FailAttempts(c.failing);
        EXPECT_EQ(run.Run().exitCode, 0u);
        EXPECT_EQ(run.ThreadView(), Join({kSetup, c.afterSetup}));
        EXPECT_EQ(run.ModesOpened(), c.modes);
    }
}

TEST(DownloadThread, SuccessKeepsTheInstallerInTheNewFolderAndStartsItQuoted) {
    ThreadRun run;
    EXPECT_EQ(run.Run().exitCode, 0u);
    EXPECT_EQ(run.world.files.files, (std::map<std::wstring, std::string>{{kInstaller, "abcdef"}}));
    EXPECT_EQ(run.world.files.directories, std::set<std::wstring>{kFolder});
    EXPECT_EQ(run.world.processes.commandLine, L"\"" + std::wstring(kInstaller) + L"\"");
    EXPECT_EQ(run.world.processes.sleeps, (std::vector<std::uint32_t>{1500}));
    EXPECT_EQ(run.world.journal.StatusAt("FreezeForGood"), std::make_pair(1, 0u));
}

TEST(DownloadThread, FailureRemovesTheEmptiedFolderAndReportsToTheWindowAsItIsNow) {
    for (bool stillThere : {true, false}) {
        SCOPED_TRACE(stillThere ? "main window there" : "main window gone");
        ThreadRun run;
        run.world.http.statusCode = 404;  // each attempt creates the file, then drops it
        run.world.windows.mainWindows = {fake::kMainWindow, stillThere ? fake::kMainWindow : nullptr};
        EXPECT_EQ(run.Run().exitCode, 0u);
        EXPECT_EQ(run.world.journal.Starting("CreateFileW").size(), 3u);
        EXPECT_TRUE(run.world.files.files.empty());
        EXPECT_TRUE(run.world.files.directories.empty()) << "the folder was not removed";
        ASSERT_FALSE(run.world.windows.labelTexts.empty());
        EXPECT_EQ(fake::Narrow(run.world.windows.labelTexts.back().c_str()), kDownloadFailed);
        const std::string owner = stillThere ? "main" : "null";
        EXPECT_EQ(run.Boxes(), (std::vector<Box>{{owner, kDownloadFailed, kTitle, 0x10}}));
        EXPECT_EQ(run.world.processes.sleeps, (std::vector<std::uint32_t>{1000, 1000}));
        EXPECT_FALSE(run.world.journal.Has("CreateProcessW"));
        EXPECT_TRUE(run.world.journal.Starting("ShellExecuteExW").empty());
    }
}

// --- The user's answer to the stop question ---

struct StopCase {
    const char* name;
    RunState atCheck;
    int answerAfterPolls;
    RunState answer;
    bool downloaded;
    bool carriesOn;  // on to the launch or the failure box
};

TEST(DownloadThread, FinalCheckWaitsForTheStopAnswerAndOnlyAConfirmedStopEndsQuietly) {
    const StopCase cases[] = {
        {"running", RunState::Running, -1, RunState::Running, true, true},
        {"confirmed after three polls", RunState::AskingToStop, 3, RunState::StopConfirmed, true, false},
        {"declined after two polls", RunState::AskingToStop, 2, RunState::Running, true, true},
        {"already confirmed", RunState::StopConfirmed, -1, RunState::Running, true, false},
        {"failed, confirmed after one poll", RunState::AskingToStop, 1, RunState::StopConfirmed, false, false},
        {"failed, declined after one poll", RunState::AskingToStop, 1, RunState::Running, false, true},
    };
    for (const StopCase& c : cases) {
        SCOPED_TRACE(c.name);
        ThreadRun run;
        if (!c.downloaded) run.FailAttempts(3);
        run.AnswerAfterPolls(c.answerAfterPolls, c.answer);
        StoreRunState(c.atCheck);  // read only at the final check

        const Outcome outcome = run.Run();
        const std::string lastBeforeCheck = c.downloaded ? "Sleep 1500" : "SetWindowTextW label " + kDownloadFailed;
        const Calls polls(static_cast<std::size_t>(std::max(c.answerAfterPolls, 0)), "Sleep 200");
        if (c.carriesOn) {
            EXPECT_EQ(outcome.exitCode, 0u);
            EXPECT_FALSE(outcome.returned.has_value());
            const Calls end = c.downloaded ? Calls{"MainWindow", "Hide main", "CreateProcessW", "ExitProcess 0"}
                                           : Calls{"MainWindow", BoxCall("main", kDownloadFailed), "ExitProcess 0"};
            EXPECT_EQ(run.ViewAfter(lastBeforeCheck), Join({polls, end}));
        } else {
            EXPECT_EQ(outcome.returned, 0u);
            EXPECT_FALSE(outcome.exitCode.has_value());
            EXPECT_EQ(run.ViewAfter(lastBeforeCheck), polls);
            EXPECT_TRUE(run.Boxes().empty());
        }
    }
}

// --- Starting the installer ---

struct LaunchCase {
    const char* name;
    std::deque<platform::WindowHandle> mainWindows;  // the lookups from the launch on
    bool createOk, runAsOk;
    std::uint32_t lastError;
    Calls calls;  // from the launch on
};

TEST(DownloadThread, LaunchTriesPlainStartThenElevationAndAlwaysEndsTheProcess) {
    platform::WindowHandle const main = fake::kMainWindow;
    const std::string needAdmin = BoxCall("null", kNeedAdmin);
    const LaunchCase cases[] = {
        {"plain start", {main}, true, false, 0, {"MainWindow", "Hide main", "CreateProcessW", "ExitProcess 0"}},
        {"elevated",
         {main},
         false,
         true,
         0,
         {"MainWindow", "Hide main", "CreateProcessW", "MainWindow", "ShellExecuteExW runas main", "MainWindow",
          "EndDialog main 0", "ExitProcess 0"}},
        {"elevated, window gone before closing it",
         {main, main, nullptr},
         false,
         true,
         0,
         {"MainWindow", "Hide main", "CreateProcessW", "MainWindow", "ShellExecuteExW runas main", "MainWindow",
          "ExitProcess 0"}},
        {"elevation refused",
         {main},
         false,
         false,
         1223,
         {"MainWindow", "Hide main", "CreateProcessW", "MainWindow", "ShellExecuteExW runas main", "GetLastError",
          needAdmin, "ExitProcess 0"}},
        {"elevation failed otherwise",
         {main},
         false,
         false,
         5,
         {"MainWindow", "Hide main", "CreateProcessW", "MainWindow", "ShellExecuteExW runas main", "GetLastError",
          "ExitProcess 0"}},
        {"no window, plain start", {nullptr}, true, false, 0, {"MainWindow", "CreateProcessW", "ExitProcess 0"}},
        {"no window, elevated",
         {nullptr},
         false,
         true,
         0,
         {"MainWindow", "CreateProcessW", "MainWindow", "ShellExecuteExW runas null", "MainWindow", "ExitProcess 0"}},
        {"no window, elevation refused",
         {nullptr},
         false,
         false,
         1223,
         {"MainWindow", "CreateProcessW", "MainWindow", "ShellExecuteExW runas null", "GetLastError", needAdmin,
          "ExitProcess 0"}},
    };
    for (const LaunchCase& c : cases) {
        SCOPED_TRACE(c.name);
        ThreadRun run;
        run.world.windows.mainWindows = c.mainWindows;
        run.world.windows.mainWindows.push_front(main);  // the lookup at start-up
        run.world.processes.createProcessOk = c.createOk;
        run.world.processes.shellExecuteOk = c.runAsOk;
        run.world.processes.lastError = c.lastError;

        EXPECT_EQ(run.Run().exitCode, 0u);
        EXPECT_EQ(run.ViewAfter("Sleep 1500"), c.calls);
        EXPECT_EQ(run.world.processes.commandLine, L"\"" + std::wstring(kInstaller) + L"\"");
        if (run.world.journal.Starting("ShellExecuteExW").size() == 1) {
            EXPECT_EQ(run.world.processes.shellFile, kInstaller);
        }
        for (const Box& box : run.Boxes()) EXPECT_EQ(box, (Box{"null", kNeedAdmin, kTitle, 0x40}));
    }
}

}  // namespace
