// The server's web side as a process, over loopback: the paths it serves,
// the methods it refuses, the bounds on requests and connections, the live
// updates over a WebSocket.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/loopback_server.h"

namespace velmora::testing {
namespace {

constexpr milliseconds kWait(10000);  // bound of every wait for the server
// The server closes a web connection that has not sent a whole request within
// 5 s; waits for that allow for a loaded machine.
constexpr milliseconds kDropWait(20000);

// The value of a metric's sample; -1 when it is missing.
long Counter(const std::string& metrics, const std::string& sample) {
  const std::size_t at = metrics.find("\n" + sample + " ");
  return at == std::string::npos ? -1 : std::stol(metrics.substr(at + sample.size() + 2));
}

std::string Get(const std::string& path, const std::string& method = "GET") {
  return method + " " + path + " HTTP/1.1\r\nHost: localhost\r\n\r\n";
}

class WebLoopbackTest : public ::testing::Test {
 protected:
  WebLoopbackTest()
      : server(VELMORA_SERVER_EXE, {"--missions", VELMORA_SAMPLE_MISSIONS, "--http", "127.0.0.1:0"},
               "") {}

  ServerProcess server;
};

TEST_F(WebLoopbackTest, ServesTheListedPathsToGetOnly) {
  ASSERT_GT(server.WebPort(), 0);
  struct Case {
    std::string request;
    int status;
    std::string type;  // the start of Content-Type
    std::string body;  // a part of the body
  };
  const std::vector<Case> cases = {
      {Get("/"), 200, "text/html", "<script src=\"/app.js\""},
      {Get("/index.html?x=1"), 200, "text/html", "Velmora"},
      {Get("/app.js"), 200, "text/javascript", "textContent"},
      {Get("/style.css"), 200, "text/css", ".vehicle"},
      {Get("/icon.svg"), 200, "image/svg+xml", "<svg"},
      {Get("/map.json"), 200, "application/json", "\"runways\":[{\"name\":"},
      {Get("/api/state"), 200, "application/json", "\"vehicles\":[]"},
      {Get("/metrics"), 200, "text/plain", "velmora_users 0\n"},
      {Get("/api/events"), 426, "text/plain", "WebSocket"},
      {Get("/nope"), 404, "text/plain", "not found"},
      {Get("/../server/missions.txt"), 404, "text/plain", "not found"},
      {Get("/api/state", "HEAD"), 405, "text/plain", ""},
      {"POST /api/state HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\n\r\nabc", 405, "text/plain",
       "only GET"},
  };
  // One kept-alive connection takes them one after another, up to the first
  // refused method, which closes it.
  auto client = std::make_unique<TestClient>(server.WebPort());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request);
    ASSERT_TRUE(client->Send(c.request));
    std::optional<HttpResponse> r = ReadHttpResponse(*client, kWait);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Status, c.status);
    EXPECT_EQ(r->Headers["content-type"].rfind(c.type, 0), 0u) << r->Headers["content-type"];
    EXPECT_NE(r->Body.find(c.body), std::string::npos) << r->Body.substr(0, 200);
    EXPECT_EQ(r->Headers["x-content-type-options"], "nosniff");
    if (c.type == "text/html") {
      EXPECT_NE(r->Headers["content-security-policy"].find("script-src 'self'"), std::string::npos);
    }
    if (c.status == 405) {
      EXPECT_TRUE(client->ClosedWithin(kWait));
      client = std::make_unique<TestClient>(server.WebPort());
    }
  }
}

TEST_F(WebLoopbackTest, RequestsPastTheirBoundsAreAnsweredAndClosed) {
  ASSERT_GT(server.WebPort(), 0);
  struct Case {
    const char* name;
    std::string request;
    int status;
  };
  std::string manyHeaders = "GET /api/state HTTP/1.1\r\n";
  for (int i = 0; i < 40; ++i) manyHeaders += "X-" + std::to_string(i) + ": y\r\n";
  const std::vector<Case> cases = {
      {"a request line of 2048 bytes", Get("/" + std::string(2048 - 14, 'a')), 404},
      {"one of 2049", Get("/" + std::string(2049 - 14, 'a')), 414},
      {"40 headers", manyHeaders + "\r\n", 200},
      {"41", manyHeaders + "X-40: y\r\n\r\n", 431},
      {"a header of 4096 bytes", "GET / HTTP/1.1\r\nX: " + std::string(4093, 'v') + "\r\n\r\n",
       200},
      {"one of 4097", "GET / HTTP/1.1\r\nX: " + std::string(4094, 'v') + "\r\n\r\n", 431},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestClient client(server.WebPort());
    ASSERT_TRUE(client.Send(c.request));
    const std::optional<HttpResponse> r = ReadHttpResponse(client, kWait);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Status, c.status);
    if (c.status >= 414) {
      EXPECT_TRUE(client.ClosedWithin(kWait));
    }
  }
}

