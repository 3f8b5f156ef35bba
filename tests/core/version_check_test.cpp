#include <gtest/gtest.h>

#include "support/loopback_http_server.h"
#include "update/http_client.h"
#include "update/http_reply.h"
#include "update/version_check.h"
#include "update/version_reply.h"

namespace ostravex {
namespace {

using testing::LoopbackHttpServer;
using Kind = VersionReply::Kind;

TEST(VersionReply, RepliesAndWhatTheyMean) {
    struct Row {
        std::string body;
        Kind kind;
        std::string text;
    };
    for (const Row& row : {
             Row{"enabled\r\n250\r\n", Kind::LatestVersion, ""},
             Row{"enabled\n251\n", Kind::NewBuild, "251"},
             Row{"enabled\r\n249\r\n", Kind::NewBuild, "249"},
             Row{"enabled\r\n 250\r\n", Kind::NewBuild, " 250"},
             Row{"enabled\r\n250", Kind::LatestVersion, ""},
             Row{"enabled\r250\r", Kind::LatestVersion, ""},
             Row{"service enabled now\r\n250\r\n", Kind::LatestVersion, ""},
             Row{"disabled,Service closed today\r\nx\r\n", Kind::Notice, "Service closed today"},
             Row{"disabled for now\r\nx\r\n", Kind::Notice, "disabled for now"},
             Row{"disabled", Kind::CouldNotCheck, ""},
             Row{"", Kind::CouldNotCheck, ""},
             Row{"<html>\r\n<body>\r\n", Kind::Nothing, ""},
             Row{"Enabled\r\n250\r\n", Kind::Nothing, ""},
         }) {
        const VersionReply reply = InterpretVersionReply(row.body);
        EXPECT_EQ(reply.kind, row.kind) << row.body;
        EXPECT_EQ(reply.text, row.text) << row.body;
    }
}

TEST(VersionCheck, AddressAndConfiguredHosts) {
    EXPECT_EQ(VersionCheckUrl("127.0.0.1:8080"),
              "http://127.0.0.1:8080/apps/versioncheck.php?app=Ostravex");
    EXPECT_TRUE(IsVersionServiceConfigured("127.0.0.1:8080"));
    EXPECT_FALSE(IsVersionServiceConfigured("versioncheck.ostravex.invalid"));
    EXPECT_FALSE(IsVersionServiceConfigured(""));
}

HttpGetOptions Quick() {
    HttpGetOptions options;
    options.inactivityTimeout = std::chrono::milliseconds(1000);
    return options;
}

TEST(HttpClient, SendsExactlyTheFourLines) {
    LoopbackHttpServer server(
        [](const std::string&) { return LoopbackHttpServer::Reply(200, "enabled\r\n250\r\n"); });
    int pumps = 0;
    HttpGetOptions options = Quick();
    options.pump = [&] { ++pumps; };
    HttpReply reply;
    ASSERT_TRUE(HttpGet(VersionCheckUrl(server.hostAndPort()), options, reply).ok());
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body, "enabled\r\n250\r\n");
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0],
              "GET /apps/versioncheck.php?app=Ostravex HTTP/1.0\r\n"
              "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"
              "User-Agent: Mozilla/4.0 (compatible; ICS)\r\n"
              "Host: 127.0.0.1:" +
                  std::to_string(server.port()) +
                  "\r\n"
                  "\r\n");
    EXPECT_EQ(HttpRequestBytes("/x", "example.org", 80).find("Host: example.org\r\n") !=
                  std::string::npos,
              true);
}

