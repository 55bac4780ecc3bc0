// The web server on real sockets, with a document on the virtual instrument:
// who gets in, what a read-only page refuses, which names load, and what a
// client may cost.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <fstream>
#include <regex>

#include "base/atomic_file.h"
#include "document/state_file.h"
#include "e2e/virtual_unit_fixture.h"
#include "panel/web/state_file_names.h"
#include "panel/web/sweep_broadcast.h"
#include "panel/web/web_controls.h"
#include "panel/web/web_server.h"
#include "support/loopback_client.h"
#include "support/row_name.h"

namespace tavlin {
namespace {

using std::chrono::milliseconds;

std::string ControlRequest(const std::string& type, const std::string& body) {
    return "POST /api/control HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: " + type +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
           body;
}

class WebServerTest : public test::VirtualUnitTest {
  protected:
    ~WebServerTest() override {
        web.reset();
        std::filesystem::remove_all(folder);
    }
    void Serve(WebSettings settings) {
        settings.port = 0;
        settings.stateFolder = folder;
        web = std::make_unique<WebServer>(std::move(settings));
        std::string error;
        ASSERT_TRUE(web->Start(error)) << error;
        web->Attach(Start({Cw(915e6, -20.0)}));
    }
    // The whole reply to one request sent on its own connection.
    std::string Exchange(const std::string& request) const {
        test::LoopbackClient client(web->Port());
        client.Send(request);
        return client.ReadLines(1 << 30, 3000);
    }
    std::string Get(const std::string& path, const std::string& headers = "") const {
        const std::string host = headers.starts_with("Host:") ? "" : "Host: 127.0.0.1\r\n";
        return Exchange("GET " + path + " HTTP/1.1\r\n" + host + headers +
                        "Connection: close\r\n\r\n");
    }
    static std::string Status(const std::string& reply) { return reply.substr(9, 3); }
    static std::string Body(const std::string& reply) {
        return reply.substr(reply.find("\r\n\r\n") + 4);
    }

