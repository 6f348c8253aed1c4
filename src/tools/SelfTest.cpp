#include "tools/SelfTest.h"

#include <algorithm>

#include "device/Device.h"

namespace {

constexpr int32_t kPoints = 32;

} // namespace

std::string DescribeVerdict(const PointVerdict& verdict) {
    switch (verdict.fault) {
    case PointFault::None:
        return "";
    case PointFault::NotTested:
        return "not tested";
    case PointFault::BadAnswer:
        return "bad answer: " + verdict.answer;
    case PointFault::DidNotSwitchOn:
        return "did not switch on";
    case PointFault::DidNotSwitchOff:
        return "did not switch off";
    case PointFault::OtherCoilMoved:
        return "coil " + std::to_string(verdict.other) + " moved too";
    case PointFault::DidNotFollow:
        return "did not follow its coil";
    case PointFault::MovedWithOtherCoil:
        return "moved with coil " + std::to_string(verdict.other);
    }
    return "";
}

bool SelfTestReport::Passed() const {
    auto ok = [](const PointVerdict& v) { return v.Ok(); };
    return end == SelfTestEnd::Finished && restored &&
           std::all_of(coils.begin(), coils.end(), ok) &&
           std::all_of(inputs.begin(), inputs.end(), ok);
}

std::vector<int32_t> SelfTestReport::CoilsNotRestored() const {
    std::vector<int32_t> moved;
    for (int32_t k = 0; endRead && k < kPoints; ++k) {
        if (((coilsBefore ^ coilsAfter) >> k & 1u) != 0)
            moved.push_back(k);
    }
    return moved;
}

int32_t SelfTestReport::FailedCount() const {
    auto failed = [](const PointVerdict& v) {
        return v.fault != PointFault::None && v.fault != PointFault::NotTested;
    };
    return static_cast<int32_t>(std::count_if(coils.begin(), coils.end(), failed) +
                                std::count_if(inputs.begin(), inputs.end(), failed));
}

SelfTest::SelfTest(Device& device, bool loopback)
    : device(device),
      // The 0x55 protocol reports no inputs, so a loopback cannot be seen through it.
      loopback(loopback && device.GetConfig().protocolType != ProtocolType::Protocol55),
      toggles(device.GetConfig().protocolType == ProtocolType::Protocol55) {
    report.coils.resize(kPoints);
    if (this->loopback)
        report.inputs.resize(kPoints);
    plan.push_back({Action::ReadStartCoils, -1, true});
    if (this->loopback)
        plan.push_back({Action::ReadStartInputs, -1, true});
    for (int32_t k = 0; k < kPoints; ++k) {
        for (bool first : {true, false}) {
            plan.push_back({Action::Switch, k, first});
            plan.push_back({Action::CheckCoils, k, first});
            if (this->loopback)
                plan.push_back({Action::CheckInputs, k, first});
        }
    }
    report.stepsPlanned = static_cast<int32_t>(plan.size());
}

bool SelfTest::Step() {
    if (report.end != SelfTestEnd::Running)
        return false;
    if (!started) {
        started = true;
        startTime = std::chrono::steady_clock::now();
    }
    if (!restoring && (cancelRequested || plan.empty())) {
        if (cancelRequested)
            pendingEnd = SelfTestEnd::Cancelled;
        StartRestoring();
        if (report.end != SelfTestEnd::Running)
            return false;
    }
    const Task task = plan.front();
    plan.pop_front();
    if (!restoring)
        ++report.stepsTested;
    Execute(task);
    ++stepsDone;
    return report.end == SelfTestEnd::Running;
}

SelfTestReport SelfTest::Run(const std::atomic<bool>* stop,
                             const std::function<void(int32_t, int32_t)>& progress) {
    for (;;) {
        if (stop != nullptr && stop->load())
            Cancel();
        const bool more = Step();
        if (progress)
            progress(StepsDone(), StepsTotal());
        if (!more)
            return report;
    }
}

void SelfTest::Execute(const Task& task) {
    switch (task.action) {
    case Action::ReadStartCoils:
        if (Succeeded(device.ReadCoils(0, kPoints), -1)) {
            for (int32_t i = 0; i < kPoints; ++i) {
                original[i] = coils[i] = target[i] = device.GetCachedCoil(i);
                report.coilsBefore |= uint32_t(original[i] != 0) << i;
            }
        }
        break;
    case Action::ReadStartInputs:
        if (Succeeded(device.ReadInputs(0, kPoints), -1)) {
            for (int32_t i = 0; i < kPoints; ++i) {
                inputs[i] = device.GetCachedInput(i);
                coilsAtInputs[i] = coils[i];
                if (inputs[i] != coils[i])
                    Fail(report.inputs[i], PointFault::DidNotFollow);
            }
        }
        break;
    case Action::Switch: {
        const int32_t k = task.coil;
        // Modbus: ON, then OFF. The 0x55 protocol toggles: away from the state, then back.
        if (toggles)
            target[k] = task.first ? !coils[k] : !target[k];
        else
            target[k] = task.first ? 1 : 0;
        if (toggles && coils[k] == target[k])
            break; // a toggle would move it away from where it should go
        wrote = true;
        Succeeded(device.WriteCoil(static_cast<uint8_t>(k), target[k]), k);
        break;
    }
    case Action::CheckCoils:
        CheckCoils(task);
        break;
    case Action::CheckInputs:
        CheckInputs(task);
        break;
    case Action::Restore:
        // A refused write leaves the coil for the final read to judge.
        Succeeded(device.WriteCoil(static_cast<uint8_t>(task.coil), original[task.coil]), -1);
        break;
    case Action::ReadEndCoils:
        if (Succeeded(device.ReadCoils(0, kPoints), -1)) {
            report.endRead = true;
            for (int32_t i = 0; i < kPoints; ++i)
                report.coilsAfter |= uint32_t(device.GetCachedCoil(i) != 0) << i;
            report.restored = report.coilsAfter == report.coilsBefore;
        }
        if (report.end == SelfTestEnd::Running)
            Finish(pendingEnd);
        break;
    }
}

