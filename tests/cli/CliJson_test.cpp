// "sondrel-cli ping --json" and "scan --json": every line one JSON object
// that jq reads, with the values the run had, also for hostile names.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <ctime>
#include <fstream>

#include "cli/CliJson.h"
#include "cli/CliScan.h"
#include "cli/CliTestSupport.h"
#include "support/SkipMissing.h"

namespace sondrel::cli {
namespace {

using clitest::CliRunTest;
using clitest::ReadAll;
using Script = fakes::FakeIcmpCarrier::Script;

// A name as hostile as a hosts file or a resolver can give: a quote, a
// backslash, control characters, an escape sequence, a stray byte, a whole
// and a cut UTF-8 sequence.
const std::string kHostile = "ev\"il\\na\x01me\x1b[31m\xff\xe2\x82\xac\xe2\x82x";
// How it must read in a line, and once decoded.
const std::string kHostileJson = "ev\\\"il\\\\na\\u0001me\\u001b[31m\xef\xbf\xbd\xe2\x82\xac\xef\xbf\xbdx";
const QString kHostileDecoded =
    QStringLiteral("ev\"il\\na") + QChar(1) + QStringLiteral("me") + QChar(0x1b) + QStringLiteral("[31m") +
    QChar(0xFFFD) + QChar(0x20AC) + QChar(0xFFFD) + QStringLiteral("x");

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t from = 0;
  while (from < text.size()) {
    const std::size_t end = text.find('\n', from);
    lines.push_back(text.substr(from, end == std::string::npos ? std::string::npos : end - from));
    if (end == std::string::npos) break;
    from = end + 1;
  }
  return lines;
}

// Every line through `jq -c .`: it must take each as one whole value.
// Skips the test where jq is missing (CI has it).
void ExpectJqReadsEachLine(const std::vector<std::string>& lines) {
  if (QStandardPaths::findExecutable(QStringLiteral("jq")).isEmpty())
    SONDREL_SKIP_MISSING("jq is missing (scripts/setup installs it)");
  for (const std::string& line : lines) {
    QProcess jq;
    jq.start(QStringLiteral("jq"), {QStringLiteral("-c"), QStringLiteral(".")});
    ASSERT_TRUE(jq.waitForStarted(10000));
    jq.write(QByteArray::fromStdString(line + "\n"));
    jq.closeWriteChannel();
    ASSERT_TRUE(jq.waitForFinished(10000));
    EXPECT_EQ(jq.exitCode(), 0) << line << "\n" << jq.readAllStandardError().toStdString();
    const QList<QByteArray> read = jq.readAllStandardOutput().split('\n');
    EXPECT_TRUE(read.size() == 2 && read[1].isEmpty() && read[0].startsWith('{')) << line;
  }
}

QJsonObject Object(const std::string& line) {
  QJsonParseError error;
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << line;
  return doc.object();
}

std::vector<QJsonObject> OfType(const std::vector<std::string>& lines, const char* type) {
  std::vector<QJsonObject> out;
  for (const std::string& line : lines)
    if (const QJsonObject o = Object(line); o.value(QStringLiteral("type")).toString() == QLatin1String(type))
      out.push_back(o);
  return out;
}

double Num(const QJsonObject& o, const char* key) {
  const QJsonValue v = o.value(QLatin1String(key));
  EXPECT_TRUE(v.isDouble()) << key << " is not a number";
  return v.toDouble();
}
bool IsNull(const QJsonObject& o, const char* key) { return o.value(QLatin1String(key)).isNull(); }
QString Str(const QJsonObject& o, const char* key) { return o.value(QLatin1String(key)).toString(); }

// The echo counts of a "summary" or the "total".
void ExpectCounts(const QJsonObject& o, double sent, double received, double lost, double lossPercent) {
  EXPECT_EQ(Num(o, "sent"), sent);
  EXPECT_EQ(Num(o, "received"), received);
  EXPECT_EQ(Num(o, "lost"), lost);
  EXPECT_EQ(Num(o, "loss_percent"), lossPercent);
}

// The time zone for the scope: half an hour off the hour, so that a lost
// minute part shows.
class ScopedZone {
 public:
  explicit ScopedZone(const char* tz) : old_(qgetenv("TZ")), had_(qEnvironmentVariableIsSet("TZ")) {
    qputenv("TZ", tz);
    tzset();
  }
  ~ScopedZone() {
    if (had_) qputenv("TZ", old_);
    else qunsetenv("TZ");
    tzset();
  }

