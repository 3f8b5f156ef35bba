#include "version_check_controller.h"

#include <QCoreApplication>

#include "build_settings.h"
#include "host/host.h"
#include "text_conversion.h"
#include "update/http_client.h"
#include "update/version_check.h"
#include "update/version_reply.h"
#include "user_dialogs.h"

namespace ostravex::app {

VersionCheckController::VersionCheckController(Host& host, UserDialogs& dialogs, QWidget& window)
    : m_host(host), m_dialogs(dialogs), m_window(window), m_service(kVersionHost) {}

void VersionCheckController::setService(const QString& host, std::chrono::milliseconds timeout) {
    m_service = host;
    m_timeout = timeout;
}

void VersionCheckController::check() {
    if (m_checking) {
        m_dialogs.error(&m_window, "The version check is busy with an earlier request");
        return;
    }
    m_host.addLog("Checking for new version..");
    const std::string service = m_service.toStdString();
    if (!IsVersionServiceConfigured(service)) {
        m_host.addLog("Couldn't check for new version");  // this build names no service
        return;
    }
    m_checking = true;
    HttpGetOptions options;
    options.inactivityTimeout = m_timeout;
    options.pump = [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 20); };
    HttpReply reply;
    const Status status = HttpGet(VersionCheckUrl(service), options, reply);
    m_checking = false;
    if (!status) {
        m_dialogs.error(&m_window, FromUtf8(status.reason()));
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
}

void VersionCheckController::openWebsite() {
    m_dialogs.openUrl(kWebsiteUrl);
}

void VersionCheckController::openDonationPage() {
    m_dialogs.openUrl(kDonateUrl);
}

}  // namespace ostravex::app
