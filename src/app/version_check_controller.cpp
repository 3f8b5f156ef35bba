#include "version_check_controller.h"

#include <exception>
#include <memory>

#include "build_settings.h"
#include "host/host.h"
#include "io/status.h"
#include "text_conversion.h"
#include "update/http_client.h"
#include "update/version_check.h"
#include "update/version_reply.h"
#include "user_dialogs.h"

namespace ostravex::app {
namespace {

// Thrown from the request's wait when the window goes away: it ends the request at once,
// its connection closed on the way out.
struct RequestGivenUp {};

}  // namespace

VersionCheckController::VersionCheckController(Host& host, UserDialogs& dialogs, QWidget& window)
    : m_host(host), m_dialogs(dialogs), m_window(window), m_service(kVersionHost) {}

VersionCheckController::~VersionCheckController() {
    stopRequest();
}

void VersionCheckController::stopRequest() {
    m_giveUp = true;
    if (m_request.joinable()) {
        m_request.join();
    }
    m_giveUp = false;
}

void VersionCheckController::setService(const QString& host, std::chrono::milliseconds timeout) {
    m_service = host;
    m_timeout = timeout;
}

void VersionCheckController::check() {
    const std::string service = m_service.toStdString();
    if (!IsVersionServiceConfigured(service)) {
        return;  // this build names no service: there is nothing to ask
    }
    if (m_checking) {
        m_dialogs.error(&m_window, "The version check is busy with an earlier request");
        return;
    }
    m_host.addLog("Checking for new version..");
    m_checking = true;
    // The thread of the last check has handed over its answer and is ending.
    if (m_request.joinable()) {
        m_request.join();
    }
    m_request = std::thread(
        [this, url = VersionCheckUrl(service), timeout = m_timeout] { request(url, timeout); });
}

// The request's own thread: waits for the reply, then hands it to the window's thread.
void VersionCheckController::request(const std::string& url, std::chrono::milliseconds timeout) {
    HttpGetOptions options;
    options.inactivityTimeout = timeout;
    options.pump = [this] {
        if (m_giveUp) {
            throw RequestGivenUp{};
        }
    };
    auto reply = std::make_shared<HttpReply>();
    Status status = Status::success();
    try {
        status = HttpGet(url, options, *reply);
    } catch (const RequestGivenUp&) {
        return;
    } catch (const std::exception& error) {
        status = Status::failure(error.what());
    }
    // Runs after the window's pending events; never once this object is gone.
    QMetaObject::invokeMethod(
        this, [this, status, reply] { showAnswer(status, *reply); }, Qt::QueuedConnection);
}

void VersionCheckController::showAnswer(const Status& status, const HttpReply& reply) {
    m_checking = false;
    if (!status) {
        m_dialogs.error(&m_window, FromUtf8(status.reason()));
        emit checkFinished();
        return;
    }
    const VersionReply answer = InterpretVersionReply(reply.body);
    switch (answer.kind) {
        case VersionReply::Kind::LatestVersion:
            m_host.addLog("You have the latest version");
            break;
        case VersionReply::Kind::NewBuild:
            m_dialogs.message(&m_window, "New version found! Build " +
                                             QString::fromLatin1(answer.text.c_str()) +
                                             " is available");
            openWebsite();
            break;
        case VersionReply::Kind::Notice:
            m_dialogs.message(&m_window, QString::fromLocal8Bit(answer.text.c_str()));
            break;
        case VersionReply::Kind::CouldNotCheck:
            m_host.addLog("Couldn't check for new version");
            break;
        case VersionReply::Kind::Nothing:
            break;
    }
    emit checkFinished();
}

void VersionCheckController::openWebsite() {
    m_dialogs.openUrl(kWebsiteUrl);
}

void VersionCheckController::openDonationPage() {
    m_dialogs.openUrl(kDonateUrl);
}

}  // namespace ostravex::app