 private:
  QByteArray old_;
  bool had_;
};

class CliJsonTest : public CliRunTest {};

TEST_F(CliJsonTest, PingWritesAResultPerEchoWithItsMicrosecondsThenSummariesTotalAndOutages) {
  ScopedZone zone("XST-05:30");
  auto* resolver = static_cast<fakes::FakeResolver*>(services.resolver.get());
  resolver->add(kHostile, "127.0.0.1");
  const Script lost{11010, 0, 0};
  icmp->scriptEach("127.0.0.1", {{0, 1000, 57}, {0, 3000, 57}, {0, 2000, 57}, {0, 12345, 57}});
  icmp->scriptEach("127.0.0.9", {{0, 450, 64}, lost, lost, lost});
  ASSERT_EQ(Run({"ping", "--json", "-i", "5", "-c", "4", kHostile, "127.0.0.9"}), kExitReplied)
      << ReadAll(services.err);
  const std::vector<std::string> lines = Lines(ReadAll(services.out));
  ASSERT_EQ(lines.size(), 8u + 2 + 1 + 1) << ReadAll(services.out);
  ExpectJqReadsEachLine(lines);

  const auto results = OfType(lines, "result");
  ASSERT_EQ(results.size(), 8u);
  // Target by target in each pass, as the rows are.
  const QJsonObject& first = results[0];
  EXPECT_EQ(Str(first, "time"), QStringLiteral("2026-03-07T19:35:09.000+05:30"))
      << "the fake clock's 14:05:09 UTC, in the zone";
  EXPECT_EQ(Str(first, "target"), kHostileDecoded + QStringLiteral(" / 127.0.0.1"));
  EXPECT_NE(lines[0].find("\"target\":\"" + kHostileJson + " / 127.0.0.1\""), std::string::npos) << lines[0];
  EXPECT_EQ(Str(first, "address"), QStringLiteral("127.0.0.1"));
  EXPECT_EQ(Num(first, "index"), 0);
  EXPECT_EQ(Num(first, "pass"), 0);
  EXPECT_EQ(Num(first, "size"), 32);
  EXPECT_EQ(Num(first, "ttl"), 57);
  EXPECT_EQ(Num(first, "status"), 0);
  EXPECT_EQ(Str(first, "status_text"), QStringLiteral("ok"));
  // The carrier's microseconds, not the row's whole milliseconds.
  EXPECT_NE(lines[6].find("\"rtt_ms\":12.345,"), std::string::npos) << lines[6];
  EXPECT_EQ(Num(results[6], "pass"), 3);
  const QJsonObject& lostOne = results[3];
  EXPECT_EQ(Str(lostOne, "target"), QStringLiteral("127.0.0.9"));
  EXPECT_EQ(Num(lostOne, "index"), 1);
  EXPECT_EQ(Num(lostOne, "pass"), 1);
  EXPECT_TRUE(IsNull(lostOne, "rtt_ms"));
  EXPECT_TRUE(IsNull(lostOne, "ttl"));
  EXPECT_EQ(Num(lostOne, "status"), 11010);
  EXPECT_EQ(Str(lostOne, "status_text"), QStringLiteral("Request  timed  out."));
  EXPECT_NE(lines[1].find("\"rtt_ms\":0.450,"), std::string::npos) << lines[1];

  const auto summaries = OfType(lines, "summary");
  ASSERT_EQ(summaries.size(), 2u);
  const QJsonObject& busy = summaries[0];
  EXPECT_EQ(Str(busy, "target"), kHostileDecoded + QStringLiteral(" / 127.0.0.1"));
  ExpectCounts(busy, 4, 4, 0, 0);
  EXPECT_EQ(Num(busy, "min_ms"), 1.0);
  EXPECT_EQ(Num(busy, "max_ms"), 12.345);
  EXPECT_EQ(Num(busy, "avg_ms"), 4.586) << "18345 / 4 µs, to the microsecond";
  // |3000-1000|, |2000-3000|, |12345-2000|: 13345 / 3 µs.
  EXPECT_EQ(Num(busy, "jitter_ms"), 4.448);
  // The quantiles come from buckets at most 2 % wide.
  EXPECT_NEAR(Num(busy, "median_ms"), 2.0, 0.04);
  EXPECT_NEAR(Num(busy, "p95_ms"), 12.345, 0.25);
  const QJsonObject& dying = summaries[1];
  EXPECT_EQ(Num(dying, "index"), 1);
  ExpectCounts(dying, 4, 1, 3, 75);
  EXPECT_EQ(Num(dying, "min_ms"), 0.45);
  EXPECT_TRUE(IsNull(dying, "jitter_ms")) << "one reply has no neighbour to differ from";

  const auto totals = OfType(lines, "total");
  ASSERT_EQ(totals.size(), 1u);
  ExpectCounts(totals[0], 8, 5, 3, 37.5);
  EXPECT_EQ(Num(totals[0], "min_ms"), 1) << "a reply under 1 ms counts as 1, as in the text";
  EXPECT_EQ(Num(totals[0], "max_ms"), 12);
  EXPECT_EQ(Num(totals[0], "avg_ms"), 4) << "(1 + 3 + 2 + 12 + 0) / 5, whole";
  EXPECT_EQ(Num(totals[0], "avg_ttl"), 58);

  const auto outages = OfType(lines, "outage");
  ASSERT_EQ(outages.size(), 1u);
  EXPECT_EQ(Str(outages[0], "target"), QStringLiteral("127.0.0.9"));
  EXPECT_EQ(Num(outages[0], "index"), 1);
  EXPECT_EQ(Num(outages[0], "lost"), 3);
  EXPECT_EQ(Str(outages[0], "start"), QStringLiteral("2026-03-07T19:35:09.000+05:30"));
  // Closed at the run's end, at the target's last echo.
  EXPECT_EQ(Str(outages[0], "end"), QStringLiteral("2026-03-07T19:35:09.000+05:30"));
  EXPECT_EQ(Num(outages[0], "duration_ms"), 0);
  EXPECT_EQ(lines.back().rfind("{\"type\":\"outage\"", 0), 0u) << "the outages come last";
}

TEST_F(CliJsonTest, NoReplyAtAllKeepsItsExitStatusAndGivesNullFigures) {
  ASSERT_EQ(Run({"ping", "--json", "-i", "5", "-c", "1", "127.0.0.7"}), kExitNoReply);
  const std::vector<std::string> lines = Lines(ReadAll(services.out));
  ASSERT_EQ(lines.size(), 3u);
  const QJsonObject summary = Object(lines[1]);
  for (const char* key : {"min_ms", "max_ms", "avg_ms", "median_ms", "p95_ms", "jitter_ms"})
    EXPECT_TRUE(IsNull(summary, key)) << key;
  EXPECT_EQ(Num(summary, "loss_percent"), 100);
  const QJsonObject total = Object(lines[2]);
  for (const char* key : {"min_ms", "max_ms", "avg_ms", "avg_ttl"}) EXPECT_TRUE(IsNull(total, key)) << key;
}

TEST(CliJsonScan, EveryAddressIsAHostLineInScanOrderAndTheTotalsFollow) {
  ScopedZone zone("UTC0");
  ScanTable table(5);
  table[0] = {"10.0.0.1", "3", "pc\"1\xff", "00-11-22-33-44-55", "64"};
  table[1] = {"10.0.0.2", "Dead", "", "", ""};
  table[2] = {"10.0.0.3", "", "", "", ""};
  table[3] = {"10.0.0.4", "", "", "", "", true};
  table[4] = {"10.0.0.5", "0", "", "", "128"};
  const ScanCounters counters{.total = 5, .received = 3, .active = 2, .inactive = 1};
  const std::vector<std::string> lines = ScanJson(table, counters, 1796904307123456);
  ASSERT_EQ(lines.size(), 6u);
  ExpectJqReadsEachLine(lines);
  EXPECT_EQ(lines[0],
            "{\"type\":\"host\",\"index\":0,\"address\":\"10.0.0.1\",\"state\":\"active\",\"rtt_ms\":3,\"ttl\":64,"
            "\"name\":\"pc\\\"1\xef\xbf\xbd\",\"mac\":\"00-11-22-33-44-55\"}");
  EXPECT_EQ(lines[1],
            "{\"type\":\"host\",\"index\":1,\"address\":\"10.0.0.2\",\"state\":\"inactive\",\"rtt_ms\":null,"
            "\"ttl\":null,\"name\":null,\"mac\":null}");
  EXPECT_EQ(Str(Object(lines[2]), "state"), QStringLiteral("pending"));
  EXPECT_EQ(Str(Object(lines[3]), "state"), QStringLiteral("not_reported"));
  EXPECT_EQ(Num(Object(lines[4]), "rtt_ms"), 0);
  EXPECT_EQ(lines[5],
            "{\"type\":\"scan_summary\",\"time\":\"2026-12-10T12:05:07.123+00:00\",\"total\":5,\"active\":2,"
            "\"inactive\":1}");
}

TEST(CliJsonProgram, TheOptionIsInBothHelpTexts) {
  EXPECT_NE(UsageText().find("  --json "), std::string::npos);
  EXPECT_NE(ScanUsageText().find("  --json "), std::string::npos);
  EXPECT_TRUE(ParseCommandLine({"ping", "--json", "127.0.0.1"}).options.json);
  EXPECT_FALSE(ParseCommandLine({"ping", "127.0.0.1"}).options.json);
  EXPECT_TRUE(ParseScanCommandLine({"--json", "127.0.0.1"}).options.json);
  EXPECT_EQ(ParseScanCommandLine({"--json"}).error, "no target given");
}

// The real program: loopback, a name from a hosts file that answers through
// the test responder, and an address that never answers.
class CliJsonLive : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  QProcess responder;

