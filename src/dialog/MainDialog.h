#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/Device.h"
#include "device/IDeviceCallback.h"
#include "dialog/DeviceSnapshot.h"
#include "dialog/IJobQueue.h"
#include "dialog/IMainDialogView.h"
#include "dialog/LinkStatisticsLine.h"
#include "dialog/MenuEntry.h"
#include "history/PointEventRecorder.h"
#include "history/PointHistory.h"

class WindowTools;

// The main window's behaviour, free of any toolkit: start-up values, the selectors, reading
// the setting panes into the device's settings, connect and disconnect, the coil and input
// buttons, the timed poll and the heartbeat, and what each device event shows. It owns the
// one Device and drives a window through IMainDialogView; the window forwards the operator's
// actions and timer ticks to the On... operations below.
//
// The window's thread never waits on the board: every Device operation (connect, the reads
// after it, a click's write, a poll tick, the heartbeat, disconnect) is a job of one worker
// (IJobQueue), in the order asked, and only that worker touches the Device. Its events come
// back through IMainDialogView::Post in the order they were raised, each with a snapshot of
// the Device (DeviceSnapshot) that the window shows. Disconnect and closing cancel whatever
// the worker is waiting for.
//
// Split by concern: MainDialog.cpp (start-up, panes, menu, closing, posted messages),
// MainDialogCommands.cpp (selectors, address, connect, disconnect, port list),
// MainDialogPanel.cpp (coil and input buttons, poll, timers).
class MainDialog : private IDeviceCallback {
public:
    // Every pane keeps at least its newest kPaneLines lines; the oldest kPaneDropBlock go at
    // once when it holds kPaneLines + kPaneDropBlock, so that an append stays cheap.
    static constexpr int32_t kPaneLines = 10000;
    static constexpr int32_t kPaneDropBlock = 1000;

    // The view must outlive this object. listPorts finds the serial ports to offer (the
    // machine's ports when empty). queue runs the Device's work (null: a WorkerThread).
    explicit MainDialog(IMainDialogView& view,
                        std::function<std::vector<std::string>()> listPorts = {},
                        std::unique_ptr<IJobQueue> queue = nullptr);
    // Stops the worker (cancelling its wait) before the Device goes; posts nothing more.
    ~MainDialog() override;
    MainDialog(const MainDialog&) = delete;
    MainDialog& operator=(const MainDialog&) = delete;

    // After the window has created every control of the template and the 64 buttons: fills
    // in the start-up values and sets up the Device. Connects nothing. Every On... operation
    // below that comes before it is ignored: the controls and the Device are not ready.
    void OnInitDialog();
    // A click on a button or check box (BN_CLICKED), by control ID; unknown IDs are ignored.
    void OnCommand(int32_t id);
    // The text or selection of a combo box changed (CBN_EDITCHANGE, CBN_SELENDOK).
    void OnComboChange(int32_t id);
    // A tick of window timer 101, 102 or 103. A poll or heartbeat tick while the previous one
    // is still on the worker is skipped.
    void OnTimer(int32_t timerId);
    // Appends a line to the send pane (isSend) or the receive pane, on the window's thread.
    void ShowLine(const std::string& line, bool isSend);
    // Enter: does nothing, so the window never closes by accepting.
    void OnOK();
    // Esc or the close box: cancels what the worker waits for, disconnects there (the coils
    // stay as they are), stops the timers and closes the window.
    void OnCancel();

    // The window's menu entries (the about box, then the tools' entries) and the handling
    // of one of them.
    std::vector<MenuEntry> MenuEntries() const;
    void OnMenuCommand(int32_t command);

    // Stops the timed poll while a tool (the self-test) uses the device, and starts it again
    // with the same interval afterwards; a poll that was not running stays stopped.
    void SuspendPolling();
    void ResumePolling();

    // Hands the start-up, the close, every pane line and the tools' menu commands to tools
    // (not owned; null: none). Set before OnInitDialog.
    void SetTools(WindowTools* tools) { m_tools = tools; }
    // The items of a list or combo box as given to the view.
    const std::vector<std::string>& ComboItems(int32_t id) { return m_comboItems[id]; }
    // The index of the item with that text; -1 when there is none.
    int32_t FindComboItem(int32_t id, const std::string& text);
    // Appends an item to a combo box's list (the view's selection is cleared); its index.
    int32_t AddComboItem(int32_t id, const std::string& text);

