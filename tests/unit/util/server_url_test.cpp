#include <gtest/gtest.h>

#include "util/ServerUrl.h"

namespace ZEBInternal {
namespace {

struct Accepted {
    const char* url;
    const char* host;
    uint16_t port;
    const char* path;
};

TEST(ServerUrl, AcceptedForms) {
    const Accepted cases[] = {
        {"collect.example.com:8080/req1", "collect.example.com", 8080, "/req1"},
        {"collect.example.com/req1", "collect.example.com", 443, "/req1"},
        {"collect.example.com", "collect.example.com", 443, ""},
        {"127.0.0.1:8443", "127.0.0.1", 8443, ""},
        {"host?x=1", "host", 443, "?x=1"},
        {"host:81?x=1/y", "host", 81, "?x=1/y"},
        {"host?a=/b:c", "host", 443, "?a=/b:c"},
        {"host:65535/a/b", "host", 65535, "/a/b"},
        // A colon after the path start belongs to the path.
        {"host/a:b", "host", 443, "/a:b"},
        // The port is read like a number in a stream: trailing text ignored.
        {"host:8080x/req1", "host", 8080, "/req1"},
    };
    for (const Accepted& c : cases) {
        ServerUrl u;
        ASSERT_TRUE(parseServerUrl(c.url, 443, u)) << c.url;
        EXPECT_EQ(u.host, c.host) << c.url;
        EXPECT_EQ(u.port, c.port) << c.url;
        EXPECT_EQ(u.path, c.path) << c.url;
    }
}

TEST(ServerUrl, RejectedForms) {
    const char* rejected[] = {
        "",
        "httpserver.example/req1",  // any text starting with "http", even a host name
        "HTTPS.example/req1",
        "https://collect.example.com/req1",
        "collect.example.com/a://b",
        "://",
        ":8080/req1",
        "host :8080/req1",
        "host/re q1",
        "host\t/req1",
        "host/req1\n",
        "/req1",
        "?x=1",
        "host:abc/req1",
        "host:/req1",
        "host:",
        "host:0/req1",
        "host:65536/req1",
        "host:-80/req1",
    };
    for (const char* url : rejected) {
        ServerUrl u{"unchanged", 1, "/kept"};
        EXPECT_FALSE(parseServerUrl(url, 80, u)) << url;
        EXPECT_EQ(u.host, "unchanged") << url;
        EXPECT_EQ(u.port, 1) << url;
    }
}

}  // namespace
}  // namespace ZEBInternal
