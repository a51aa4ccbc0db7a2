// tikora-cli history over a real history file in a temporary data folder.
#include "cli/history_command.h"

#include "history/history_store.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sstream>

namespace {

// 2026-12-01 00:00:00 UTC (the suites run with TZ=UTC).
constexpr std::int64_t kDecemberFirstMs = 1'796'083'200'000;

struct HistoryCommand : ::testing::Test {
    QTemporaryDir data;
    std::string path = data.path().toStdString() + "/tikora/history.sqlite";
    void SetUp() override { qputenv("XDG_DATA_HOME", data.path().toLocal8Bit()); }

    void add(std::int64_t timeMs, std::optional<double> offset, const std::string& failure = "")
    {
        history::HistoryStore store(path);
        history::CheckRecord record;
        record.timeUnixMs = timeMs;
        record.server = "time.example";
        record.protocol = "ntp";
        record.completed = offset.has_value();
        record.offsetSeconds = offset;
        record.failureReason = failure;
        ASSERT_TRUE(store.append(record)) << store.error();
    }
    int run(const QStringList& args)
    {
        out.str({});
        err.str({});
        return cli::runHistoryCommand(args, out, err);
    }
    QJsonObject json()
    {
        EXPECT_EQ(run({"--json"}), 0) << err.str();
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(out.str()), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << out.str();
        return document.object();
    }
    long lines() const
    {
        const std::string text = out.str();
        return std::count(text.begin(), text.end(), '\n');
    }
    std::ostringstream out, err;
};

TEST_F(HistoryCommand, UsageErrorsEndWithStatusTwo)
{
    const std::pair<QStringList, const char*> cases[] = {
        {{"--since", "2026-2-3"}, "--since takes a date as YYYY-MM-DD, not '2026-2-3'"},
        {{"--since", "2026-02-30"}, "not '2026-02-30'"},
        {{"--since"}, "--since needs a date"},
        {{"--json", "--csv"}, "exclude each other"},
        {{"--colour"}, "unknown argument --colour"},
    };
    for (const auto& [args, says] : cases) {
        SCOPED_TRACE(args.join(' ').toStdString());
        EXPECT_EQ(run(args), 2);
        EXPECT_NE(err.str().find(says), std::string::npos) << err.str();
        EXPECT_TRUE(out.str().empty());
    }
}

TEST_F(HistoryCommand, JsonHoldsEveryRecordAndTheDriftOnceThereAreThreeChecks)
{
    QJsonObject object = json();
    EXPECT_TRUE(object["records"].toArray().isEmpty());
    EXPECT_TRUE(object["drift_ppm"].isNull());

    // 20 ppm: 72 ms an hour.
    add(kDecemberFirstMs, 0.100);
    add(kDecemberFirstMs + 1800'000, std::nullopt, "Error: \"timed out\", twice");
    add(kDecemberFirstMs + 3600'000, 0.172);
    object = json();
    EXPECT_TRUE(object["drift_ppm"].isNull());
    EXPECT_TRUE(object["drift_uncertainty_ppm"].isNull());

    add(kDecemberFirstMs + 7200'000, 0.244);
    object = json();
    const QJsonArray records = object["records"].toArray();
    ASSERT_EQ(records.size(), 4);
    const QJsonObject first = records[0].toObject(), failed = records[1].toObject();
    EXPECT_EQ(first["time"].toString() + first["server"].toString() + first["protocol"].toString() +
                  first["outcome"].toString(),
              "2026-12-01T00:00:00.000Ztime.examplentpcompleted");
    EXPECT_DOUBLE_EQ(first["offset"].toDouble(), 0.1);
    EXPECT_EQ(failed["reason"].toString(), "Error: \"timed out\", twice");
    EXPECT_TRUE(failed["offset"].isNull());
    EXPECT_NEAR(object["drift_ppm"].toDouble(), 20.0, 1e-6);
    EXPECT_NEAR(object["drift_uncertainty_ppm"].toDouble(), 0.0, 1e-6);

    // The table and the CSV say the same.
    EXPECT_EQ(run({}), 0);
    EXPECT_NE(out.str().find("Drift: +20.000 ppm"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("loses 1.728 s a day"), std::string::npos) << out.str();
    EXPECT_EQ(run({"--csv"}), 0);
    EXPECT_NE(out.str().find(",failed,\"Error: \"\"timed out\"\", twice\","), std::string::npos) << out.str();
    EXPECT_EQ(lines(), 5);
    // From that day's (UTC here) midnight: the first check is at it.
    EXPECT_EQ(run({"--since", "2026-12-01", "--csv"}), 0);
    EXPECT_EQ(lines(), 5);
    EXPECT_EQ(run({"--since", "2026-12-02", "--csv"}), 0);
    EXPECT_EQ(lines(), 1);
}

TEST_F(HistoryCommand, AHistoryThatCannotBeReadIsStatusOne)
{
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(path)));   // a folder where the file belongs
    EXPECT_EQ(run({"--json"}), 1);
    EXPECT_NE(err.str().find("cannot be used"), std::string::npos) << err.str();
    EXPECT_TRUE(out.str().empty());
}

} // namespace