TEST_F(WebLoopbackTest, AtMost64ConnectionsAndSlowOnesAreDropped) {
  ASSERT_GT(server.WebPort(), 0);
  // 64 connections, each known to the server by its answer and kept alive.
  std::vector<std::unique_ptr<TestClient>> open;
  for (int i = 0; i < 64; ++i) {
    open.push_back(std::make_unique<TestClient>(server.WebPort()));
    ASSERT_TRUE(open.back()->Send(Get("/nope")));
  }
  for (auto& client : open) ASSERT_TRUE(ReadHttpResponse(*client, kWait));
  TestClient refused(server.WebPort());
  refused.Send(Get("/api/state"));
  const std::optional<std::string> busy = refused.ReadLine(kWait);
  EXPECT_TRUE(!busy || busy->rfind("HTTP/1.1 503", 0) == 0) << *busy;
  EXPECT_TRUE(refused.ClosedWithin(kWait));

  // One leaves: a new one gets in, once the server has seen it go.
  open.pop_back();
  std::optional<HttpResponse> served;
  for (const auto until = Clock::now() + kWait; Clock::now() < until;) {
    TestClient next(server.WebPort());
    next.Send(Get("/metrics"));
    served = ReadHttpResponse(next, kWait);
    if (served && served->Status != 503) break;
  }
  ASSERT_TRUE(served);
  EXPECT_EQ(served->Status, 200);

  // The kept-alive ones are closed in time, and so is a request that never ends:
  // without an answer.
  for (auto& client : open) EXPECT_TRUE(client->ClosedWithin(kDropWait));
  TestClient slow(server.WebPort());
  slow.Send("GET /api/state HTTP/1.1\r\nHost: x\r\n");
  EXPECT_FALSE(slow.ReadLine(kDropWait));
  EXPECT_TRUE(slow.Closed()) << "closed, not timed out";
  TestClient after(server.WebPort());
  after.Send(Get("/metrics"));
  const std::optional<HttpResponse> metrics = ReadHttpResponse(after, kWait);
  ASSERT_TRUE(metrics);
  EXPECT_GE(Counter(metrics->Body, "velmora_web_refusals_total{reason=\"too_many_connections\"}"),
            1);
  EXPECT_GE(Counter(metrics->Body, "velmora_web_refusals_total{reason=\"slow_or_idle\"}"), 64);
}

TEST_F(WebLoopbackTest, LiveUpdatesComeOverAWebSocketOnItsPathOnly) {
  ASSERT_GT(server.WebPort(), 0);
  const std::string upgrade =
      " HTTP/1.1\r\nHost: x\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
      "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";
  TestClient viewer(server.WebPort());
  viewer.Send("GET /api/events" + upgrade);
  const std::optional<std::string> status = viewer.ReadLine(kWait);
  ASSERT_TRUE(status);
  EXPECT_EQ(status->rfind("HTTP/1.1 101", 0), 0u) << *status;
  ASSERT_TRUE(viewer.ReadUntil([](const std::string& l) { return l == "\r\n"; }, kWait));
  // Two binary frames of the state, the whole one and the first update.
  for (int frame = 0; frame < 2; ++frame) {
    const std::optional<std::string> head = viewer.ReadBytes(2, kWait);
    ASSERT_TRUE(head);
    EXPECT_EQ(static_cast<unsigned char>((*head)[0]), 0x82) << "a final binary frame";
    std::size_t length = static_cast<unsigned char>((*head)[1]) & 0x7F;
    if (length == 126) {
      const std::optional<std::string> wide = viewer.ReadBytes(2, kWait);
      ASSERT_TRUE(wide);
      length =
          static_cast<unsigned char>((*wide)[0]) * 256u + static_cast<unsigned char>((*wide)[1]);
    }
    const std::optional<std::string> payload = viewer.ReadBytes(length, kWait);
    ASSERT_TRUE(payload);
    EXPECT_EQ(payload->rfind("{\"time_ms\":", 0), 0u) << *payload;
  }

  TestClient elsewhere(server.WebPort());
  elsewhere.Send("GET /metrics" + upgrade);
  EXPECT_TRUE(elsewhere.ClosedWithin(kWait));
}

}  // namespace
}  // namespace velmora::testing
