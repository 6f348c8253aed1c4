#include "dialog/SelfTestSession.h"

#include <cstdio>

#include "comm/CancelSignal.h"
#include "dialog/MainDialog.h"

namespace {

constexpr int32_t kPoints = 32;

Rgb ColourOf(const PointVerdict& verdict) {
    if (verdict.fault == PointFault::NotTested)
        return SelfTestSession::kUntested;
    return verdict.Ok() ? SelfTestSession::kPassed : SelfTestSession::kFailed;
}

} // namespace

SelfTestSession::SelfTestSession(MainDialog& dialog, ISelfTestView& view, bool* loopbackChoice)
    : m_dialog(dialog), m_view(view), m_loopbackChoice(loopbackChoice),
      m_loopback(loopbackChoice != nullptr && *loopbackChoice) {
    for (int32_t i = 0; i < kPoints; ++i) {
        m_view.ShowPoint(true, i, kUntested, "");
        m_view.ShowPoint(false, i, kUntested, "");
    }
    ShowControls();
}

SelfTestSession::~SelfTestSession() {
    if (!m_run)
        return;
    m_run->stop = true;
    m_dialog.CancelWork();
    m_dialog.ResumePolling();
}

bool SelfTestSession::LoopbackPossible() const {
    return m_dialog.Config().protocolType != ProtocolType::Protocol55;
}

void SelfTestSession::ShowControls() {
    const bool running = m_run != nullptr;
    const bool possible = LoopbackPossible();
    SelfTestControls controls;
    controls.start = !running;
    controls.cancel = running;
    controls.copy = !running && !m_last.coils.empty();
    controls.loopback = !running && possible;
    controls.loopbackChecked = possible && m_loopback;
    controls.loopbackTip = possible ? "" : kNoLoopbackTip;
    m_view.ShowControls(controls);
}

void SelfTestSession::OnLoopbackChanged(bool checked) {
    if (m_run || !LoopbackPossible())
        return;
    m_loopback = checked;
    if (m_loopbackChoice != nullptr)
        *m_loopbackChoice = checked;
}

void SelfTestSession::Start(bool loopback) {
    if (m_run)
        return;
    OnLoopbackChanged(loopback);
    if (!m_dialog.Shown().connected) {
        m_view.ShowVerdict("错误: 设备未连接");
        return;
    }
    m_dialog.SuspendPolling();
    m_shown.clear();
    m_run = std::make_shared<Run>();
    m_view.ShowVerdict("自检中...");
    ShowControls();
    std::weak_ptr<SelfTestSession*> alive = m_alive;
    m_dialog.Submit([run = m_run, withLoopback = m_loopback && LoopbackPossible(),
                     &dialog = m_dialog, alive](Device& device) {
        Test(device, withLoopback, run, dialog, alive);
    });
}

void SelfTestSession::Cancel() {
    if (!m_run || m_run->cancel.exchange(true))
        return;
    // The transaction under way is called off; the restoring that follows runs normally.
    m_dialog.CancelWork();
}

// On the worker: every step of the test, each reported to the window as it is done.
void SelfTestSession::Test(Device& device, bool loopback, const std::shared_ptr<Run>& run,
                           MainDialog& dialog, const std::weak_ptr<SelfTestSession*>& alive) {
    SelfTest test(device, loopback);
    bool cancelSeen = false;
    auto post = [&](bool last) {
        dialog.Post([alive, last, report = test.Report()] {
            const std::shared_ptr<SelfTestSession*> session = alive.lock();
            if (!session)
                return;
            (*session)->ShowStep(report);
            if (last)
                (*session)->Finish(report);
        });
    };
    post(false);
    for (;;) {
        if (run->cancel)
            test.Cancel();
        const bool more = !run->stop && test.Step();
        post(!more || run->stop);
        if (!more || run->stop)
            return;
        CancelSignal* signal = CancelSignal::Current();
        if (signal != nullptr && signal->IsRaised()) {
            // The first raise after Cancel was meant for the wait then under way: the test
            // goes on to restore the coils. Any other (closing) ends it here.
            if (!run->cancel || cancelSeen) {
                post(true);
                return;
            }
            cancelSeen = true;
            signal->Reset();
            if (run->stop)
                signal->Raise();
        }
    }
}

void SelfTestSession::ShowStep(const SelfTestReport& report) {
    ShowReport(report);
    // The test's own steps: a test that stopped early shows where it stopped.
    m_view.ShowProgress(report.stepsTested, report.stepsPlanned);
}

void SelfTestSession::Finish(const SelfTestReport& report) {
    if (!m_run)
        return;
    m_last = report;
    // Stopped between two steps: ended by the operator all the same.
    if (m_last.end == SelfTestEnd::Running)
        m_last.end = SelfTestEnd::Cancelled;
    m_run.reset();
    const std::string problem = RestoreProblem(m_last);
    m_view.ShowVerdict(Verdict(m_last) + (problem.empty() ? "" : "\n" + problem));
    ShowControls();
    m_dialog.ResumePolling();
}

