#pragma once

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "dialog/IMainDialogView.h"
#include "dialog/MainDialog.h"
#include "dialog/MainDlgTemplate.h"

// A window without a toolkit: records what MainDialog shows, and plays the operator, the timers
// and the message queue as a real window does (a disabled control takes no click, a check box
// toggles before its click is reported, only running timers tick).
class FakeDialogView : public IMainDialogView {
public:
    struct Combo {
        std::vector<std::string> items;
        int32_t selection = -1;
    };
    struct Look {
        std::string caption;
        Rgb background, text;
    };

    std::string title;
    std::map<int32_t, std::string> texts; // also a combo box's typed text
    std::map<int32_t, bool> checks, enabled;
    std::map<int32_t, Combo> combos;
    std::map<int32_t, Look> looks;
    std::map<int32_t, std::deque<std::string>> panes;
    std::map<int32_t, int32_t> timers;
    std::deque<std::function<void()>> queue;
    std::mutex queueLock;
    int32_t aboutBoxes = 0;
    int32_t timelines = 0;
    bool closed = false;
    MainDialog* dialog = nullptr;

    void SetTitle(const std::string& text) override { title = text; }
    void SetText(int32_t id, const std::string& text) override { texts[id] = text; }
    std::string GetText(int32_t id) override {
        const auto combo = combos.find(id);
        const bool listed = combo != combos.end() && combo->second.selection >= 0;
        if (listed)
            return combo->second.items[size_t(combo->second.selection)];
        return texts[id];
    }
    void SetCheck(int32_t id, bool checked) override { checks[id] = checked; }
    bool GetCheck(int32_t id) override { return checks[id]; }
    void Enable(int32_t id, bool on) override { enabled[id] = on; }
    void SetComboItems(int32_t id, const std::vector<std::string>& items) override {
        combos[id] = Combo{items, -1};
    }
    void SelectComboItem(int32_t id, int32_t index) override { combos[id].selection = index; }
    int32_t GetComboSelection(int32_t id) override { return combos[id].selection; }
    void SetButtonLook(int32_t id, const std::string& caption, Rgb bk, Rgb text) override {
        looks[id] = Look{caption, bk, text};
    }
    void AppendLine(int32_t paneId, const std::string& line) override {
        panes[paneId].push_back(line);
    }
    void DropOldestLines(int32_t paneId, int32_t count) override {
        auto& pane = panes[paneId];
        pane.erase(pane.begin(), pane.begin() + std::min<long>(long(pane.size()), count));
    }
    void StartTimer(int32_t timerId, int32_t intervalMs) override { timers[timerId] = intervalMs; }
    void StopTimer(int32_t timerId) override { timers.erase(timerId); }
    // Any thread may post, as with a real window.
    void Post(std::function<void()> task) override {
        std::lock_guard<std::mutex> hold(queueLock);
        queue.push_back(std::move(task));
    }
    void ShowAboutBox(const AboutBoxTexts&) override { ++aboutBoxes; }
    void ShowTimeline() override { ++timelines; }
    void Close() override { closed = true; }

    // The operator clicks a control; the window then runs its queue dry.
    void Click(int32_t id) {
        if (enabled.count(id) && !enabled[id])
            return;
        for (const DlgItem& item : MainDlgTemplate::kItems)
            checks[id] ^= item.id == id && item.kind == DlgItemKind::CheckBox;
        dialog->OnCommand(id);
        Pump();
    }
    // The operator types into an edit or a combo box's field.
    void Type(int32_t id, const std::string& text) {
        texts[id] = text;
        if (combos.count(id)) {
            combos[id].selection = -1;
            dialog->OnComboChange(id);
        }
    }
    // A tick of a running timer; false when the timer is not running.
    bool Tick(int32_t timerId) {
        if (!timers.count(timerId))
            return false;
        dialog->OnTimer(timerId);
        Pump();
        return true;
    }
    // Runs the queued tasks, at most `atMost`.
    void Pump(size_t atMost = SIZE_MAX) {
        for (size_t done = 0; done < atMost; ++done) {
            std::function<void()> next;
            {
                std::lock_guard<std::mutex> hold(queueLock);
                if (queue.empty())
                    return;
                next = std::move(queue.front());
                queue.pop_front();
            }
            next();
        }
    }
    std::vector<std::string> Lines(int32_t paneId) {
        return {panes[paneId].begin(), panes[paneId].end()};
    }
};