  void SetUp() override {
    if (qgetenv("SONDREL_ISOLATED") != "1") SONDREL_SKIP_MISSING("needs the test's private network namespace");
    if (geteuid() != 0) SONDREL_SKIP_MISSING("needs root for a TUN device and a mount namespace");
    if (access("/dev/net/tun", R_OK | W_OK) != 0) SONDREL_SKIP_MISSING("no /dev/net/tun here");
    if (QProcess::execute(QStringLiteral("unshare"), {QStringLiteral("-m"), QStringLiteral("true")}) != 0)
      SONDREL_SKIP_MISSING("cannot make a mount namespace");
  }
  void TearDown() override {
    if (responder.state() != QProcess::NotRunning) {
      responder.terminate();
      if (!responder.waitForFinished(5000)) responder.kill();
      responder.waitForFinished(5000);
    }
  }
};

TEST_F(CliJsonLive, ARunWithALostEchoAndAHostileNameGivesLinesJqReads) {
  const QString script = dir.path() + QStringLiteral("/script");
  std::ofstream(script.toStdString()) << "198.18.0.2 delay=20 ttl=57\n";  // 198.18.0.3 never answers
  responder.start(QStringLiteral(SONDREL_BIN_DIR "/sondrel-test-responder"), {script, QStringLiteral("sdjson0")});
  ASSERT_TRUE(responder.waitForStarted(10000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return responder.canReadLine() || responder.state() == QProcess::NotRunning; },
                              10000));
  ASSERT_EQ(responder.readLine(), QByteArray("ready\n")) << responder.readAllStandardError().toStdString();

  const QString hosts = dir.path() + QStringLiteral("/hosts");
  const QString name = dir.path() + QStringLiteral("/name");
  std::ofstream(hosts.toStdString(), std::ios::binary) << "127.0.0.1 localhost\n198.18.0.2 " << kHostile << "\n";
  std::ofstream(name.toStdString(), std::ios::binary) << kHostile;
  QProcess p;
  clitest::UseDataHome(p, dir.path());
  QProcessEnvironment env = p.processEnvironment();
  env.insert(QStringLiteral("TZ"), QStringLiteral("XST-05:30"));
  p.setProcessEnvironment(env);
  const qint64 before = QDateTime::currentMSecsSinceEpoch();
  // The name goes through the shell as bytes: no text encoding may touch it.
  p.start(QStringLiteral("unshare"),
          {QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"),
           QStringLiteral("mount --bind \"$1\" /etc/hosts && exec \"$3\" ping --json -c 3 -w 300 -i 100 "
                          "127.0.0.1 \"$(cat \"$2\")\" 198.18.0.3"),
           QStringLiteral("sh"), hosts, name, clitest::kProgram});
  ASSERT_TRUE(p.waitForFinished(60000));
  const qint64 after = QDateTime::currentMSecsSinceEpoch();
  ASSERT_EQ(p.exitStatus(), QProcess::NormalExit);
  ASSERT_EQ(p.exitCode(), kExitReplied) << p.readAllStandardError().toStdString();
  // The bytes as written, not decoded on the way.
  const std::string out = p.readAllStandardOutput().toStdString();
  const std::vector<std::string> lines = Lines(out);
  ASSERT_EQ(lines.size(), 9u + 3 + 1 + 1) << out;
  ExpectJqReadsEachLine(lines);
  EXPECT_NE(out.find("\"target\":\"" + kHostileJson + " / 198.18.0.2\""), std::string::npos) << out;

  const auto results = OfType(lines, "result");
  ASSERT_EQ(results.size(), 9u);
  const QRegularExpression stamp(QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}\+05:30$)"));
  for (std::size_t k = 0; k < results.size(); ++k) {
    const QJsonObject& r = results[k];
    SCOPED_TRACE(lines[k]);
    const QString time = Str(r, "time");
    EXPECT_TRUE(stamp.match(time).hasMatch()) << time.toStdString();
    const qint64 at = QDateTime::fromString(time, Qt::ISODateWithMs).toMSecsSinceEpoch();
    EXPECT_GE(at, before);
    EXPECT_LE(at, after);
    EXPECT_EQ(Num(r, "index"), static_cast<double>(k % 3));
    EXPECT_EQ(Num(r, "pass"), static_cast<double>(k / 3));
    EXPECT_EQ(Num(r, "size"), 32);
    switch (k % 3) {
      case 0:
        EXPECT_EQ(Str(r, "target"), QStringLiteral("127.0.0.1"));
        EXPECT_EQ(Num(r, "ttl"), 64);
        EXPECT_GE(Num(r, "rtt_ms"), 0);
        break;
      case 1:
        EXPECT_EQ(Str(r, "target"), kHostileDecoded + QStringLiteral(" / 198.18.0.2"));
        EXPECT_EQ(Str(r, "address"), QStringLiteral("198.18.0.2"));
        EXPECT_EQ(Num(r, "ttl"), 57);
        EXPECT_GE(Num(r, "rtt_ms"), 20);
        EXPECT_EQ(Str(r, "status_text"), QStringLiteral("ok"));
        break;
      default:
        EXPECT_EQ(Str(r, "address"), QStringLiteral("198.18.0.3"));
        EXPECT_TRUE(IsNull(r, "rtt_ms"));
        EXPECT_TRUE(IsNull(r, "ttl"));
        EXPECT_EQ(Num(r, "status"), 11010);
        EXPECT_EQ(Str(r, "status_text"), QStringLiteral("Request  timed  out."));
    }
  }
  // Round trips are written to the microsecond.
  EXPECT_TRUE(QRegularExpression(QStringLiteral(R"("rtt_ms":\d+\.\d{3},)"))
                  .match(QString::fromStdString(lines[1])).hasMatch())
      << lines[1];

  const auto summaries = OfType(lines, "summary");
  ASSERT_EQ(summaries.size(), 3u);
  ExpectCounts(summaries[1], 3, 3, 0, 0);
  EXPECT_GE(Num(summaries[1], "min_ms"), 20);
  ExpectCounts(summaries[2], 3, 0, 3, 100);
  const auto totals = OfType(lines, "total");
  ASSERT_EQ(totals.size(), 1u);
  ExpectCounts(totals[0], 9, 6, 3, 33.33);
  const auto outages = OfType(lines, "outage");
  ASSERT_EQ(outages.size(), 1u) << "three lost in a row";
  EXPECT_EQ(Str(outages[0], "address"), QStringLiteral("198.18.0.3"));
  EXPECT_EQ(Num(outages[0], "lost"), 3);
  // From the first lost echo's send to the last one's: two intervals at least.
  EXPECT_GE(Num(outages[0], "duration_ms"), 200);
  EXPECT_TRUE(stamp.match(Str(outages[0], "end")).hasMatch());
}

