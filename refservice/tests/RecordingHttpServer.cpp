#include "RecordingHttpServer.h"

RecordingHttpServer::RecordingHttpServer(RefService& service, const Limits& limits)
    : HttpServer(service, limits) {
    SetObserver(this);
}

RecordingHttpServer::~RecordingHttpServer() {
    // Before the record goes: the server's threads report to it.
    Stop();
}

std::vector<std::string> RecordingHttpServer::Requests() {
    std::lock_guard<std::mutex> guard(lock);
    return requests;
}

std::vector<std::string> RecordingHttpServer::UserAgents() {
    std::lock_guard<std::mutex> guard(lock);
    return userAgents;
}

void RecordingHttpServer::OnRequest(const std::string& target, const std::string& userAgent) {
    {
        std::lock_guard<std::mutex> guard(lock);
        requests.push_back(target);
        userAgents.push_back(userAgent);
    }
    if (HANDLE release = hold.load()) {
        WaitForSingleObject(release, 60000);
    }
}
