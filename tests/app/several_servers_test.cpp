// Several servers in the window: the box's list, the pool entries, and whole
// checks against loopback servers where only a majority sets the clock.
#include "app/window_fixture.h"

#include "app/ntp_responder.h"
#include "check/network_transport.h"
#include "net/loopback.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include <cstdlib>

namespace testing_support {
namespace {

using Lines = std::vector<std::string>;
constexpr std::int64_t kSecond = 1000000000;

// The real network, each transport sent to its own responder on 127.0.0.1:
// the sources have addresses of their own and one port setting.
class PortOfItsOwn : public check::Transport {
public:
    explicit PortOfItsOwn(std::uint16_t port) : inner_(check::MakeNetworkTransport()), port_(port) {}
    void setReceiver(check::TransportReceiver* receiver) override { inner_->setReceiver(receiver); }
    void open(const check::Endpoint& endpoint) override
    {
        check::Endpoint mine = endpoint;
        mine.host = "127.0.0.1";
        mine.port = std::to_string(port_);
        inner_->open(mine);
    }
    bool send(const std::string& bytes, std::string& error) override { return inner_->send(bytes, error); }
    check::Received receive() override { return inner_->receive(); }
    void close() override { inner_->close(); }
    bool isOpen() const override { return inner_->isOpen(); }
    void armTimeOut() override { inner_->armTimeOut(); }
    void disarmTimeOut() override { inner_->disarmTimeOut(); }
    std::string peerAddress() const override { return inner_->peerAddress(); }
    bool peerIsIpv6() const override { return inner_->peerIsIpv6(); }

private:
    std::unique_ptr<check::Transport> inner_;
    std::uint16_t port_;
};

class SeveralServers : public WindowTest {
protected:
    // A window set to NTP with Adjust on, the box holding `servers`; the n-th
    // source made asks the n-th port.
    TViewForm& openOn(const std::vector<std::uint16_t>& ports, const QString& servers)
    {
        writeSettings("[ViewForm]\nProtocol=NTP\nTimeout=2\nAdjust=1\n");
        ViewFormServices services{zone, clock, systemTime, tray, cursor, platform::UsFormatSettings(),
                                  std::to_string(closedPort()), [] {}, timeDate};
        services.earliestServerTime = 0;
        services.transports = [ports, made = std::make_shared<std::size_t>(0)]() -> std::unique_ptr<check::Transport> {
            return std::make_unique<PortOfItsOwn>(ports[(*made)++ % ports.size()]);
        };
        form = std::make_unique<TViewForm>(services);
        form->ComboServer->setEditText(servers);
        return *form;
    }
    bool runUntilIdle()
    {
        return pumpUntil([this] { return form->btnConnect->isEnabled() && !form->CheckRunning(); }, 8000);
    }
    bool lineLogged(const std::string& line) const
    {
        const Lines lines = log();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    bool lineBegins(const std::string& start) const
    {
        const Lines lines = log();
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) { return line.starts_with(start); });
    }
};

TEST_F(SeveralServers, TheMajoritySetsTheClockAndTheLiarIsNamed)
{
    NtpResponder good1(2300 * 1000000LL), good2(2300 * 1000000LL), liar(40 * kSecond);
    TViewForm& window = openOn({good1.port(), liar.port(), good2.port()}, "127.0.0.2, 127.0.0.3 127.0.0.4");
    window.btnConnect->click();
    EXPECT_TRUE(window.CheckRunning());
    ASSERT_TRUE(runUntilIdle());
    EXPECT_TRUE(lineLogged("2>127.0.0.3: falseticker")) << ::testing::PrintToString(log());
    EXPECT_TRUE(lineLogged("1>127.0.0.2: selected") || lineLogged("3>127.0.0.4: selected"));
    ASSERT_EQ(systemTime.steps.size(), 1u);
    EXPECT_LT(std::llabs(systemTime.steps[0] - 2300 * 1000000LL), kSecond / 5) << systemTime.steps[0];
    EXPECT_EQ(window.Correction->text().left(4), "+ 2.");
    EXPECT_EQ(tray.lastTip(), "Clock adjusted " + window.Correction->text().toStdString());
    EXPECT_EQ(log().back().substr(1), ">Disconnected.");
}

TEST_F(SeveralServers, TwoThatDisagreeLeaveTheClockAlone)
{
    NtpResponder good(0), liar(40 * kSecond);
    TViewForm& window = openOn({good.port(), liar.port()}, "127.0.0.2 127.0.0.3");
    window.btnConnect->click();
    ASSERT_TRUE(runUntilIdle());
    EXPECT_TRUE(systemTime.steps.empty());
    EXPECT_TRUE(systemTime.calls.empty());
    EXPECT_EQ(window.Correction->text(), "The servers disagree");
    EXPECT_EQ(tray.lastTip(), "The servers disagree");
    EXPECT_EQ(log().back(), "2>The servers disagree.");
    EXPECT_TRUE(lineLogged("1>127.0.0.2: no majority"));
    EXPECT_FALSE(window.btnStop->isEnabled());
}

TEST_F(SeveralServers, StopEndsEverySourceAndSetsNothing)
{
    NtpResponder good(2300 * 1000000LL);
    LoopbackDatagramSocket silent;   // reads nothing, answers nothing
    TViewForm& window = openOn({good.port(), silent.port()}, "127.0.0.2 127.0.0.3");
    window.btnConnect->click();
    // The loopback's uneven halves of a round trip can make it +2.29...
    ASSERT_TRUE(pumpUntil([this] { return lineBegins("1>127.0.0.2: offset +2."); }, 4000)) << ::testing::PrintToString(log());
    EXPECT_TRUE(window.CheckRunning());
    window.btnStop->click();
    EXPECT_FALSE(window.CheckRunning());
    EXPECT_TRUE(window.btnConnect->isEnabled());
    EXPECT_TRUE(lineBegins("2>127.0.0.3: Disconnected.")) << ::testing::PrintToString(log());
    EXPECT_EQ(window.Correction->text(), "");
    EXPECT_TRUE(systemTime.steps.empty());
}

} // namespace
} // namespace testing_support
