#include "download/download_attempt.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "download/run_state.h"
#include "tests/unit/fake_platform.h"

namespace {

using Calls = std::vector<std::string>;

constexpr wchar_t kUrl[] = L"http://127.0.0.1:8080/files/QornProSetup.exe";
constexpr wchar_t kPath[] = L"C:\\Temp\\Qor1A2B.tmp\\QornProSetup.exe";
constexpr NetworkMode kAllModes[] = {NetworkMode::Direct, NetworkMode::DefaultProxy, NetworkMode::IeProxy};

std::string ModeName(NetworkMode mode) { return "mode " + std::to_string(static_cast<int>(mode)); }

// One attempt against a scripted world; the status record is watched by every fake call.
struct AttemptRun {
    AttemptRun() {
        world.journal.watched = &status;
        world.http.contentLength = 6;
        world.http.chunks = {"abc", "def"};
    }
    int Run(NetworkMode mode, const wchar_t* url = kUrl, const wchar_t* path = kPath) {
        return DownloadToFile(world.platform, mode, &status, url, path, fake::kProgressBar);
    }
    Calls CallsAfterLast(const std::string& call) const {
        const auto& calls = world.journal.calls;
        auto last = std::find(calls.rbegin(), calls.rend(), call);
        if (last == calls.rend()) return {"<" + call + " never called>"};
        return Calls(last.base(), calls.end());
    }
    bool FileKept() const { return world.files.files.contains(kPath); }

