// The server's status page in a real headless browser: the server with four
// traffic clients and a user whose handle is markup; the page as Chromium
// built it must show the four vehicles with their handles, and the markup as
// text. Every wait is bounded; nothing depends on how fast the machine is.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <optional>
#include <regex>
#include <string>

#include "tests/support/loopback_server.h"

namespace velmora::testing {
namespace {

const std::string kPrefix = "52566771;20;1;";
const std::string kHostile = "<img src=x onerror=alert(1)>";
constexpr milliseconds kPatience(120000);  // for the traffic to log in and choose on a busy machine

// /api/state's JSON, or nothing when no answer came.
std::optional<std::string> State(int webPort) {
  TestClient client(webPort);
  client.Send("GET /api/state HTTP/1.1\r\nHost: localhost\r\n\r\n");
  const std::optional<HttpResponse> response = ReadHttpResponse(client, milliseconds(10000));
  if (!response || response->Status != 200) return std::nullopt;
  return response->Body;
}

// Counts the non-overlapping places `pattern` matches.
std::size_t Count(const std::string& text, const std::string& pattern) {
  const std::regex re(pattern);
  return static_cast<std::size_t>(
      std::distance(std::sregex_iterator(text.begin(), text.end(), re), std::sregex_iterator()));
}

TEST(WebBrowser, ThePageShowsTheTrafficAndAHostileHandleAsText) {
  ASSERT_STRNE(VELMORA_CHROMIUM, "") << "chromium is missing: tools/install-deps installs it";
  ServerProcess server(VELMORA_SERVER_EXE,
                       {"--missions", VELMORA_SAMPLE_MISSIONS, "--http", "0", "--max-per-address",
                        "0", "--interval", "100"},
                       "");
  ASSERT_GT(server.WebPort(), 0);

  QProcess traffic;
  traffic.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  traffic.start(VELMORA_TRAFFIC_EXE, {"--server", "127.0.0.1:" + QString::number(server.Port()),
                                      "--count", "4", "--data", VELMORA_DATA_DIR});
  ASSERT_TRUE(traffic.waitForStarted(30000));

  // The hostile user drives a car from the terminal and keeps it reported.
  TestClient hostile(server.Port());
  hostile.Send(kPrefix + "30;guest\ttovel\t0;" + kHostile);
  const auto accepted = hostile.ReadUntil(
      [](const std::string& l) { return l.rfind("52566771;30;", 0) == 0; }, milliseconds(10000));
  ASSERT_TRUE(accepted);
  const int user = std::stoi(accepted->substr(12));
  hostile.Send(kPrefix + "50;" + std::to_string(user) + ";1;6;");
  const auto report = [&] {
    hostile.Send(kPrefix + "40;" + std::to_string(user) +
                 ";1;1000;2;20;-70000;-25000;-60;0;0;0;0;0;0;0;");
    hostile.Drain();
    hostile.Buffer().clear();
  };

  // Until the server shows the four traffic vehicles and the hostile one.
  bool all = false;
  for (const auto until = Clock::now() + kPatience; !all && Clock::now() < until;) {
    report();
    const std::optional<std::string> state = State(server.WebPort());
    all = state && Count(*state, R"("handle":"AI-0[1-4]","kind")") == 4 &&
          Count(*state, R"("handle":"\\u003cimg src=x onerror=alert\(1\)\\u003e","kind")") == 1;
    if (!all) usleep(500000);
  }
  ASSERT_TRUE(all) << "the traffic did not get its vehicles in time";
  report();

  // The page as Chromium has built it after its scripts ran.
  QTemporaryDir profile;
  QProcess browser;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("HOME", profile.path());
  browser.setProcessEnvironment(environment);
  browser.start(VELMORA_CHROMIUM,
                {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--user-data-dir=" + profile.path() + "/chromium", "--window-size=1280,900",
                 "--virtual-time-budget=5000", "--dump-dom",
                 "http://127.0.0.1:" + QString::number(server.WebPort()) + "/"});
  ASSERT_TRUE(browser.waitForStarted(30000));
  // The server leaves out a vehicle not reported for 5 s, and on a busy
  // machine the browser may take longer than that: keep reporting meanwhile.
  bool finished = false;
  for (const auto until = Clock::now() + kPatience; !finished && Clock::now() < until;) {
    finished = browser.waitForFinished(500);
    report();
  }
  if (!finished) browser.kill();
  ASSERT_TRUE(finished) << "chromium did not finish";
  const std::string dom = browser.readAllStandardOutput().toStdString();
  traffic.terminate();
  traffic.waitForFinished(10000);

  // The map: one group per vehicle, each labelled with its handle.
  EXPECT_EQ(Count(dom, R"(<g class="vehicle( selected)?" data-user="\d+")"), 5u) << dom;
  for (const char* handle : {"AI-01", "AI-02", "AI-03", "AI-04"}) {
    EXPECT_EQ(Count(dom, std::string(R"(<text x="14" y="4">)") + handle + "<tspan"), 1u) << handle;
  }
  // The markup is text on the map and in the users list, and nowhere an element.
  const std::string escaped = "&lt;img src=x onerror=alert(1)&gt;";
  EXPECT_NE(dom.find("<text x=\"14\" y=\"4\">" + escaped + "<tspan"), std::string::npos);
  EXPECT_NE(dom.find("<td>" + escaped + "</td>"), std::string::npos);
  EXPECT_EQ(dom.find("<img src=\"x\""), std::string::npos);
  EXPECT_EQ(dom.find("onerror=\"alert"), std::string::npos);
}

}  // namespace
}  // namespace velmora::testing
