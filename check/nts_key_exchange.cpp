#include "check/nts_key_exchange.h"

#include "net/nts_ke_records.h"
#include "platform/tls_client.h"

#include <QMetaObject>
#include <QObject>

#include <atomic>
#include <mutex>
#include <thread>

namespace check {
namespace {
constexpr const char* kAlpn = "ntske/1";
constexpr const char* kExporterLabel = "EXPORTER-network-time-security";
// A time-out of 0 waits for ever elsewhere; a worker thread must end some day.
constexpr int kLongestTimeOutSeconds = 60;

std::string capitalised(std::string text)
{
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z')
        text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text;
}
} // namespace

// What the worker and the owner share: the worker posts only while the
// owner's context is there, under the lock the owner takes to withdraw it.
struct NtsKeyExchange::Shared {
    std::mutex mutex;
    QObject* context = nullptr;
    std::atomic<bool> cancelled{false};

    void post(std::function<void()> task)
    {
        std::lock_guard lock(mutex);
        if (context && !cancelled)
            QMetaObject::invokeMethod(context, std::move(task), Qt::QueuedConnection);
    }
};

NtsKeyExchange::NtsKeyExchange() : context_(std::make_unique<QObject>()) {}

NtsKeyExchange::~NtsKeyExchange()
{
    cancel();
}

std::string NtsKeyExchange::exporterContext(bool serverToClient)
{
    return std::string{0, 0, 0, static_cast<char>(nts::kAeadAesSivCmac256), static_cast<char>(serverToClient ? 1 : 0)};
}

void NtsKeyExchange::cancel()
{
    lookup_.cancel();
    if (shared_) {
        std::lock_guard lock(shared_->mutex);
        shared_->cancelled = true;
        shared_->context = nullptr;
    }
    shared_.reset();
    running_ = false;
}

void NtsKeyExchange::start(const KeyExchangeSettings& settings, Log log, Done done)
{
    cancel();
    settings_ = settings;
    if (settings_.timeOutSeconds <= 0 || settings_.timeOutSeconds > kLongestTimeOutSeconds)
        settings_.timeOutSeconds = kLongestTimeOutSeconds;
    log_ = std::move(log);
    done_ = std::move(done);
    running_ = true;
    shared_ = std::make_shared<Shared>();
    shared_->context = context_.get();
    log_(">Key exchange with " + settings_.host + (settings_.address.empty() ? "" : " at " + settings_.address) +
         " port " + settings_.port);

    const platform::HostText host = platform::ParseHost(settings_.host);
    if (!host.error.empty()) {
        finish({capitalised(host.error), {}});
        return;
    }
    const platform::PortNumber port = platform::ResolvePort(settings_.port, platform::SocketType::Stream);
    if (!port.error.empty()) {
        finish({capitalised(port.error), {}});
        return;
    }
    // One address of a name: reached by its number, yet the certificate must name the name.
    if (!settings_.address.empty()) {
        const platform::HostText address = platform::ParseHost(settings_.address);
        if (!address.error.empty() || !address.numeric) {
            finish({capitalised(address.error.empty() ? "not an address: " + settings_.address : address.error), {}});
            return;
        }
        connect(platform::ResolveNumericHost(address.host, port.port, platform::SocketType::Stream));
        return;
    }
    if (host.numeric) {
        connect(platform::ResolveNumericHost(host.host, port.port, platform::SocketType::Stream));
        return;
    }
    lookup_.start(host.host, port.port, platform::SocketType::Stream,
                  [this](platform::LookupResult result) { connect(std::move(result)); });
}

void NtsKeyExchange::connect(platform::LookupResult addresses)
{
    if (!running_)
        return;
    if (!addresses.error.empty() || addresses.addresses.empty()) {
        finish({"The key exchange server's name could not be looked up: " +
                    (addresses.error.empty() ? std::string("no address") : addresses.error),
                {}});
        return;
    }
    auto request = std::make_shared<platform::TlsExchangeRequest>();
    request->host = platform::ParseHost(settings_.host).host;
    request->addresses = std::move(addresses.addresses);
    request->caFile = settings_.caFile;
    request->alpn = kAlpn;
    request->request = nts::EncodeKeRequest();
    request->complete = [](const std::string& answer) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(answer.data());
        return nts::ParseKeResponse({bytes, answer.size()}).status != nts::KeStatus::Incomplete;
    };
    request->maxAnswerBytes = nts::kMaxKeResponseBytes;
    request->timeOutMs = settings_.timeOutSeconds * 1000;
    request->exporterLabel = kExporterLabel;
    request->exporterContexts = {exporterContext(false), exporterContext(true)};
    request->exporterBytes = 32;
    std::shared_ptr<Shared> shared = shared_;
    request->cancelled = &shared->cancelled;
    request->progress = [this, shared](const std::string& line) {
        shared->post([this, shared, line] {
            if (!shared->cancelled)
                log_(">" + line);
        });
    };
    std::thread([this, shared, request] {
        platform::TlsExchangeResult result = platform::RunTlsExchange(*request);
        shared->post([this, shared, result = std::move(result)] {
            // Checked where it lands: a cancel may have come after the post.
            if (shared->cancelled)
                return;
            if (!result.error.empty()) {
                finish({result.error, {}});
                return;
            }
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(result.answer.data());
            const nts::KeParse parsed = nts::ParseKeResponse({bytes, result.answer.size()});
            for (const std::uint16_t warning : parsed.response.warnings)
                log_(">Note: the key exchange server warns: " + nts::KeWarningName(warning));
            if (parsed.status != nts::KeStatus::Complete) {
                finish({capitalised(nts::KeFailureText(parsed)), {}});
                return;
            }
            KeyExchangeOutcome outcome;
            outcome.session.clientToServerKey = result.exported.at(0);
            outcome.session.serverToClientKey = result.exported.at(1);
            for (const std::string& cookie : parsed.response.cookies)
                outcome.session.addCookie(cookie);
            // Unnamed, the NTP server is the one the exchange reached.
            outcome.session.ntpHost = parsed.response.ntpServer.value_or(
                platform::ParseHost(settings_.address.empty() ? settings_.host : settings_.address).host);
            outcome.session.ntpPort = std::to_string(parsed.response.ntpPort.value_or(123));
            const std::size_t count = parsed.response.cookies.size();
            log_(">" + std::to_string(count) + (count == 1 ? " cookie" : " cookies") + " received");
            log_(">NTP server " + outcome.session.ntpHost + " port " + outcome.session.ntpPort +
                 (parsed.response.ntpServer || parsed.response.ntpPort ? " (named by the key exchange)" : ""));
            finish(std::move(outcome));
        });
    }).detach();
}

void NtsKeyExchange::finish(KeyExchangeOutcome outcome)
{
    if (!running_)
        return;
    running_ = false;
    shared_.reset();
    if (done_)
        done_(outcome);
}

} // namespace check
