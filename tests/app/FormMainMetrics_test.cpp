// The window serves its runs' metrics for Prometheus only when the user's
// settings ask for it: a real HTTP server on loopback, read with a plain
// socket, after a run through the Ping button with the fake carrier.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <QTest>

#include "app/AppFixture.h"
#include "monitor/MetricsEndpoint.h"
#include "platform/HttpServer_linux.h"
#include "settings/UserSettings.h"

namespace sondrel {
namespace {

using Script = fakes::FakeIcmpCarrier::Script;

// The whole answer to one GET, read until the server closes (5 s at most
// for each read).
QByteArray Get(std::uint16_t port, const QByteArray& path) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  const timeval wait{5, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  QByteArray answer;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
    const QByteArray request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    (void)::send(fd, request.constData(), static_cast<std::size_t>(request.size()), MSG_NOSIGNAL);
    char buffer[65536];
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) answer.append(buffer, n);
  }
  ::close(fd);
  return answer;
}

class FormMainMetricsTest : public ::testing::Test {
 protected:
  void Start(bool serve) {
    ASSERT_TRUE(base_.isValid());
    if (serve) {
      UserSettings().setValue(QStringLiteral("metrics/serve"), true);
      UserSettings().setValue(QStringLiteral("metrics/listen"), QStringLiteral("127.0.0.1:0"));
    }
    fakes_.httpServer = MakeHttpServer();
    fakes_.icmp->script("127.0.0.1", Script{0, 450, 64});
    app_ = std::make_unique<testing::MainWindowUnderTest>(base_.path().toStdString(), fakes_);
    app_->window->Form_Load();
    testing::ChooseFastestInterval(*app_->window);
  }
  void TearDown() override {
    app_.reset();
    UserSettings().remove(QStringLiteral("metrics"));
  }
  QTemporaryDir base_;
  testing::FakeServices fakes_;
  std::unique_ptr<testing::MainWindowUnderTest> app_;
};

TEST_F(FormMainMetricsTest, WhenAskedTheWindowServesItsRunsFiguresUnderTheProbersNames) {
  Start(true);
  MetricsEndpoint* endpoint = app_->window->metricsEndpoint();
  ASSERT_NE(endpoint, nullptr) << "serve=true in the settings";
  ASSERT_NE(endpoint->port(), 0);
  ASSERT_TRUE(testing::PingThroughTheButton(*app_->window, {"127.0.0.1", "127.0.0.9"}, 3));
  const QByteArray answer = Get(endpoint->port(), "/metrics");
  EXPECT_TRUE(answer.startsWith("HTTP/1.1 200")) << answer.left(200).toStdString();
  EXPECT_TRUE(answer.contains("smokeping_requests_total{host=\"127.0.0.1\",ip=\"127.0.0.1\"} 3\n"))
      << answer.toStdString();
  EXPECT_TRUE(answer.contains("smokeping_responses_total{host=\"127.0.0.9\",ip=\"127.0.0.9\"} 0\n"));
  // 450 µs lands in the 0.0008 s bucket, not below it.
  EXPECT_TRUE(answer.contains("smokeping_response_duration_seconds_bucket{host=\"127.0.0.1\",ip=\"127.0.0.1\",le=\"0.0004\"} 0\n"));
  EXPECT_TRUE(answer.contains("smokeping_response_duration_seconds_bucket{host=\"127.0.0.1\",ip=\"127.0.0.1\",le=\"0.0008\"} 3\n"));
  EXPECT_TRUE(answer.contains("sondrel_outage_active{host=\"127.0.0.9\",ip=\"127.0.0.9\"} 1\n") ||
              answer.contains("sondrel_outages_total{host=\"127.0.0.9\",ip=\"127.0.0.9\"} 1\n"));
  EXPECT_TRUE(Get(endpoint->port(), "/nothing").startsWith("HTTP/1.1 404"));
}

TEST_F(FormMainMetricsTest, ByDefaultNothingIsServed) {
  Start(false);
  EXPECT_EQ(app_->window->metricsEndpoint(), nullptr);
}

}  // namespace
}  // namespace sondrel