TEST_F(CliJsonLive, AScanOfLoopbackAndADeadAddressGivesHostLinesAndItsTotals) {
  const clitest::Finished f =
      clitest::RunProgram({QStringLiteral("scan"), QStringLiteral("--json"), QStringLiteral("127.0.0.1-127.0.0.3"),
                           QStringLiteral("192.0.2.7")},
                          dir.path());
  ASSERT_EQ(f.status, kExitReplied) << f.err.toStdString();
  const std::vector<std::string> lines = Lines(f.out.toStdString());
  ASSERT_EQ(lines.size(), 5u) << f.out.toStdString();
  ExpectJqReadsEachLine(lines);
  const QStringList addresses{QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.2"), QStringLiteral("127.0.0.3"),
                              QStringLiteral("192.0.2.7")};
  for (int k = 0; k < 4; ++k) {
    const QJsonObject host = Object(lines[static_cast<std::size_t>(k)]);
    SCOPED_TRACE(lines[static_cast<std::size_t>(k)]);
    EXPECT_EQ(Str(host, "type"), QStringLiteral("host"));
    EXPECT_EQ(Num(host, "index"), k);
    EXPECT_EQ(Str(host, "address"), addresses[k]);
    if (k < 3) {
      EXPECT_EQ(Str(host, "state"), QStringLiteral("active"));
      EXPECT_GE(Num(host, "rtt_ms"), 0);
      EXPECT_EQ(Num(host, "ttl"), 64);
    } else {
      EXPECT_EQ(Str(host, "state"), QStringLiteral("inactive"));
      EXPECT_TRUE(IsNull(host, "rtt_ms"));
      EXPECT_TRUE(IsNull(host, "name"));
    }
  }
  EXPECT_EQ(Str(Object(lines[0]), "name"), QStringLiteral("localhost"));
  const QJsonObject summary = Object(lines[4]);
  EXPECT_EQ(Str(summary, "type"), QStringLiteral("scan_summary"));
  EXPECT_EQ(Num(summary, "total"), 4);
  EXPECT_EQ(Num(summary, "active"), 3);
  EXPECT_EQ(Num(summary, "inactive"), 1);
}

}  // namespace
}  // namespace sondrel::cli
