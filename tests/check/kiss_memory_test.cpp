#include "check/kiss_memory.h"

#include <gtest/gtest.h>

namespace {

constexpr std::int64_t kNow = 1796774400 + 14 * 3600 + 2 * 60;   // 2026-12-09 14:02:00 UTC
constexpr std::int64_t kHour = 3600;

const check::KissServer kPool = check::KissServerOf("pool.example", "123");

TEST(KissMemory, ARefusingServerIsHeldBackForOneHourOnly)
{
    check::KissMemory memory;
    memory.remember(check::KissServerOf("Pool.Example", "123"), "DENY", kNow);
    struct Case {
        const char* name;
        check::KissServer server;
        std::int64_t now;
        bool held;
    } const cases[] = {
        {"at once", kPool, kNow, true},
        {"host typed in capitals", check::KissServerOf("POOL.EXAMPLE", "123"), kNow, true},
        {"a second before the hour", kPool, kNow + kHour - 1, true},
        {"the hour is over", kPool, kNow + kHour, false},
        {"another port", check::KissServerOf("pool.example", "1123"), kNow, false},
        {"another host", check::KissServerOf("pool2.example", "123"), kNow, false},
        // Held past the hour it was told for would be held for as long as the clock is wrong.
        {"the clock went back: the entry would outlast its hour", kPool, kNow - 10, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(memory.heldBack(c.server, c.now).has_value(), c.held) << c.name;
}

TEST(KissMemory, FormatThenParseKeepsEveryHeldServerAndItsLine)
{
    check::KissMemory memory;
    memory.remember(kPool, "DENY", kNow - 5);
    memory.remember(check::KissServerOf("[2001:db8::1]", "ntp"), "RSTR", kNow);
    memory.remember(kPool, "DENY", kNow);   // told again: the hour starts again
    const check::KissMemory back = check::KissMemory::parse(memory.format(), kNow + 60);
    ASSERT_EQ(back.entries().size(), 2u);
    EXPECT_EQ(back.entries()[0].server.host, "[2001:db8::1]");
    const auto entry = back.heldBack(kPool, kNow + 60);
    ASSERT_TRUE(entry);
    EXPECT_EQ(check::HeldBackText(*entry),
              "pool.example refused access (kiss-o'-death DENY) at 14:02 UTC; not asked again before 15:02 UTC");
}

TEST(KissMemory, GarbageReadsAsTheEntriesThatMakeSense)
{
    const std::string until = std::to_string(kNow + 600);
    struct Case {
        const char* name;
        std::string text;
        std::size_t entries;
    } const cases[] = {
        {"empty", "", 0},
        {"no final newline, CRLF", until + " DENY 123 a\r\n" + until + " RSTR 123 b", 2},
        {"comments and blanks", "# hello\n\n   \n" + until + " DENY 123 a\n", 1},
        {"a word missing", until + " DENY pool.example\n", 0},
        {"a word too many", until + " DENY 123 pool.example extra\n", 0},
        {"until not a number", "soon DENY 123 a\n12x DENY 123 b\n", 0},
        {"code over four letters", until + " DENIED 123 a\n", 0},
        {"expired", std::to_string(kNow) + " DENY 123 a\n", 0},
        {"far future: the clock went back", std::to_string(kNow + kHour + 1) + " DENY 123 a\n", 0},
        {"most negative until", "-9223372036854775808 DENY 123 a\n", 0},
        {"a line over 512 bytes", until + " DENY 123 " + std::string(600, 'a') + "\n", 0},
        {"the same server twice", until + " DENY 123 a\n" + until + " RSTR 123 A\n", 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(check::KissMemory::parse(c.text, kNow).entries().size(), c.entries) << c.name;
}

TEST(KissMemory, TheMemoryIsBoundedInEntries)
{
    std::string text;
    for (int i = 0; i < 1000; ++i)
        text += std::to_string(kNow + 600) + " DENY 123 host" + std::to_string(i) + ".example\n";
    check::KissMemory memory = check::KissMemory::parse(text, kNow);
    EXPECT_EQ(memory.entries().size(), check::kKissMaxEntries);
    // A new refusal makes room by dropping the one that ends soonest.
    memory.remember(kPool, "DENY", kNow + 1);
    EXPECT_EQ(memory.entries().size(), check::kKissMaxEntries);
    EXPECT_TRUE(memory.heldBack(kPool, kNow + 2));
}

TEST(KissMemory, ANameThatCannotBeWrittenBackIsNotRemembered)
{
    check::KissMemory memory;
    for (const char* host : {"bad host", "bad\nhost", ""})
        memory.remember(check::KissServerOf(host, "123"), "DENY", kNow);
    EXPECT_TRUE(memory.entries().empty());
    memory.remember(kPool, "\x1b[2J", kNow);   // a code is shown in a log: no control bytes
    ASSERT_EQ(memory.entries().size(), 1u);
    EXPECT_EQ(memory.entries()[0].code, "?[2J");
}

} // namespace
