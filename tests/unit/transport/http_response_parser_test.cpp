// The strict response reading, from bytes: each way an answer can be
// refused gives its own text, and only an exact 200 answer is accepted.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "transport/HttpResponseParser.h"

namespace {

using ZEBInternal::checkConnectAnswer;
using ZEBInternal::HttpResponseHead;
using ZEBInternal::parseHttpResponse;

std::string parseError(const std::string& bytes) {
    HttpResponseHead head;
    std::string error;
    return parseHttpResponse(bytes.data(), bytes.size(), head, error) ? "accepted" : error;
}

TEST(HttpResponseParser, AcceptsExactTwoHundredWithBinaryBody) {
    const std::string body("a\0b\r\n\r\nc", 8);
    const std::string bytes = "HTTP/1.1 200 OK\r\nServer: ZEB\r\nContent-Length: 8\r\n\r\n" + body;
    HttpResponseHead head;
    std::string error;
    ASSERT_TRUE(parseHttpResponse(bytes.data(), bytes.size(), head, error)) << error;
    EXPECT_EQ(head.code, 200);
    EXPECT_EQ(head.headers, "HTTP/1.1 200 OK\r\nServer: ZEB\r\nContent-Length: 8");
    EXPECT_EQ(bytes.substr(head.bodyOffset), body);
    EXPECT_EQ(head.bodyLength, 8u);
    // Leading spaces and trailing characters around the length are read
    // the way stream extraction reads them.
    EXPECT_EQ(parseError("HTTP/1.1 200 OK\r\nContent-Length:   2;x\r\n\r\nhi"), "accepted");
    EXPECT_EQ(parseError("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"), "accepted");
}

TEST(HttpResponseParser, RefusesEveryMalformedAnswerWithItsText) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"HTT", "Response length less than 4, won't find double newline marker."},
        {"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n", "Unfound HTTP double newline marker."},
        {"HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n", "Non-HTTP/1.1 response."},
        {"HTTP/1.1 abc\r\nContent-Length: 0\r\n\r\n", "Non-numeric for response code = 'abc'."},
        {"HTTP/1.1 200 OK\r\nContent-length: 5\r\n\r\nhello", "Unable to get content length."},
        {"HTTP/1.1 200 OK\r\nContent-Length: five\r\n\r\n",
         "Non-numeric for content length = 'five'."},
        {"HTTP/1.1 200 OK\r\nContent-Length: 99999999999\r\n\r\n",
         "Non-numeric for content length = '99999999999'."},
        {"HTTP/1.1 204 No Content\r\nContent-Length: 0\r\n\r\n",
         "Unexpected response code to find response body data."},
        {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello!",
         "Mismatch in response body data length (6) and content length header (5)."},
        {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhell",
         "Mismatch in response body data length (4) and content length header (5)."},
        // A chunked body has no length to check and is refused.
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nhi\r\n0\r\n\r\n",
         "Unable to get content length."},
    };
    for (const auto& c : cases) EXPECT_EQ(parseError(c.first), c.second) << c.first;
}

TEST(HttpResponseParser, ConnectAnswerNeedsAnHttp1StatusWithA2xxCode) {
    auto check = [](const std::string& bytes) {
        std::string error;
        return checkConnectAnswer(bytes.data(), bytes.size(), error) ? "accepted" : error;
    };
    EXPECT_EQ(check("HTTP/1.1 200 Connection established\r\n\r\n"), "accepted");
    EXPECT_EQ(check("HTTP/1.1 204 x\r\n\r\n"), "accepted");
    EXPECT_EQ(check(""), "(HTTP CONNECT) NULL response data.");
    // HTTP/1.0 is how several proxies answer CONNECT.
    EXPECT_EQ(check("HTTP/1.0 200 Connection established\r\n\r\n"), "accepted");
    EXPECT_EQ(check("HTTP/2 200 OK\r\n\r\n"), "(HTTP CONNECT) Non-HTTP/1.1 response.");
    EXPECT_EQ(check("HTTP/1.0 407 Proxy Authentication Required\r\n\r\n"),
              "(HTTP CONNECT) Non-2xx response code = '407'.");
    EXPECT_EQ(check("HTTP/1.1 407 Proxy Authentication Required\r\n\r\n"),
              "(HTTP CONNECT) Non-2xx response code = '407'.");
    EXPECT_EQ(check("HTTP/1.1 "), "(HTTP CONNECT) Non-2xx response code = ''.");
}

}  // namespace
