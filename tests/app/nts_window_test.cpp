// NTS in the window: the Protocol key and its servers, and whole checks
// against chronyd -x (never touching the clock) serving NTS on loopback.
#include "app/window_fixture.h"

#include "app/time_servers.h"
#include "history/history_store.h"
#include "net/loopback.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

#include <unistd.h>

namespace testing_support {
namespace {

template <class Socket>
quint16 freePort()
{
    Socket socket;
    socket.bind(QHostAddress::LocalHost, 0);
    return socket.localPort();
}

// chronyd -x serving NTP and NTS on 127.0.0.1 with a certificate made here.
class Chrony {
public:
    // Ports given: a server that restarts where the last one was, with new keys.
    bool start(const QString& dir, quint16 ntp = 0, quint16 ke = 0)
    {
        const QString chronyd = QStringLiteral("/usr/sbin/chronyd");
        if (!QFile::exists(chronyd) || QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty())
            return false;
        if (QProcess::execute(QStringLiteral("openssl"),
                              {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                               "-keyout", dir + "/key.pem", "-out", dir + "/cert.pem", "-days", "2", "-subj",
                               "/CN=localhost", "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost"}) != 0)
            return false;
        ntpPort = ntp ? ntp : freePort<QUdpSocket>();
        kePort = ke ? ke : freePort<QTcpSocket>();
        QFile conf(dir + "/chrony.conf");
        conf.open(QIODevice::WriteOnly);
        conf.write(QStringLiteral("port %1\nntsport %2\nbindaddress 127.0.0.1\nbindaddress ::1\nallow 127.0.0.1\n"
                                  "local stratum 8\ncmdport 0\nbindcmdaddress /\nntsserverkey %3/key.pem\n"
                                  "ntsservercert %3/cert.pem\nntsdumpdir %3\npidfile %3/chronyd.pid\n"
                                  "driftfile %3/chronyd.drift\n")
                       .arg(ntpPort).arg(kePort).arg(dir).toUtf8());
        conf.close();
        // -x: the clock is never touched. As root -u root keeps the folder's rights.
        const QStringList user = ::geteuid() == 0 ? QStringList{"-u", "root"} : QStringList{"-U"};
        process.start(chronyd, QStringList{"-x", "-d"} + user + QStringList{"-f", dir + "/chrony.conf"});
        if (!process.waitForStarted(5000))
            return false;
        return pumpUntil(
            [this] {
                QTcpSocket probe;
                probe.connectToHost(QHostAddress::LocalHost, kePort);
                return probe.waitForConnected(100);
            },
            5000);
    }
    void stop()
    {
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            process.waitForFinished(5000);
        }
    }
    ~Chrony() { stop(); }
    QProcess process;
    quint16 ntpPort = 0;
    quint16 kePort = 0;
};

// A key-exchange port that counts the connections it passes on to chronyd's.
class CountingRelay {
public:
    explicit CountingRelay(quint16 target) : target_(target)
    {
        server_.listen(QHostAddress::LocalHost);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* client = server_.nextPendingConnection()) {
                ++accepted;
                auto* upstream = new QTcpSocket(client);
                upstream->connectToHost(QHostAddress::LocalHost, target_);
                auto pass = [](QTcpSocket* from, QTcpSocket* to) {
                    QObject::connect(from, &QTcpSocket::readyRead, to, [from, to] { to->write(from->readAll()); });
                };
                pass(client, upstream);
                pass(upstream, client);
                QObject::connect(upstream, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
                QObject::connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
            }
        });
    }
    quint16 port() const { return server_.serverPort(); }
    int accepted = 0;

private:
    quint16 target_;
    QTcpServer server_;
};