TEST(HttpClient, FollowsRedirectionsWithAHostLineEach) {
    LoopbackHttpServer target(
        [](const std::string&) { return LoopbackHttpServer::Reply(200, "enabled\r\n251\r\n"); });
    const std::string targetUrl = "http://" + target.hostAndPort() + "/final";
    LoopbackHttpServer first([&](const std::string& request) -> std::optional<std::string> {
        if (request.starts_with("GET /apps/")) {
            return LoopbackHttpServer::Reply(302, "", "Location: /moved?x=1\r\n");
        }
        return LoopbackHttpServer::Reply(301, "", "Location: " + targetUrl + "\r\n");
    });
    HttpReply reply;
    ASSERT_TRUE(HttpGet(VersionCheckUrl(first.hostAndPort()), Quick(), reply).ok());
    EXPECT_EQ(reply.body, "enabled\r\n251\r\n");
    ASSERT_EQ(first.requests().size(), 2u);
    EXPECT_TRUE(first.requests()[1].starts_with("GET /moved?x=1 HTTP/1.0\r\n"));
    ASSERT_EQ(target.requests().size(), 1u);
    EXPECT_NE(target.requests()[0].find("Host: " + target.hostAndPort() + "\r\n"),
              std::string::npos);
}

TEST(HttpClient, StopsAfterFiveRedirections) {
    LoopbackHttpServer loop([](const std::string&) {
        return LoopbackHttpServer::Reply(302, "", "Location: /again\r\n");
    });
    HttpReply reply;
    const Status status = HttpGet(VersionCheckUrl(loop.hostAndPort()), Quick(), reply);
    EXPECT_EQ(status.reason(), "Too many redirections");
    EXPECT_EQ(loop.requests().size(), 6u);
}

TEST(HttpClient, ErrorsAndTheInactivityTimeout) {
    LoopbackHttpServer failing(
        [](const std::string&) { return LoopbackHttpServer::Reply(500, "oops"); });
    HttpReply reply;
    EXPECT_EQ(HttpGet(VersionCheckUrl(failing.hostAndPort()), Quick(), reply).reason(),
              "500 Reason");

    LoopbackHttpServer unauthorised(
        [](const std::string&) { return LoopbackHttpServer::Reply(401, "enabled\r\n250\r\n"); });
    EXPECT_TRUE(HttpGet(VersionCheckUrl(unauthorised.hostAndPort()), Quick(), reply).ok());
    EXPECT_EQ(reply.status, 401);

    LoopbackHttpServer silent([](const std::string&) { return std::nullopt; });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(HttpGet(VersionCheckUrl(silent.hostAndPort()), Quick(), reply).reason(),
              "Request aborted on timeout");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    // Nobody listens on a port just given back.
    int closedPort = 0;
    {
        LoopbackHttpServer gone([](const std::string&) { return std::nullopt; });
        closedPort = gone.port();
    }
    EXPECT_FALSE(
        HttpGet(VersionCheckUrl("127.0.0.1:" + std::to_string(closedPort)), Quick(), reply).ok());
}

// Replies a server may send, however broken: each is a value or a failure, never a throw.
TEST(HttpReplyParser, StatusLocationAndBody) {
    struct Row {
        std::string name;
        std::string bytes;
        bool ok;
        int status;
        std::string location;
        std::string body;
    };
    for (const Row& row : {
             Row{"plain", "HTTP/1.0 200 OK\r\n\r\nenabled\r\n250\r\n", true, 200, "",
                 "enabled\r\n250\r\n"},
             Row{"no reason", "HTTP/1.1 200\r\n\r\nx", true, 200, "", "x"},
             Row{"lines end in LF", "HTTP/1.0 302 Found\nLocation: /a\n\nbody", true, 302, "/a",
                 "body"},
             Row{"empty Location", "HTTP/1.0 302 Found\r\nLocation:\r\n\r\n", true, 302, "", ""},
             Row{"blank Location", "HTTP/1.0 302 Found\r\nLocation:   \t\r\n\r\n", true, 302, "",
                 ""},
             Row{"Location as last header line", "HTTP/1.0 302 Found\r\nLocation:", false, 0, "",
                 ""},
             Row{"tabs and blanks around Location", "HTTP/1.0 301 M\r\nlocation:\t /b \t\r\n\r\n",
                 true, 301, "/b", ""},
             Row{"first Location counts", "HTTP/1.0 302 F\r\nLocation: /1\r\nLocation: /2\r\n\r\n",
                 true, 302, "/1", ""},
             Row{"body holds CR LF CR LF after LF lines", "HTTP/1.0 200 OK\nX: y\n\na\r\n\r\nb",
                 true, 200, "", "a\r\n\r\nb"},
             Row{"empty body", "HTTP/1.0 204 No Content\r\n\r\n", true, 204, "", ""},
             Row{"one-digit status", "HTTP/1.0 2\r\n\r\n", false, 0, "", ""},
             Row{"negative status", "HTTP/1.0 -12 x\r\n\r\n", false, 0, "", ""},
             Row{"four-digit status", "HTTP/1.0 2000 x\r\n\r\n", false, 0, "", ""},
             Row{"status with letters", "HTTP/1.0 2x0 x\r\n\r\n", false, 0, "", ""},
             Row{"no blank in the status line", "HTTP/1.0\r\n\r\n", false, 0, "", ""},
             Row{"header cut short", "HTTP/1.0 200 OK\r\nContent-Type: text", false, 0, "", ""},
             Row{"not HTTP", "<html>\r\n\r\n</html>", false, 0, "", ""},
             Row{"nothing", "", false, 0, "", ""},
         }) {
        SCOPED_TRACE(row.name);
        ParsedHttpReply reply;
        const Status status = ParseHttpReply(row.bytes, reply);
        ASSERT_EQ(status.ok(), row.ok) << status.reason();
        if (!row.ok) {
            EXPECT_EQ(status.reason(), "The server's reply is not HTTP");
            continue;
        }
        EXPECT_EQ(reply.status, row.status);
        EXPECT_EQ(reply.location, row.location);
        EXPECT_EQ(reply.body, row.body);
    }
}