    const std::filesystem::path folder = test::MakeTestDirectory("tavlin-web");
    std::unique_ptr<WebServer> web;
};

struct AccessRow {
    const char* name;
    bool tokenFile;
    const char* query;    // after the path; {T} stands for the token
    const char* headers;  // likewise
    const char* status;
};

class WebAccessTest : public WebServerTest, public ::testing::WithParamInterface<AccessRow> {};

std::string WithToken(std::string text, const std::string& token) {
    return std::regex_replace(text, std::regex("\\{T\\}"), token);
}

TEST_P(WebAccessTest, AnswersOnlyWhoBringsTheToken) {
    const AccessRow& row = GetParam();
    WebSettings settings;
    if (row.tokenFile) {
        settings.tokenFile = folder / "token";
    }
    Serve(settings);
    std::string token;
    std::ifstream(folder / "token") >> token;
    const std::string reply = Get(WithToken("/api/screen" + std::string(row.query), token),
                                  WithToken(row.headers, token));
    EXPECT_EQ(Status(reply), row.status) << reply;
    if (Status(reply) != "200") {
        EXPECT_EQ(Body(reply), "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, WebAccessTest,
    ::testing::Values(AccessRow{"LoopbackWithoutTokenFile", false, "", "", "200"},
                      AccessRow{"StrangersHostName", false, "", "Host: evil.example\r\n", "403"},
                      AccessRow{"NoToken", true, "", "", "401"},
                      AccessRow{"WrongToken", true, "?token={T}x", "", "401"},
                      AccessRow{"TokenInTheAddress", true, "?token={T}", "", "200"},
                      AccessRow{"BearerToken", true, "", "Authorization: Bearer {T}\r\n", "200"},
                      AccessRow{"CookieOfTheFirstLoad", true, "",
                                "Cookie: a=b; tavlin_token={T}\r\n", "200"}),
    test::kRowName);

TEST_F(WebServerTest, TokenFileIsMadeForItsOwnerAloneAndKept) {
    Serve({.tokenFile = folder / "token"});
    struct stat made {};
    ASSERT_EQ(::stat((folder / "token").c_str(), &made), 0);
    EXPECT_EQ(made.st_mode & 0777, 0600u);
    std::string first;
    std::ifstream(folder / "token") >> first;
    web.reset();
    Serve({.tokenFile = folder / "token"});
    EXPECT_EQ(Status(Get("/api/screen?token=" + first)), "200");

    std::ofstream(folder / "short") << "abc\n";
    WebServer refused({.port = 0, .tokenFile = folder / "short"});
    std::string error;
    EXPECT_FALSE(refused.Start(error));
    EXPECT_NE(error.find("at least 16"), std::string::npos) << error;
}

TEST_F(WebServerTest, ReadOnlyPageShowsButTakesNoKey) {
    WebSettings readOnly;
    readOnly.readOnly = true;
    Serve(readOnly);
    EXPECT_EQ(Status(Exchange(
                  ControlRequest("application/json", R"({"action": "center", "value": "433"})"))),
              "403");
    EXPECT_DOUBLE_EQ(doc->Frequencies().CenterHz(), 915e6);
    EXPECT_EQ(Status(Get("/api/screen")), "200");
}

// The unit gone, the page says so and refuses the keys until the next
// session hands it a document.
TEST_F(WebServerTest, PageWithoutTheUnitSaysSoAndTakesNoKey) {
    Serve({});
    EXPECT_TRUE(test::Eventually(
        [&] { return Get("/api/screen").find(R"("connected":true)") != std::string::npos; }));
    web->Detach();
    EXPECT_TRUE(test::Eventually([&] {
        const std::string screen = Get("/api/screen");
        return screen.find(R"("connected":false,"unit":{"calDate")") != std::string::npos;
    }));
    EXPECT_EQ(Status(Exchange(ControlRequest("application/json", R"({"action": "peak"})"))), "503");
}

struct BoundRow {
    const char* name;
    std::string request;
    const char* status;
};

class WebBoundTest : public WebServerTest, public ::testing::WithParamInterface<BoundRow> {};

TEST_P(WebBoundTest, RefusesWhatIsTooMuchOrNotThePages) {
    Serve({});
    const std::string reply = Exchange(GetParam().request);
    EXPECT_EQ(Status(reply), GetParam().status) << reply.substr(0, 200);
    EXPECT_DOUBLE_EQ(doc->Frequencies().CenterHz(), 915e6);
}

std::string ManyHeaders(int count) {
    std::string headers;
    for (int i = 0; i < count; ++i) {
        headers += "X-Filler-" + std::to_string(i) + ": x\r\n";
    }
    return "GET /api/screen HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" + headers +
           "\r\n";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, WebBoundTest,
    ::testing::Values(
        BoundRow{"TooManyHeaders", ManyHeaders(WebServer::kMostHeaders + 1), "431"},
        BoundRow{"TooLargeBody",
                 ControlRequest("application/json", std::string(WebServer::kLargestBody + 1, ' ')),
                 "413"},
        BoundRow{"FormPostedByAnotherSite",
                 ControlRequest("application/x-www-form-urlencoded", "action=center&value=433"),
                 "415"},
        BoundRow{"StateNameClimbingOut",
                 ControlRequest("application/json", R"({"action": "load", "value": "../a.pqz"})"),
                 "400"},
        BoundRow{"FileOfTheDisk",
                 "GET /etc/passwd HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n",
                 "404"}),
    test::kRowName);

// A page whose browser takes no data fills its socket and stops there: the
// other pages go on getting every screen.
TEST_F(WebServerTest, PageThatNeverReadsDoesNotStopTheOthers) {
    Serve({});
    test::LoopbackClient stuck(web->Port());
    const int small = 4096;
    ::setsockopt(stuck.Fd(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    stuck.Send("GET /api/stream HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    for (int i = 0; i < 300; ++i) {
        web->InvalidateTrace();
        std::this_thread::sleep_for(milliseconds(2));
    }
    test::LoopbackClient watcher(web->Port());
    watcher.Send("GET /api/stream HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    std::string seen;
    for (int i = 0; i < 50 && std::ranges::count(seen, '\n') < 12; ++i) {
        web->InvalidateTrace();
        seen += watcher.ReadLines(1, 100);
    }
    EXPECT_GE(std::regex_search(seen, std::regex("data: \\{.*\"connected\":true")), true);
    EXPECT_GE(std::ranges::count(seen, '\n'), 12) << seen.substr(0, 300);
}

// The library keeps every header line it is sent until the blank line: a
// page that never sends one is cut off once it has sent its budget, long
// before the eight MiB it tries.
TEST_F(WebServerTest, EndlessHeadersAreCutOff) {
    Serve({});
    test::LoopbackClient flood(web->Port());
    const std::string line = "X-Filler: " + std::string(4000, 'a') + "\r\n";
    std::string lines;
    for (int i = 0; i < 16; ++i) {
        lines += line;
    }
    flood.Send("GET /api/screen HTTP/1.1\r\nHost: 127.0.0.1\r\n");
    bool cut = false;
    for (std::size_t sent = 0; sent < 8 * 1024 * 1024 && !cut; sent += lines.size()) {
        cut = ::send(flood.Fd(), lines.data(), lines.size(), MSG_NOSIGNAL) < 0;
    }
    EXPECT_TRUE(cut);
    EXPECT_EQ(Status(Get("/api/screen")), "200");
}

struct NameRow {
    const char* name;
    const char* fileName;
    bool acceptable;
};

class StateNameTest : public ::testing::TestWithParam<NameRow> {};

TEST_P(StateNameTest, OnlyPlainStateFileNames) {
    EXPECT_EQ(StateFileNames::Acceptable(GetParam().fileName), GetParam().acceptable);
}

INSTANTIATE_TEST_SUITE_P(Rows, StateNameTest,
                         ::testing::Values(NameRow{"Plain", "band 1.pqz", true},
                                           NameRow{"ParentFolder", "../band.pqz", false},
                                           NameRow{"DotsInside", "a..pqz", false},
                                           NameRow{"SubFolder", "sub/band.pqz", false},
                                           NameRow{"Backslash", "sub\\band.pqz", false},
                                           NameRow{"Hidden", ".band.pqz", false},
                                           NameRow{"OtherExtension", "band.txt", false},
                                           NameRow{"ExtensionAlone", ".pqz", false},
                                           NameRow{"ControlCharacter", "a\nb.pqz", false}),
                         test::kRowName);

// A link in the folder could lead anywhere: it is neither listed nor loaded.
TEST_F(WebServerTest, StateFilesOfTheFolderAreListedButNoLink) {
    std::ofstream(folder / "b.pqz") << "x";
    std::ofstream(folder / "a.pqz") << "x";
    std::filesystem::create_directory(folder / "dir.pqz");
    std::filesystem::create_symlink("/etc/hostname", folder / "link.pqz");
    const StateFileNames names(folder);
    EXPECT_EQ(names.List(), (std::vector<std::string>{"a.pqz", "b.pqz"}));
    EXPECT_FALSE(names.Resolve("link.pqz"));
    EXPECT_EQ(names.Resolve("a.pqz"), folder / "a.pqz");
}

struct KeyRow {
    const char* name;
    const char* action;
    const char* value;
    bool done;
    double centerHz;
    double spanHz;
    double refDbm;
};

class WebKeyTest : public test::VirtualUnitTest, public ::testing::WithParamInterface<KeyRow> {};

// The keys run the window's entry checks and front-panel commands: a bare
// frequency is in MHz, a refused entry changes nothing.
TEST_P(WebKeyTest, DoesWhatTheWindowsKeyDoes) {
    const KeyRow& row = GetParam();
    AnalyzerDocument& document = Start({Cw(915e6, -20.0)});
    StateRecord band;
    band.startFreqHz = 100e6;
    band.stopFreqHz = 200e6;
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(cacheDir / "band.pqz", EncodeStateFile(band), error));
    const StateFileNames states(cacheDir);
    EXPECT_EQ(WebControls(document, states).Run(row.action, row.value).empty(), row.done);
    EXPECT_DOUBLE_EQ(document.Frequencies().CenterHz(), row.centerHz);
    EXPECT_DOUBLE_EQ(document.Frequencies().SpanHz(), row.spanHz);
    EXPECT_DOUBLE_EQ(document.Settings().refLevelDbm, row.refDbm);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, WebKeyTest,
    ::testing::Values(KeyRow{"CentreInMhz", "center", "433.92", true, 433.92e6, 26e6, 0.0},
                      KeyRow{"SpanWithUnit", "span", "2 MHz", true, 915e6, 2e6, 0.0},
                      KeyRow{"Reference", "reference", "-20", true, 915e6, 26e6, -20.0},
                      KeyRow{"NotANumber", "center", "abc", false, 915e6, 26e6, 0.0},
                      KeyRow{"StateFile", "load", "band.pqz", true, 150e6, 100e6, 0.0},
                      KeyRow{"NoSuchFile", "load", "none.pqz", false, 915e6, 26e6, 0.0}),
    test::kRowName);

// A watcher gets the newest screen only, and a closed broadcast wakes it.
TEST(SweepBroadcastTest, SlowWatcherSkipsToTheNewest) {
    SweepBroadcast broadcast;
    for (const char* text : {"a", "b", "c"}) {
        broadcast.Publish(text);
    }
    const auto newest = broadcast.WaitNewer(0, milliseconds(0));
    ASSERT_TRUE(newest);
    EXPECT_EQ(newest->seq, 3u);
    EXPECT_EQ(*newest->text, "c");
    EXPECT_FALSE(broadcast.WaitNewer(3, milliseconds(10)));
    broadcast.Close();
    EXPECT_FALSE(broadcast.WaitNewer(0, std::chrono::hours(1)));
}

}  // namespace
}  // namespace tavlin