class NtsWindow : public WindowTest {
protected:
    bool runUntilIdle()
    {
        return pumpUntil([this] { return form->btnConnect->isEnabled() && !form->CheckRunning(); }, 15000);
    }
    std::vector<std::string> linesOf(int number) const
    {
        std::vector<std::string> lines;
        const std::string prefix = std::to_string(number) + ">";
        for (const std::string& line : log())
            if (line.rfind(prefix, 0) == 0)
                lines.push_back(line.substr(prefix.size() - 1));
        return lines;
    }
    static bool has(const std::vector<std::string>& lines, const std::string& text)
    {
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string& line) { return line.find(text) != std::string::npos; });
    }
    // The server starts again on its ports with a certificate and keys of its
    // own, which the window is told to trust: the cookies it holds mean nothing there.
    static bool restartWithNewKeys(Chrony& chrony, const QString& dir, const QString& trustedCert)
    {
        const quint16 ntp = chrony.ntpPort, ke = chrony.kePort;
        chrony.stop();
        if (!chrony.start(dir, ntp, ke))
            return false;
        QFile::remove(trustedCert);
        return QFile::copy(dir + "/cert.pem", trustedCert);
    }
    static long count(const std::vector<std::string>& lines, const std::string& text)
    {
        return std::count_if(lines.begin(), lines.end(),
                             [&](const std::string& line) { return line.find(text) != std::string::npos; });
    }
};

// Reading and writing the key is the settings table's test; here, NTS's own list.
TEST_F(NtsWindow, NtsHasItsOwnServers)
{
    writeSettings("[ViewForm]\nProtocol=nts\n");
    open();
    EXPECT_EQ(form->ComboProtocol->currentText(), "NTS");
    EXPECT_EQ(form->ComboServer->itemText(0).toStdString(), app::kNtsServers[0]);
    form.reset();
    writeSettings("[ViewForm]\nAdjust=0\n");
    open().ComboProtocol->setCurrentIndex(2);
    // A server picked from another list becomes the new list's first.
    EXPECT_EQ(form->ComboServer->currentText().toStdString(), app::kNtsServers[0]);
}

TEST_F(NtsWindow, AnUntrustedCertificateIsNamedThenASecondCheckUsesTheKeptCookies)
{
    QTemporaryDir dir;
    Chrony chrony;
    if (!chrony.start(dir.path()))
        GTEST_SKIP() << "chronyd or openssl is missing";
    ntsPort = std::to_string(chrony.kePort);   // the system's store first: the test's authority is unknown there
    writeSettings("[ViewForm]\nProtocol=NTS\nServer=127.0.0.1\nTimeout=3\nAdjust=1\n");
    history::HistoryStore store((dir.path() + "/history.sqlite").toStdString());
    history = &store;
    open().btnConnect->click();
    ASSERT_TRUE(runUntilIdle());
    EXPECT_TRUE(has(linesOf(1), ">Error: The server's certificate is not trusted: the certificate issuer is unknown."));
    // A key exchange that fails is a failed check in the history too.
    const std::vector<history::CheckRecord> records = store.records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].protocol, "nts");
    EXPECT_FALSE(records[0].completed);
    EXPECT_EQ(records[0].failureReason, "The server's certificate is not trusted: the certificate issuer is unknown");
    EXPECT_FALSE(has(linesOf(1), ">Looking up host"));
    EXPECT_TRUE(has(tips(), "The server's certificate is not trusted"));
    EXPECT_TRUE(systemTime.steps.empty() && systemTime.setRecords.empty());
    form->btnConnect->click();   // the next check has the next number
    ASSERT_TRUE(runUntilIdle());
    EXPECT_FALSE(linesOf(2).empty());
    form.reset();
    history = nullptr;

    ntsCaFile = (dir.path() + "/cert.pem").toStdString();
    writeSettings("[ViewForm]\nProtocol=NTS\nServer=127.0.0.1\nTimeout=3\nAdjust=0\n");
    TViewForm& window = open();
    window.btnConnect->click();
    ASSERT_TRUE(runUntilIdle());
    const auto first = linesOf(1);
    EXPECT_TRUE(has(first, ">TLS handshake done (TLS1.3, ntske/1)")) << log().size();
    EXPECT_TRUE(has(first, ">NTP server 127.0.0.1 port " + std::to_string(chrony.ntpPort)));
    EXPECT_TRUE(has(first, ">Time authenticated (NTS)"));
    EXPECT_TRUE(has(tips(), "(authenticated)"));

    window.btnConnect->click();
    ASSERT_TRUE(runUntilIdle());
    const auto second = linesOf(2);
    EXPECT_FALSE(has(second, ">Key exchange")) << "the kept cookies were not used";
    EXPECT_TRUE(has(second, ">Time authenticated (NTS)"));
    EXPECT_TRUE(has(second, ">Disconnected."));

    QTemporaryDir restartDir;
    ASSERT_TRUE(restartWithNewKeys(chrony, restartDir.path(), dir.path() + "/cert.pem"));
    window.btnConnect->click();
    ASSERT_TRUE(runUntilIdle());
    const auto third = linesOf(3);
    EXPECT_TRUE(has(third, "(kiss-o'-death NTSN)")) << ::testing::PrintToString(third);
    EXPECT_EQ(count(third, ">Key exchange"), 1);
    EXPECT_TRUE(has(third, ">Time authenticated (NTS)"));
}