    fake::World world;
    DownloadStatus status;
};

// --- Every way an attempt can fail ---

const Calls kSession = {"close session"};
const Calls kConnection = {"close connection", "close session"};
const Calls kRequest = {"close request", "close connection", "close session"};
const Calls kFile = {"close file", "DeleteFileW", "close request", "close connection", "close session"};
const Calls kHandlesThenFile = {"close file", "close request", "close connection", "close session", "DeleteFileW"};
const Calls kChunkAndFile = {"Free", "close file", "DeleteFileW", "close request", "close connection", "close session"};

const std::wstring kHostOf1024 = L"http://" + std::wstring(1024, L'h') + L"/setup.exe";
const std::wstring kPathOf1024 = L"http://127.0.0.1/" + std::wstring(1023, L'p');

using Script = std::function<void(fake::World&)>;
enum class Modes : std::uint8_t { All, IeOnly };

struct FailCase {
    const char* name;
    Script script;
    std::uint32_t code;
    Modes modes;
    const char* failsAt;  // the last call before the clean-up; null when nothing may be called at all
    Calls cleanUp;        // every call after it, in order
    const wchar_t* url = kUrl;
    const wchar_t* path = kPath;
};

void Nothing(fake::World&) {}
Script Failing(const char* call) {
    return [call](fake::World& w) {
        w.http.failing.insert(call);
        w.files.failing.insert(call);
    };
}
Script HttpStatus(std::uint32_t code) {
    return [code](fake::World& w) { w.http.statusCode = code; };
}

const FailCase kFailCases[] = {
    {"UrlMissing", Nothing, 1000, Modes::All, nullptr, {}, nullptr},
    {"PathMissing", Nothing, 1000, Modes::All, nullptr, {}, kUrl, nullptr},
    {"IeSettingsUnavailable", Failing("GetIEProxyConfig"), 1000, Modes::IeOnly, "GetIEProxyConfig", {}},
    {"SessionRefused", Failing("Open"), 1000, Modes::All, "WinHttpOpen", {}},
    {"UrlNotCracked", Failing("CrackUrl"), 1000, Modes::All, "WinHttpCrackUrl", kSession},
    {"HostOf1024Units", Nothing, 1000, Modes::All, "WinHttpCrackUrl", kSession, kHostOf1024.c_str()},
    {"PathOf1024Units", Nothing, 1000, Modes::All, "WinHttpCrackUrl", kSession, kPathOf1024.c_str()},
    {"ConnectRefused", Failing("Connect"), 1000, Modes::All, "WinHttpConnect", kSession},
    {"RequestNotOpened", Failing("OpenRequest"), 1000, Modes::All, "WinHttpOpenRequest", kConnection},
    {"SendFails", Failing("SendRequest"), 1000, Modes::All, "WinHttpSendRequest", kRequest},
    {"FileNotCreated", Failing("CreateFileW"), 1000, Modes::All, "CreateFileW", kRequest},
    {"NoResponse", Failing("ReceiveResponse"), 1000, Modes::All, "WinHttpReceiveResponse", kFile},
    {"StatusUnreadable", Failing("QueryStatusCode"), 1000, Modes::All, "QueryStatusCode", kFile},
    {"Status404", HttpStatus(404), 1000, Modes::All, "QueryStatusCode", kFile},
    {"Status500", HttpStatus(500), 1000, Modes::All, "QueryStatusCode", kFile},
    {"Status206", HttpStatus(206), 1000, Modes::All, "QueryStatusCode", kFile},
    {"NoContentLength", Script([](fake::World& w) { w.http.contentLength.reset(); }), 1000, Modes::All,
     "QueryContentLength", kFile},
    {"AvailabilityFailsAtFirstChunk", Script([](fake::World& w) { w.http.failAvailableAtChunk = 0; }), 1000, Modes::All,
     "QueryDataAvailable", kFile},
    {"AvailabilityFailsAfterAChunk", Script([](fake::World& w) { w.http.failAvailableAtChunk = 1; }), 1000, Modes::All,
     "QueryDataAvailable", kFile},
    {"BufferRefusedAtFirstChunk", Script([](fake::World& w) { w.memory.failAllocationAt = 0; }), 7, Modes::All,
     "Allocate", kFile},
    {"BufferRefusedAtSecondChunk", Script([](fake::World& w) { w.memory.failAllocationAt = 1; }), 7, Modes::All,
     "Allocate", kFile},
    {"ReadFailsAtFirstChunk", Script([](fake::World& w) { w.http.failReadAtChunk = 0; }), 1000, Modes::All,
     "WinHttpReadData", kChunkAndFile},
    {"ReadFailsAtSecondChunk", Script([](fake::World& w) { w.http.failReadAtChunk = 1; }), 1000, Modes::All,
     "WinHttpReadData", kChunkAndFile},
    {"WriteFails", Failing("WriteFile"), 1000, Modes::All, "WriteFile", kChunkAndFile},
    {"WriteComesUpShort", Script([](fake::World& w) { w.files.shortWriteBy = 1; }), 1000, Modes::All, "WriteFile",
     kChunkAndFile},
    // The counts disagree only once every handle is closed: the file goes last.
    {"BodyShorterThanDeclared", Script([](fake::World& w) { w.http.contentLength = 7; }), 1000, Modes::All,
     "QueryDataAvailable", kHandlesThenFile},
    {"BodyLongerThanDeclared", Script([](fake::World& w) { w.http.contentLength = 5; }), 1000, Modes::All,
     "QueryDataAvailable", kHandlesThenFile},
};

class FailingAttempt : public ::testing::TestWithParam<FailCase> {};

TEST_P(FailingAttempt, ClosesWhatItOpenedInReverseOrderAndLeavesNoFile) {
    const FailCase& c = GetParam();
    for (NetworkMode mode : kAllModes) {
        if (c.modes == Modes::IeOnly && mode != NetworkMode::IeProxy) continue;
        SCOPED_TRACE(ModeName(mode));
        AttemptRun run;
        c.script(run.world);

        EXPECT_EQ(run.Run(mode, c.url, c.path), 0);
        EXPECT_EQ(run.status.Code(), c.code);
        EXPECT_EQ(run.status.Mode(), static_cast<std::int32_t>(mode));
        if (c.failsAt == nullptr) {
            EXPECT_EQ(run.world.journal.calls, Calls{});
        } else {
            EXPECT_EQ(run.CallsAfterLast(c.failsAt), c.cleanUp);
        }
        // Each handle closed once: no close happened before the clean-up.
        Calls closes;
        std::copy_if(c.cleanUp.begin(), c.cleanUp.end(), std::back_inserter(closes),
                     [](const std::string& call) { return call.rfind("close ", 0) == 0; });
        EXPECT_EQ(run.world.journal.Starting("close "), closes);
        EXPECT_FALSE(run.FileKept());
        EXPECT_EQ(run.world.memory.live, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(EachStep, FailingAttempt, ::testing::ValuesIn(kFailCases),
                         [](const ::testing::TestParamInfo<FailCase>& info) { return std::string(info.param.name); });

// --- Success ---

TEST(Attempt, MultiChunkBodyLandsByteExactWithPositionsInOrderAndHandlesClosedOnce) {
    for (NetworkMode mode : kAllModes) {
        SCOPED_TRACE(ModeName(mode));
        AttemptRun run;
        run.world.http.contentLength = 10;
        run.world.http.chunks = {"0123", "456", "789"};

        EXPECT_EQ(run.Run(mode), 1);
        EXPECT_EQ(run.status.Code(), 0u);
        ASSERT_TRUE(run.FileKept());
        EXPECT_EQ(run.world.files.files[kPath], "0123456789");
        EXPECT_EQ(run.world.journal.Starting("PBM_SETPOS"),
                  (Calls{"PBM_SETPOS bar 40", "PBM_SETPOS bar 70", "PBM_SETPOS bar 100"}));
        EXPECT_EQ(run.CallsAfterLast("QueryDataAvailable"),
                  (Calls{"close file", "close request", "close connection", "close session"}));
        EXPECT_EQ(run.world.journal.Starting("close "),
                  (Calls{"close file", "close request", "close connection", "close session"}));
        EXPECT_FALSE(run.world.journal.Has("DeleteFileW"));
        EXPECT_EQ(run.world.journal.Starting("Allocate").size(), 3u);
        EXPECT_EQ(run.world.memory.live, 0);
        // Each chunk's buffer is released before the next one is asked for.
        int outstanding = 0;
        for (const auto& call : run.world.journal.calls) {
            if (call == "Allocate") ++outstanding;
            if (call == "Free") --outstanding;
            EXPECT_LE(outstanding, 1) << "a chunk buffer outlived its pass";
        }
    }
}

TEST(Attempt, EmptyBodyWithZeroLengthSucceedsWithEmptyFileAndNoPosition) {
    AttemptRun run;
    run.world.http.contentLength = 0;
    run.world.http.chunks.clear();

    EXPECT_EQ(run.Run(NetworkMode::Direct), 1);
    EXPECT_EQ(run.status.Code(), 0u);
    ASSERT_TRUE(run.FileKept());
    EXPECT_EQ(run.world.files.files[kPath], "");
    EXPECT_TRUE(run.world.windows.positions.empty());
    EXPECT_FALSE(run.world.journal.Has("Allocate"));
}

// --- What reaches WinHTTP ---

struct ModeCase {
    NetworkMode mode;
    std::uint32_t access;
};

TEST(Attempt, SessionUsesTheBrowserAgentAndTheModesAccessType) {
    const ModeCase cases[] = {{NetworkMode::Direct, 1}, {NetworkMode::DefaultProxy, 0}, {NetworkMode::IeProxy, 3}};
    for (const ModeCase& c : cases) {
        SCOPED_TRACE(ModeName(c.mode));
        AttemptRun run;
        run.Run(c.mode);
        EXPECT_EQ(run.world.http.userAgent,
                  L"Mozilla/5.0 (Windows; U; Windows NT 6.1; en-US; rv:1.9.2) Gecko/20100115 Firefox/3.6");
        EXPECT_EQ(run.world.http.access, c.access);
        // No proxy of our own unless the user's settings name one (here they name none).
        EXPECT_TRUE(run.world.http.proxyNull);
        EXPECT_TRUE(run.world.http.bypassNull);
        EXPECT_EQ(run.world.journal.Has("GetIEProxyConfig"), c.mode == NetworkMode::IeProxy);
    }
}

TEST(Attempt, RequestIsAFreshGetWithTheUsualAcceptTypes) {
    AttemptRun run;
    ASSERT_EQ(run.Run(NetworkMode::Direct), 1);
    EXPECT_EQ(run.world.http.verb, L"GET");
    EXPECT_EQ(run.world.http.version, L"HTTP/1.1");
    EXPECT_EQ(run.world.http.acceptTypes, (std::vector<std::wstring>{L"text/*", L"application/*", L"image/*"}));
    EXPECT_EQ(run.world.http.requestFlags, 0x100u);
}

struct UrlCase {
    std::wstring url;
    std::wstring host;
    std::uint16_t port;
    std::wstring object;
};

TEST(Attempt, HostPortAndPathReachTheRequestExactlyAndTheQueryNever) {
    const UrlCase cases[] = {
        {L"http://127.0.0.1", L"127.0.0.1", 80, L""},
        {L"http://127.0.0.1:8080/QornProSetup.exe?x=1", L"127.0.0.1", 8080, L"/QornProSetup.exe"},
        {L"http://dl.example.test/a/b/QornProSetup.exe", L"dl.example.test", 80, L"/a/b/QornProSetup.exe"},
        {L"http://dl.example.test:81?x=1&y=2", L"dl.example.test", 81, L""},
        // The longest parts that still fit are kept whole.
        {L"http://" + std::wstring(1023, L'h') + L":8000/x", std::wstring(1023, L'h'), 8000, L"/x"},
        {L"http://h/" + std::wstring(1022, L'p') + L"?q", L"h", 80, L"/" + std::wstring(1022, L'p')},
    };
    for (const UrlCase& c : cases) {
        SCOPED_TRACE(fake::Narrow(c.url.substr(0, 60).c_str()));
        AttemptRun run;
        EXPECT_EQ(run.Run(NetworkMode::Direct, c.url.c_str()), 1);
        EXPECT_EQ(run.world.http.connectedHost, c.host);
        EXPECT_EQ(run.world.http.connectedPort, c.port);
        EXPECT_EQ(run.world.http.requestedObject, c.object);
    }
}

// --- The record the animator reads ---

TEST(Attempt, RecordShowsModeAndTheCodeOfEachStepReached) {
    const std::pair<const char*, std::uint32_t> steps[] = {
        {"WinHttpOpen", 1001},         {"WinHttpCrackUrl", 1},    {"WinHttpConnect", 2},
        {"WinHttpOpenRequest", 3},     {"WinHttpSendRequest", 4}, {"CreateFileW", 5},
        {"WinHttpReceiveResponse", 5}, {"QueryStatusCode", 6},    {"WinHttpReadData", 6},
        {"PBM_SETPOS bar 50", 8},      {"WriteFile", 8},          {"close file", 8},
    };
    for (NetworkMode mode : kAllModes) {
        SCOPED_TRACE(ModeName(mode));
        AttemptRun run;
        run.status.SetMode(NetworkMode::None);
        run.status.SetCode(StatusCode::Initializing);
        ASSERT_EQ(run.Run(mode), 1);
        const auto m = static_cast<std::int32_t>(mode);
        // The very first call already sees the new mode together with 1001.
        EXPECT_EQ(run.world.journal.statusAtCall.front(), std::make_pair(m, 1001u));
        for (const auto& [call, code] : steps)
            EXPECT_EQ(run.world.journal.StatusAt(call), std::make_pair(m, code)) << call;
    }
}

// --- The user's proxy settings ---

struct IeCase {
    const char* name;
    bool withAutoConfig, withProxy, withBypass;
    bool openFails;
};

TEST(Attempt, IeSettingsPassUnchangedAndEachStringIsFreedOnceRightAfterOpen) {
    const IeCase cases[] = {
        {"all three", true, true, true, false},    {"all three, open refused", true, true, true, true},
        {"proxy only", false, true, false, false}, {"bypass and script", true, false, true, false},
        {"none", false, false, false, false},      {"none, open refused", false, false, false, true},
    };
    for (const IeCase& c : cases) {
        SCOPED_TRACE(c.name);
        wchar_t autoConfig[] = L"http://wpad.example.test/proxy.pac";
        wchar_t proxy[] = L"proxy.example.test:3128";
        wchar_t bypass[] = L"<local>;*.example.test";
        AttemptRun run;
        run.world.http.ieConfig.autoConfigUrl = c.withAutoConfig ? autoConfig : nullptr;
        run.world.http.ieConfig.proxy = c.withProxy ? proxy : nullptr;
        run.world.http.ieConfig.proxyBypass = c.withBypass ? bypass : nullptr;
        if (c.openFails) run.world.http.failing.insert("Open");

        EXPECT_EQ(run.Run(NetworkMode::IeProxy), c.openFails ? 0 : 1);
        EXPECT_EQ(run.world.http.access, 3u);
        EXPECT_EQ(run.world.http.proxyNull, !c.withProxy);
        EXPECT_EQ(run.world.http.bypassNull, !c.withBypass);
        EXPECT_EQ(run.world.http.openedProxy, c.withProxy ? proxy : L"");
        EXPECT_EQ(run.world.http.openedBypass, c.withBypass ? bypass : L"");

        std::vector<wchar_t*> expected;
        for (wchar_t* text :
             {c.withAutoConfig ? autoConfig : nullptr, c.withProxy ? proxy : nullptr, c.withBypass ? bypass : nullptr})
            if (text != nullptr) expected.push_back(text);
        std::vector<wchar_t*> freed = run.world.http.freedStrings;
        std::sort(expected.begin(), expected.end());
        std::sort(freed.begin(), freed.end());
        EXPECT_EQ(freed, expected);

        // Freed straight after WinHttpOpen, before anything else happens.
        Calls afterOpen(expected.size(), "FreeProxyString");
        if (!c.openFails) afterOpen.push_back("WinHttpCrackUrl");
        const Calls seen = run.CallsAfterLast("WinHttpOpen");
        EXPECT_EQ(Calls(seen.begin(), seen.begin() + static_cast<long>(std::min(seen.size(), afterOpen.size()))),
                  afterOpen);
        EXPECT_EQ(run.world.journal.Starting("FreeProxyString").size(), expected.size());
    }
}

// --- Progress position ---

struct PositionCase {
    std::uint32_t received, declared;
    std::int32_t position;
};

TEST(ProgressPosition, IsSignedPercentTruncatedWithoutIntegerOverflow) {
    const PositionCase cases[] = {
        {0, 100, 0},
        {50, 100, 50},
        {1, 3, 33},
        {2, 3, 66},  // truncated, not rounded
        {100, 100, 100},
        {150, 100, 150},  // not capped
        {5, 0, 0},
        {0, 0, 0},
        {50'000'000, 100'000'000, 50},  // received * 100 would overflow 32 bits
        {0x7FFFFFFF, 0x7FFFFFFF, 100},
        // Both counts are read as signed 32-bit values.
        {1, 0xFFFFFFFF, -100},
        {0xFFFFFFFF, 100, -1},
        {0x80000000, 0x80000000, 100},
        {3'000'000'000u, 4'000'000'000u, 439},
    };
    for (const PositionCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.received) + " of " + std::to_string(c.declared));
        EXPECT_EQ(ProgressPosition(c.received, c.declared), c.position);
        fake::World world;
        SetProgressPercent(world.windows, fake::kProgressBar, c.received, c.declared);
        EXPECT_EQ(world.journal.calls, Calls{"PBM_SETPOS bar " + std::to_string(c.position)});
    }
}

TEST(Attempt, PositionsFollowTheDeclaredLengthEvenPastAHundred) {
    AttemptRun run;
    run.world.http.contentLength = 4;
    run.world.http.chunks = {"abcd", "ef"};
    EXPECT_EQ(run.Run(NetworkMode::Direct), 0);
    EXPECT_EQ(run.world.windows.positions, (std::vector<std::int32_t>{100, 150}));

    AttemptRun thirds;
    thirds.world.http.contentLength = 3;
    thirds.world.http.chunks = {"a", "b", "c"};
    EXPECT_EQ(thirds.Run(NetworkMode::Direct), 1);
    EXPECT_EQ(thirds.world.windows.positions, (std::vector<std::int32_t>{33, 66, 100}));
}

}  // namespace
