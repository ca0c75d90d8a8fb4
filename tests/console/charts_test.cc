// The analysis window's charts: the numbers behind them against the same log
// counted another way, the window that counts in its worker, and the files
// vantry-report chart writes.
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QFile>
#include <QHorizontalBarSeries>
#include <QProcess>
#include <QPushButton>
#include <QStackedBarSeries>
#include <QXmlStreamReader>
#include <map>

#include "chart_counts.h"
#include "charts_window.h"
#include "console_fixture.h"
#include "log_import.h"
#include "log_totals.h"

namespace vantry::console::testing {
namespace {

using analyser::ChartCounts;
using vantry::testing::ReadFileText;
using vantry::testing::WriteFileText;

// A log of `lines` entries from `days` days, each field cycling at its own pace,
// with a start line and a damaged one the import leaves out.
std::string MakeLog(int lines, int days) {
  const char* types[] = {"127.0.0.2", "127.0.0.3", "127.0.0.4", "Alt IP"};
  const char* zones[] = {"zen.spamhaus.org", "bl.spamcop.net", "b.barracudacentral.org"};
  std::string log = "255|0|START||||||2026-06-14|00:00\r\n";
  for (int i = 0; i < lines; ++i) {
    const bool refused = i % 3 != 0;
    char line[200];
    std::snprintf(line, sizeof line,
                  "255|%d|%s|10.0.%d.%d|10.0.0.1|h|%s|%s|2026-06-%02d|%02d:%02d\r\n", i % 255,
                  refused ? "BL" : "OK", i % 7, i % 13, refused ? types[i % 4] : "",
                  refused ? zones[(i / 3) % 3] : "", 14 + (i * days / lines), (i * 7) % 24, i % 60);
    log += line;
  }
  return log + "255|1|OK|10.0.0.1|10.0.0.1|h|||2026-13-40|25:00\r\n";
}

// The same log counted with nothing but a split at "|".
struct NaiveCounts {
  std::int64_t passed = 0, refused = 0;
  std::map<std::string, std::int64_t> days, types, zones, addresses;
};
NaiveCounts CountNaively(const std::string& log) {
  NaiveCounts n;
  for (const QString& line : QString::fromStdString(log).split("\r\n", Qt::SkipEmptyParts)) {
    std::vector<std::string> f;
    for (const QString& field : line.split('|')) f.push_back(field.toStdString());
    if (f[2] != "OK" && f[2] != "BL") continue;
    if (f[8].substr(5, 2) == "13") continue;  // the damaged date
    (f[2] == "OK" ? n.passed : n.refused) += 1;
    n.days[f[8]] += 1;
    n.addresses[f[3]] += 1;
    if (f[2] == "BL") {
      n.types[f[6] == "Alt IP" ? f[6] : "Type " + f[6].substr(8)] += 1;
      n.zones[f[7]] += 1;
    }
  }
  return n;
}

std::map<std::string, std::int64_t> AsMap(const std::vector<analyser::ChartCount>& counts) {
  return {counts.begin(), counts.end()};
}

class ChartsTest : public ConsoleFixture {
 protected:
  std::string Log(int lines, int days) {
    const std::string log = MakeLog(lines, days);
    WriteFileText(dir_.File("vantry.log"), log);
    return log;
  }
};

TEST_F(ChartsTest, TheNumbersMatchTheLogCountedAnotherWay) {
  for (const int days : {1, 5}) {
    SCOPED_TRACE(days);
    const std::string log = Log(997, days);
    const NaiveCounts naive = CountNaively(log);
    const std::optional<ChartCounts> counts = analyser::CountLogFile(dir_.File("vantry.log"));
    ASSERT_TRUE(counts);
    EXPECT_EQ(counts->hourly, days == 1);
    EXPECT_EQ(counts->passed, naive.passed);
    EXPECT_EQ(counts->refused, naive.refused);
    EXPECT_EQ(AsMap(counts->types), naive.types);
    EXPECT_EQ(AsMap(counts->zones), naive.zones);
    // Per day: the buckets of a day add up to its lines, and no day is missing.
    std::map<std::string, std::int64_t> per_day;
    for (const auto& bucket : counts->timeline) {
      per_day[bucket.label.substr(0, 10)] += bucket.passed + bucket.refused;
    }
    EXPECT_EQ(per_day, naive.days);
    EXPECT_EQ(counts->timeline.size(), days == 1 ? 24u : 5u);
    // The ten busiest, most first.
    ASSERT_EQ(counts->top_addresses.size(), 10u);
    for (const auto& [address, n] : counts->top_addresses)
      EXPECT_EQ(n, naive.addresses.at(address));
    std::int64_t tenth = counts->top_addresses.back().second;
    std::size_t busier = 0;
    for (const auto& [address, n] : naive.addresses) busier += n > tenth;
    EXPECT_LT(busier, 10u);

    // The analyser's own import and totals query agree.
    const std::string db = dir_.File("report.dpr");
    ASSERT_TRUE(analyser::LoadLog(dir_.File("vantry.log"), db, {}).status.ok);
    analyser::LogTotals totals;
    ASSERT_TRUE(analyser::ShowTotals(db, &totals).ok);
    EXPECT_EQ(totals.oks, counts->passed);
    EXPECT_EQ(totals.bls, counts->refused);
  }
}

TEST_F(ChartsTest, TheWindowCountsInItsWorkerShowsTheSeriesAndSavesThem) {
  Log(300, 3);
  analyser::ChartsWindow window(services_);
  window.show();
  bool counted = false;
  QObject::connect(&window, &analyser::ChartsWindow::Counted, [&] { counted = true; });
  window.ShowLog(QString::fromStdString(dir_.File("vantry.log")));
  ASSERT_TRUE(WaitFor([&] { return counted; }));
  const ChartCounts& counts = *window.counts();
  auto* connections = window.findChild<QChartView*>("charthourly")->chart();
  auto* stacked = qobject_cast<QStackedBarSeries*>(connections->series().at(0));
  ASSERT_NE(stacked, nullptr);
  EXPECT_EQ(stacked->barSets().at(1)->sum(), counts.refused);
  auto* zones = qobject_cast<QHorizontalBarSeries*>(
      window.findChild<QChartView*>("chartzones")->chart()->series().at(0));
  ASSERT_NE(zones, nullptr);
  EXPECT_EQ(zones->barSets().at(0)->sum(), counts.refused);

  services_.file_names = {QString::fromStdString(dir_.File("saved.png"))};
  window.findChild<QPushButton*>("cmdSaveChart")->click();
  EXPECT_EQ(ReadFileText(dir_.File("saved.png")).substr(1, 3), "PNG");
  // A log that cannot be read says so and keeps nothing to save.
  counted = false;
  window.ShowLog(QString::fromStdString(dir_.File("missing.log")));
  ASSERT_TRUE(WaitFor([&] { return counted; }));
  EXPECT_FALSE(window.counts());
  EXPECT_FALSE(window.findChild<QPushButton*>("cmdSaveChart")->isEnabled());
}

TEST_F(ChartsTest, VantryReportChartWritesEveryKindWithoutADisplay) {
  Log(120, 2);
  const QString program = QString(VANTRY_BIN_DIR) + "/vantry-report";
  const std::pair<const char*, QStringList> kinds[] = {
      {"hourly", {"Passed", "Refused"}},
      {"types", {"Refusals", "Type 2"}},
      {"zones", {"Refusals", "zen.spamhaus.org"}},
      {"top", {"Connections", "10.0.0.0"}},
  };
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove("QT_QPA_PLATFORM");
  env.remove("DISPLAY");
  for (const auto& [kind, names] : kinds) {
    const QString out = QString::fromStdString(dir_.File(std::string(kind) + ".svg"));
    QProcess run;
    run.setProcessEnvironment(env);
    run.start(program, {"chart", "--kind", kind, "--out", out,
                        QString::fromStdString(dir_.File("vantry.log"))});
    ASSERT_TRUE(run.waitForFinished(30000));
    ASSERT_EQ(run.exitCode(), 0) << kind << run.readAllStandardError().toStdString();
    QFile file(out);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QXmlStreamReader svg(&file);
    QStringList texts;
    while (!svg.atEnd()) {
      if (svg.readNext() == QXmlStreamReader::StartElement && svg.name() == u"text") {
        texts << svg.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
      }
    }
    EXPECT_FALSE(svg.hasError()) << kind << svg.errorString().toStdString();
    for (const QString& name : names) {
      EXPECT_TRUE(texts.contains(name)) << kind << " " << texts.join(",").toStdString();
    }
  }
  QProcess bad;
  bad.start(program, {"chart", "--kind", "pie", "--out", "x.svg", "log"});
  ASSERT_TRUE(bad.waitForFinished(30000));
  EXPECT_EQ(bad.exitCode(), 2);
}

}  // namespace
}  // namespace vantry::console::testing