TEST_F(NtsWindow, StopDuringASilentKeyExchangeEndsTheCheckAtOnce)
{
    QTcpServer silent;   // accepts and never speaks
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    ntsPort = std::to_string(silent.serverPort());
    writeSettings("[ViewForm]\nProtocol=NTS\nServer=127.0.0.1\nTimeout=30\nAdjust=0\n");
    TViewForm& window = open();
    window.btnConnect->click();
    ASSERT_TRUE(pumpUntil([&] { return has(linesOf(1), ">Connecting to 127.0.0.1..."); }, 5000));
    window.btnStop->click();
    EXPECT_TRUE(window.btnConnect->isEnabled());
    EXPECT_TRUE(has(linesOf(1), ">Disconnected."));
    // The exchange's late end, if any, changes nothing.
    pumpUntil([] { return false; }, 300);
    EXPECT_EQ(linesOf(1).back(), ">Disconnected.");
    EXPECT_TRUE(linesOf(2).empty());
}

// Several servers with NTS: each its own key exchange; one that fails is
// "failed" with its reason, and the authenticated rest decide. The next
// check uses the kept cookies; after the server restarted with new keys, its
// NTSN costs one new exchange and the check still ends authenticated.
TEST_F(NtsWindow, SeveralServersEachAuthenticatedOnTheirOwnAndTheirCookiesKept)
{
    QTemporaryDir dir, restartDir;
    Chrony chrony;
    if (!chrony.start(dir.path()))
        GTEST_SKIP() << "chronyd or openssl is missing";
    CountingRelay keyExchanges(chrony.kePort);
    ntsPort = std::to_string(keyExchanges.port());
    ntsCaFile = (dir.path() + "/cert.pem").toStdString();
    writeSettings("[ViewForm]\nProtocol=NTS\nServer=127.0.0.1 127.0.0.2\nTimeout=3\nAdjust=0\n");
    TViewForm& window = open();
    window.btnConnect->click();
    ASSERT_TRUE(runUntilIdle());
    EXPECT_TRUE(has(linesOf(1), ">127.0.0.1: selected")) << log().size();
    EXPECT_TRUE(has(linesOf(1), ">Time authenticated (NTS)"));
    EXPECT_TRUE(has(linesOf(2), ">127.0.0.2: No connection to 127.0.0.2: Connection refused"));
    EXPECT_TRUE(has(tips(), "(authenticated)"));
    EXPECT_EQ(keyExchanges.accepted, 1);   // 127.0.0.2's refused before it was relayed

    window.btnConnect->click();
    ASSERT_TRUE(runUntilIdle());
    EXPECT_EQ(keyExchanges.accepted, 1) << "the kept cookies were not used";
    EXPECT_EQ(count(linesOf(1), ">Time authenticated (NTS)"), 2);

    ASSERT_TRUE(restartWithNewKeys(chrony, restartDir.path(), dir.path() + "/cert.pem"));
    window.btnConnect->click();
    ASSERT_TRUE(runUntilIdle());
    EXPECT_EQ(keyExchanges.accepted, 2);
    EXPECT_EQ(count(linesOf(1), ">Time authenticated (NTS)"), 3) << ::testing::PrintToString(linesOf(1));
}

} // namespace
} // namespace testing_support