void SelfTest::CheckCoils(const Task& task) {
    const int32_t k = task.coil;
    if (!Succeeded(device.ReadCoils(0, kPoints), k))
        return;
    PointVerdict& verdict = report.coils[k];
    if (device.GetCachedCoil(k) != target[k])
        Fail(verdict, target[k] ? PointFault::DidNotSwitchOn : PointFault::DidNotSwitchOff);
    for (int32_t j = 0; j < kPoints; ++j) {
        const uint8_t now = device.GetCachedCoil(j);
        if (j != k && now != coils[j])
            Fail(verdict, PointFault::OtherCoilMoved, j);
        coils[j] = now;
    }
    if (!task.first && verdict.fault == PointFault::NotTested)
        verdict.fault = PointFault::None;
}

void SelfTest::CheckInputs(const Task& task) {
    const int32_t k = task.coil;
    if (!Succeeded(device.ReadInputs(0, kPoints), k))
        return;
    for (int32_t j = 0; j < kPoints; ++j) {
        // An input follows its coil; one whose coil did not move stays where it was.
        const bool follows = j == k || coils[j] != coilsAtInputs[j];
        const uint8_t expected = follows ? coils[j] : inputs[j];
        inputs[j] = device.GetCachedInput(j);
        coilsAtInputs[j] = coils[j];
        if (inputs[j] != expected) {
            Fail(report.inputs[j],
                 follows ? PointFault::DidNotFollow : PointFault::MovedWithOtherCoil, k);
        }
    }
    if (!task.first && report.inputs[k].fault == PointFault::NotTested)
        report.inputs[k].fault = PointFault::None;
}

bool SelfTest::Succeeded(const OperationResult& result, int32_t coil) {
    if (result.success)
        return true;
    switch (result.kind) {
    case ErrorKind::Cancelled:
        // Called off from outside (the operator's cancel): no fault of the board's. Restore
        // what can be restored; a write called off may have reached the board, so its coil is
        // restored whatever the cache says.
        pendingEnd = SelfTestEnd::Cancelled;
        unsureCoil = coil;
        if (restoring)
            Finish(pendingEnd);
        else
            StartRestoring();
        break;
    case ErrorKind::Timeout:
        // Silence says nothing about the point being tested: it stays untested.
        if (restoring) {
            Finish(pendingEnd); // a silent board cannot be restored
        } else {
            pendingEnd = SelfTestEnd::BoardSilent;
            StartRestoring();
        }
        break;
    case ErrorKind::NotConnected:
    case ErrorKind::SendFailed:
    case ErrorKind::ReceiveFailed:
    case ErrorKind::ConnectionClosed:
        // The transport is gone: nothing more can be sent, restoring included.
        Finish(SelfTestEnd::ConnectionLost);
        break;
    default:
        if (restoring)
            break; // the final read judges what a refused restoring write left
        if (coil < 0) {
            // Without the starting states there is nothing to compare with.
            pendingEnd = SelfTestEnd::Refused;
            report.refusal = result.message;
            StartRestoring();
            break;
        }
        Fail(report.coils[coil], PointFault::BadAnswer);
        report.coils[coil].answer = result.message;
        // The rest of this coil's steps would judge against an unknown state.
        plan.erase(std::remove_if(plan.begin(), plan.end(),
                                  [coil](const Task& t) { return t.coil == coil; }),
                   plan.end());
        break;
    }
    return false;
}

void SelfTest::StartRestoring() {
    restoring = true;
    plan.clear();
    if (!wrote) {
        report.restored = true; // nothing was switched
        Finish(pendingEnd);
        return;
    }
    // The device's cache holds the latest the board reported, echoes of writes included.
    for (int32_t j = 0; j < kPoints; ++j) {
        if (device.GetCachedCoil(j) != original[j] || j == unsureCoil)
            plan.push_back({Action::Restore, j, true});
    }
    plan.push_back({Action::ReadEndCoils, -1, true});
}

void SelfTest::Finish(SelfTestEnd end) {
    plan.clear();
    if (!wrote)
        report.restored = true; // nothing was switched
    report.end = end;
    report.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - startTime).count();
}

void SelfTest::Fail(PointVerdict& verdict, PointFault fault, int32_t other) {
    // The first fault found is the one reported.
    if (verdict.fault != PointFault::None && verdict.fault != PointFault::NotTested)
        return;
    verdict.fault = fault;
    verdict.other = other;
}