void SelfTestSession::ShowReport(const SelfTestReport& report) {
    m_view.ShowInputs(!report.inputs.empty());
    // Only the points that changed are shown again.
    m_shown.resize(2 * kPoints);
    auto show = [this](bool isCoil, int32_t index, const PointVerdict& verdict) {
        const Rgb colour = ColourOf(verdict);
        const std::string reason = Reason(verdict);
        std::string& shown = m_shown[static_cast<size_t>((isCoil ? 0 : kPoints) + index)];
        const std::string now = std::to_string(colour.red) + "," + std::to_string(colour.green) +
                                "," + std::to_string(colour.blue) + " " + reason;
        if (now != shown) {
            shown = now;
            m_view.ShowPoint(isCoil, index, colour, reason);
        }
    };
    for (int32_t i = 0; i < kPoints; ++i) {
        if (static_cast<size_t>(i) < report.coils.size())
            show(true, i, report.coils[static_cast<size_t>(i)]);
        if (static_cast<size_t>(i) < report.inputs.size())
            show(false, i, report.inputs[static_cast<size_t>(i)]);
    }
}

std::string SelfTestSession::Reason(const PointVerdict& verdict) {
    switch (verdict.fault) {
    case PointFault::None:
        return "";
    case PointFault::NotTested:
        return "未测试";
    case PointFault::BadAnswer:
        return "应答错误: " + verdict.answer;
    case PointFault::DidNotSwitchOn:
        return "未能接通";
    case PointFault::DidNotSwitchOff:
        return "未能断开";
    case PointFault::OtherCoilMoved:
        return "线圈 " + std::to_string(verdict.other) + " 也动作了";
    case PointFault::DidNotFollow:
        return "未跟随线圈";
    case PointFault::MovedWithOtherCoil:
        return "随线圈 " + std::to_string(verdict.other) + " 动作";
    }
    return "";
}

std::string SelfTestSession::Verdict(const SelfTestReport& report) {
    const int32_t failed = report.FailedCount();
    std::string verdict;
    switch (report.end) {
    case SelfTestEnd::Cancelled:
        verdict = "自检已取消";
        break;
    case SelfTestEnd::BoardSilent:
        verdict = "自检中断: 设备无应答";
        break;
    case SelfTestEnd::ConnectionLost:
        verdict = "自检中断: 连接已断开";
        break;
    case SelfTestEnd::Refused:
        verdict = "自检中断: 应答错误: " + report.refusal;
        break;
    default:
        if (failed > 0)
            return "自检失败: " + std::to_string(failed) + " 项";
        return report.restored ? "自检通过" : "自检失败: 线圈未能恢复";
    }
    // Faults found before the test stopped still count.
    if (failed > 0)
        verdict += "，已发现 " + std::to_string(failed) + " 项失败";
    return verdict;
}

std::string SelfTestSession::RestoreProblem(const SelfTestReport& report) {
    if (report.restored)
        return {};
    char before[16], after[16];
    std::snprintf(before, sizeof before, "%08X", static_cast<unsigned>(report.coilsBefore));
    std::snprintf(after, sizeof after, "%08X", static_cast<unsigned>(report.coilsAfter));
    if (!report.endRead)
        return std::string("⚠ 线圈可能未恢复: 无法读回，自检前为 ") + before;
    std::string text = std::string("⚠ 线圈未能恢复: 自检前 ") + before + "，现为 " + after + "（";
    const std::vector<int32_t> moved = report.CoilsNotRestored();
    for (size_t i = 0; i < moved.size(); ++i) {
        const bool on = (report.coilsAfter >> moved[i] & 1u) != 0;
        text += (i == 0 ? "" : "，") + std::string("线圈 ") + std::to_string(moved[i]) + " 现为 " +
                (on ? "ON，原为 OFF" : "OFF，原为 ON");
    }
    return text + "）";
}

std::string SelfTestSession::ResultText() const {
    if (m_last.coils.empty())
        return {};
    char header[128];
    std::snprintf(header, sizeof header, "用时 %.1f s，回环检查: %s\n", m_last.seconds,
                  m_last.inputs.empty() ? "否" : "是");
    std::string text = "板卡自检: " + Verdict(m_last) + "\n";
    const std::string problem = RestoreProblem(m_last);
    if (!problem.empty())
        text += problem + "\n";
    text += header;
    auto list = [&text](const char* kind, const std::vector<PointVerdict>& points) {
        for (size_t i = 0; i < points.size(); ++i) {
            const std::string reason = Reason(points[i]);
            text += std::string(kind) + " " + std::to_string(i) + ": " +
                    (points[i].Ok()                             ? "通过"
                     : points[i].fault == PointFault::NotTested ? reason
                                                                : "失败 - " + reason) +
                    "\n";
        }
    };
    list("线圈", m_last.coils);
    list("输入", m_last.inputs);
    return text;
}