    // The Device's work, for the tools: job runs on the worker with the Device, after what
    // was asked before it. Posted tasks run later on the window's thread, in order.
    void Submit(std::function<void(Device&)> job);
    void Post(std::function<void()> task) { m_view.Post(std::move(task)); }
    // Drops the worker's queued jobs and ends the wait of the running one at once.
    void CancelWork();
    // What the worker last showed of the Device.
    const DeviceSnapshot& Shown() const { return m_shown; }
    // The settings the window has given the Device; SetConfig gives new ones (on the worker).
    const DeviceConfig& Config() const { return m_config; }
    void SetConfig(const DeviceConfig& config);
    // Seams for tests and benchmarks: how the Device makes its transport, its clock.
    void SetDeviceHooks(Device::Hooks hooks);
    // Every change of the 64 points since the first connect, as the device's events told it.
    const PointHistory& History() const { return m_history; }
    // Now on the history's clock while the device is connected or silent; nothing before the
    // first connect and while disconnected.
    std::optional<int64_t> HistoryNowUs() const;
    // The interval of a running window timer in ms; 0 when it is stopped.
    int32_t TimerInterval(int32_t timerId) const;
    // Poll ticks so far; even means the next tick reads coils.
    int32_t PollCount() const { return m_pollCount; }

private:
    // IDeviceCallback, on the worker: each posts its event with a snapshot, nothing more.
    void OnStateChanged(DeviceState oldState, DeviceState newState) override;
    void OnCoilChanged(int32_t index, uint8_t state) override;
    void OnInputChanged(int32_t index, uint8_t state) override;
    void OnLog(const std::string& text, bool isSend) override;
    void OnOperationResult(const OperationResult& result, uint8_t functionCode) override;
    void OnHeartbeatTimeout() override;

    // Start-up and panes (MainDialog.cpp).
    void InitSerialCombos();
    void EnumerateSerialPorts();
    void EnablePanes(bool serial, bool tcp, bool udp);
    void EnableTransportSelectors(bool enable);
    void PostLog(const std::string& text);
    void AppendToPane(int32_t paneId, const std::string& line);
    // Runs on the window's thread with the snapshot taken when the event was raised.
    void PostEvent(std::function<void()> show);
    void OnDeviceState(DeviceState oldState, DeviceState newState);

    // Connection commands (MainDialogCommands.cpp).
    void OnProtocolSelector(int32_t id, ProtocolType value);
    void OnTransportSelector(int32_t id);
    void ApplyDeviceAddress();
    void SetDeviceAddress(uint8_t address);
    std::string ComboText(int32_t id);
    void OnSerialConnect();
    void OnTcpConnect();
    void OnUdpConnect();
    void ConnectWith(int32_t buttonId, const DeviceConfig& config);
    void OnConnectDone(bool connected, const DeviceConfig& config);
    void ShowConnecting(int32_t buttonId);
    void EndConnecting();
    void OnDisconnect();
    void OnRefreshPorts();

    // Coil and input panel (MainDialogPanel.cpp).
    void UpdateIoButton(int32_t index, bool isCoil, bool connected, bool on);
    void RefreshIoButtons();
    void EnableInputButtons(bool enable);
    void UpdatePolling();
    bool ClickMayExchange(Device& device);
    void OnPollTick();
    void OnInputClicked(int32_t id);
    void OnCoilClicked(int32_t id);
    void SetTimer(int32_t timerId, int32_t intervalMs);
    void KillTimer(int32_t timerId);

    IMainDialogView& m_view;
    WindowTools* m_tools = nullptr;
    std::function<std::vector<std::string>()> m_listPorts;
    // Touched only by jobs of m_queue (the worker), never on the window's thread.
    Device m_device;
    std::unique_ptr<IJobQueue> m_queue;
    // The window's side of the Device: the settings it gave, what the worker showed last.
    DeviceConfig m_config;
    DeviceSnapshot m_shown;
    // The connect button of a connect under way (0: none): it shows so and takes no click.
    int32_t m_connectingId = 0;
    uint32_t m_connects = 0; // connects asked so far, to tell a called-off one's late answer
    // A connect made the device Connected from elsewhere than Offline: read everything once
    // the connect is done.
    bool m_freshConnect = false;
    // A poll or heartbeat job queued or running: the next tick is skipped.
    bool m_pollInFlight = false;
    bool m_heartbeatInFlight = false;
    bool m_useSerial = false;
    bool m_useTcp = false;
    bool m_useUdp = false;
    // The items of each combo box, as given to the view, by combo ID.
    std::map<int32_t, std::vector<std::string>> m_comboItems;
    // The settings the open connection was made with, to tell a changed pane on a connect.
    DeviceConfig m_connectedConfig;
    int32_t m_paneLines[2] = {0, 0}; // send pane, receive pane
    int32_t m_heartbeatIntervalMs = 0;
    int32_t m_pollIntervalMs = 0;
    int32_t m_suspendedPollMs = 0; // the interval of a poll SuspendPolling stopped
    // Requests and results of this connection, shown each second while connected.
    LinkStatisticsLine m_statistics;
    // Alternates the poll between coils (even) and inputs (odd) for the life of the window.
    int32_t m_pollCount = 0;
    // The points over time, fed from the device events handled here.
    PointHistory m_history;
    PointEventRecorder m_recorder{m_history};
    // Set by OnInitDialog once the controls hold their start-up values.
    bool m_started = false;
};
