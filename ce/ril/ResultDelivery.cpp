#include "ResultDelivery.h"

ResultDelivery::ResultDelivery(RILRESULTCALLBACK callback, DWORD parameter)
    : callback(callback), parameter(parameter), worker(&ResultDelivery::Run, this) {}

ResultDelivery::~ResultDelivery() {
    {
        std::lock_guard<std::mutex> hold(mutex);
        stopping = true;
    }
    wake.notify_all();
    // Not joinable when this thread itself deletes its instance (CloseFromCallback).
    if (worker.joinable()) {
        worker.join();
    }
}

void ResultDelivery::Post(DWORD code, HRESULT commandId, std::vector<BYTE> data, DWORD due) {
    std::lock_guard<std::mutex> hold(mutex);
    results.push_back({due, code, commandId, std::move(data)});
    wake.notify_all();
}

bool ResultDelivery::CloseFromCallback(std::function<void()> deleter) {
    if (std::this_thread::get_id() != worker.get_id()) {
        return false;
    }
    std::lock_guard<std::mutex> hold(mutex);
    deleteOwner = std::move(deleter);
    return true;
}

void ResultDelivery::Run() {
    std::unique_lock<std::mutex> hold(mutex);
    while (!stopping) {
        if (results.empty()) {
            wake.wait(hold);
            continue;
        }
        LONG wait = static_cast<LONG>(results.front().due - GetTickCount());
        if (wait > 0) {
            wake.wait_for(hold, std::chrono::milliseconds(wait));
            continue;
        }
        Result result = std::move(results.front());
        results.pop_front();
        hold.unlock();
        callback(result.code, result.commandId, result.data.empty() ? nullptr : result.data.data(),
                 static_cast<DWORD>(result.data.size()), parameter);
        hold.lock();
        if (deleteOwner) {
            // The instance, and this object with it, goes now: touch nothing of it afterwards.
            std::function<void()> deleter = std::move(deleteOwner);
            hold.unlock();
            hold.release();
            worker.detach();
            deleter();
            return;
        }
    }
}
