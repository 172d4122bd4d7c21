#include "hooks/host_test_hooks.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace host::hooks {

namespace {

// What a test asked to go wrong: the nth operation of one kind fails, and with persistent
// every later one too; or the process kills itself before its killAt-th operation.
struct TFaultPlan {
    bool armed = false;
    Operation operation = Operation::Read;
    int64_t remaining = 0;
    int code = 0;
    bool persistent = false;
    int64_t operationCount = 0;
    int64_t killAt = 0;  // 0: never
    bool skipFlushes = false;
    std::optional<int64_t> available;
    bool linkBeforeOpen = false;
};

std::mutex& FaultMutex() {
    static std::mutex mutex;
    return mutex;
}

bool ParseOperation(const std::string& name, Operation& operation) {
    static const std::pair<const char*, Operation> kNames[] = {
        {"read", Operation::Read},   {"write", Operation::Write},
        {"truncate", Operation::Truncate}, {"flush", Operation::Flush},
        {"rename", Operation::Rename}, {"remove", Operation::Remove},
    };
    for (const auto& [text, value] : kNames) {
        if (name != text) continue;
        operation = value;
        return true;
    }
    return false;
}

int ParseErrorCode(const std::string& name) {
    if (name == "EIO") return EIO;
    if (name == "ENOSPC") return ENOSPC;
    if (name == "EDQUOT") return EDQUOT;
    if (name == "EROFS") return EROFS;
    return std::atoi(name.c_str());
}

std::vector<std::string> SplitAtColons(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t colon = text.find(':', start);
        parts.push_back(text.substr(start, colon == std::string::npos ? std::string::npos : colon - start));
        if (colon == std::string::npos) return parts;
        start = colon + 1;
    }
}

// VPAK_TEST_FAULT=operation:nth:code[:persistent], VPAK_TEST_KILL_AT=n.
void ReadFaultEnvironment(TFaultPlan& plan) {
    if (const char* fault = std::getenv("VPAK_TEST_FAULT")) {
        const std::vector<std::string> parts = SplitAtColons(fault);
        Operation operation{};
        if (parts.size() >= 3 && ParseOperation(parts[0], operation)) {
            plan.armed = true;
            plan.operation = operation;
            plan.remaining = std::atoll(parts[1].c_str());
            plan.code = ParseErrorCode(parts[2]);
            plan.persistent = parts.size() >= 4 && parts[3] == "persistent";
        }
    }
    if (const char* killAt = std::getenv("VPAK_TEST_KILL_AT")) plan.killAt = std::atoll(killAt);
    if (const char* available = std::getenv("VPAK_TEST_AVAILABLE")) plan.available = std::atoll(available);
    if (const char* link = std::getenv("VPAK_TEST_LINK_BEFORE_OPEN")) plan.linkBeforeOpen = std::string(link) == "1";
}

std::mutex& ListenerMutex() {
    static std::mutex mutex;
    return mutex;
}

// Read without the lock first: a run that nobody listens to pays for no lock per write.
std::atomic<ChangeListener*> listener{nullptr};

TFaultPlan& FaultPlan() {
    static TFaultPlan plan = [] {
        TFaultPlan initial;
        ReadFaultEnvironment(initial);
        return initial;
    }();
    return plan;
}

}  // namespace

std::optional<Fault> BeforeOperation(Operation operation) {
    std::lock_guard<std::mutex> lock(FaultMutex());
    TFaultPlan& plan = FaultPlan();
    ++plan.operationCount;
    if (plan.killAt > 0 && plan.operationCount == plan.killAt) return Fault{.kill = true};
    const std::optional<Fault> pass =
        plan.skipFlushes && operation == Operation::Flush ? std::optional<Fault>(Fault{.skip = true}) : std::nullopt;
    if (!plan.armed || plan.operation != operation) return pass;
    if (plan.remaining > 1) {
        --plan.remaining;
        return pass;
    }
    if (!plan.persistent) plan.armed = false;
    if (plan.code == 0) return pass;  // a fault of code 0 lets the operation run
    return Fault{.code = plan.code};
}

void FailNth(Operation operation, int64_t nth, int code, bool persistent) {
    std::lock_guard<std::mutex> lock(FaultMutex());
    TFaultPlan& plan = FaultPlan();
    plan.armed = nth > 0;
    plan.operation = operation;
    plan.remaining = nth;
    plan.code = code;
    plan.persistent = persistent;
}

void ClearFaults() {
    std::lock_guard<std::mutex> lock(FaultMutex());
    FaultPlan().armed = false;
}

void AfterChange(const ChangeDone& done) {
    if (listener.load(std::memory_order_acquire) == nullptr) return;
    std::lock_guard<std::mutex> lock(ListenerMutex());
    if (ChangeListener* current = listener.load(std::memory_order_relaxed)) current->Changed(done);
}

void ListenToChanges(ChangeListener* newListener) {
    std::lock_guard<std::mutex> lock(ListenerMutex());
    listener.store(newListener, std::memory_order_release);
}

void BeforeOpeningExisting(int folder, const std::string& name) {
    {
        std::lock_guard<std::mutex> lock(FaultMutex());
        if (!FaultPlan().linkBeforeOpen) return;
    }
    const std::string moved = name + ".moved";
    if (::renameat(folder, name.c_str(), folder, moved.c_str()) == 0) ::symlinkat(moved.c_str(), folder, name.c_str());
}

void SwapForLinkBeforeOpening(bool swap) {
    std::lock_guard<std::mutex> lock(FaultMutex());
    FaultPlan().linkBeforeOpen = swap;
}

void SkipFlushes(bool skip) {
    std::lock_guard<std::mutex> lock(FaultMutex());
    FaultPlan().skipFlushes = skip;
}

std::optional<int64_t> AvailableSpace() {
    std::lock_guard<std::mutex> lock(FaultMutex());
    return FaultPlan().available;
}

void SetAvailableSpace(std::optional<int64_t> available) {
    std::lock_guard<std::mutex> lock(FaultMutex());
    FaultPlan().available = available;
}

int64_t OperationCount() {
    std::lock_guard<std::mutex> lock(FaultMutex());
    return FaultPlan().operationCount;
}

}  // namespace host::hooks