TEST(HttpClient, ARedirectionWithAnEmptyLocationIsTheFinalDocument) {
    for (const std::string location : {"Location:\r\n", "Location:   \r\n", "Location: \t \r\n"}) {
        SCOPED_TRACE(location);
        LoopbackHttpServer server([&](const std::string&) {
            return LoopbackHttpServer::Reply(302, "enabled\r\n250\r\n", location);
        });
        HttpReply reply;
        const Status status = HttpGet(VersionCheckUrl(server.hostAndPort()), Quick(), reply);
        ASSERT_TRUE(status.ok()) << status.reason();
        EXPECT_EQ(reply.status, 302);
        EXPECT_EQ(reply.body, "enabled\r\n250\r\n");
        EXPECT_EQ(server.requests().size(), 1u);
    }
}

// A redirection names any target a server likes: only plain HTTP to a valid port is
// followed, anything else ends the check with a failure.
TEST(HttpClient, RedirectionsToOtherSchemesOrBadPortsFail) {
    for (const std::string target :
         {"http://127.0.0.1:99999/x", "http://127.0.0.1:0x50/x", "https://127.0.0.1/x",
          "file:///etc/passwd", "ftp://127.0.0.1/x"}) {
        SCOPED_TRACE(target);
        LoopbackHttpServer server([&](const std::string&) {
            return LoopbackHttpServer::Reply(302, "", "Location: " + target + "\r\n");
        });
        HttpReply reply;
        EXPECT_FALSE(HttpGet(VersionCheckUrl(server.hostAndPort()), Quick(), reply).ok());
        EXPECT_EQ(server.requests().size(), 1u);
    }
}

TEST(HttpClient, AReplyLargerThanTheLimitIsRefused) {
    LoopbackHttpServer flood([](const std::string&) {
        return LoopbackHttpServer::Reply(200, std::string(kMaxHttpReplyBytes + 1, 'x'));
    });
    HttpReply reply;
    EXPECT_EQ(HttpGet(VersionCheckUrl(flood.hostAndPort()), Quick(), reply).reason(),
              "The server's reply is too long");

    LoopbackHttpServer justFits([](const std::string&) {
        return LoopbackHttpServer::Reply(200, std::string(kMaxHttpReplyBytes - 1000, 'x'));
    });
    ASSERT_TRUE(HttpGet(VersionCheckUrl(justFits.hostAndPort()), Quick(), reply).ok());
    EXPECT_EQ(reply.body.size(), kMaxHttpReplyBytes - 1000);
}

}  // namespace
}  // namespace ostravex
