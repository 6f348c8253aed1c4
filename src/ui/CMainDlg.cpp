#include "ui/CMainDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>

#include <mutex>

#include "comm/EnumerateSerialPorts.h"
#include "ui/CAboutDlg.h"
#include "ui/CColorButton.h"
#include "ui/CLogPane.h"
#include "ui/CaptionFont.h"
#include "ui/DeviceEvent.h"
#include "ui/DialogUnits.h"
#include "ui/MainDlgIds.h"
#include "ui/MainDlgTemplate.h"
#include "ui/VornakIcon.h"

namespace {

// A combo box shows one line when closed; the template's height is that of its open list.
constexpr int32_t kComboClosedHeightDlu = 14;

// Emoji in the status lines (✅ ⚠ ❌) come from a colour emoji face when the dialog's
// own faces lack them.
QFont DialogTextFont() {
    QFont font = CaptionFont(DialogUnits::DialogFont(), MainDlgTemplate::kItems.data(),
                             static_cast<int>(MainDlgTemplate::kItems.size()));
    QStringList families = font.families();
    families << QStringLiteral("Noto Color Emoji");
    font.setFamilies(families);
    return font;
}

} // namespace

CMainDlg::CMainDlg(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFont(DialogTextFont());
    setFixedSize(DialogUnits::ToPixels(QSize(MainDlgTemplate::kWidth, MainDlgTemplate::kHeight)));
    CreateControls();
    OnInitDialog();
}

CMainDlg::~CMainDlg() {
    // The Device's destructor disconnects and would raise events: none of them may
    // reach this window while it is being destroyed.
    m_device.SetCallback(nullptr);
}

QWidget* CMainDlg::GetDlgItem(int32_t id) const {
    return m_items.value(id, nullptr);
}

QCheckBox* CMainDlg::CheckBox(int32_t id) const {
    return static_cast<QCheckBox*>(m_items.value(id, nullptr));
}

QLineEdit* CMainDlg::Edit(int32_t id) const {
    return static_cast<QLineEdit*>(m_items.value(id, nullptr));
}

// Creates the template's controls in template order, so that the focus chain (the tab
// order) and the stacking follow the template: a frame lies below the controls it holds.
void CMainDlg::CreateControls() {
    for (const DlgItem& item : MainDlgTemplate::kItems) {
        const QString caption = QString::fromUtf8(item.caption);
        QRect rect = DialogUnits::ToPixels(QRect(item.x, item.y, item.width, item.height));
        QWidget* widget = nullptr;
        switch (item.kind) {
        case DlgItemKind::GroupBox: {
            auto* box = new QGroupBox(caption, this);
            // A frame never takes the clicks meant for the controls inside or behind it.
            box->setAttribute(Qt::WA_TransparentForMouseEvents);
            widget = box;
            break;
        }
        case DlgItemKind::Label: {
            auto* label = new QLabel(caption, this);
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            widget = label;
            break;
        }
        case DlgItemKind::PushButton: {
            auto* button = new QPushButton(caption, this);
            // Enter must not press a focused button: only Space and clicks do.
            button->setAutoDefault(false);
            widget = button;
            break;
        }
        case DlgItemKind::CheckBox:
            widget = new QCheckBox(caption, this);
            break;
        case DlgItemKind::Edit:
            widget = new QLineEdit(caption, this);
            break;
        case DlgItemKind::LogPane: {
            auto* pane = new CLogPane(this);
            pane->setTabChangesFocus(true);
            widget = pane;
            break;
        }
        case DlgItemKind::EditCombo:
        case DlgItemKind::ListCombo: {
            auto* combo = new QComboBox(this);
            if (item.kind == DlgItemKind::EditCombo) {
                combo->setEditable(true);
                // Typed text is a value, not a new list entry, and is not completed.
                combo->setInsertPolicy(QComboBox::NoInsert);
                combo->setCompleter(nullptr);
            }
            rect.setHeight(DialogUnits::ToPixelsY(kComboClosedHeightDlu));
            widget = combo;
            break;
        }
        }
        widget->setGeometry(rect);
        if (!item.tabStop) {
            widget->setFocusPolicy(widget->focusPolicy() == Qt::NoFocus ? Qt::NoFocus
                                                                        : Qt::ClickFocus);
        }
        if (item.id != IDC_STATIC) {
            widget->setObjectName(QString::number(item.id));
            m_items.insert(item.id, widget);
        }
    }

    m_addressCombo = static_cast<QComboBox*>(GetDlgItem(IDC_ADDRESS_COMBO));
    m_portCombo = static_cast<QComboBox*>(GetDlgItem(IDC_PORT_COMBO));
    m_baudCombo = static_cast<QComboBox*>(GetDlgItem(IDC_BAUD_COMBO));
    m_dataBitsCombo = static_cast<QComboBox*>(GetDlgItem(IDC_DATABITS_COMBO));
    m_stopBitsCombo = static_cast<QComboBox*>(GetDlgItem(IDC_STOPBITS_COMBO));
    m_parityCombo = static_cast<QComboBox*>(GetDlgItem(IDC_PARITY_COMBO));
    m_serialStatus = static_cast<QLabel*>(GetDlgItem(IDC_SERIAL_STATUS));
    m_tcpServerEdit = Edit(IDC_TCP_SERVER);
    m_tcpPortEdit = Edit(IDC_TCP_PORT);
    m_tcpStatus = static_cast<QLabel*>(GetDlgItem(IDC_TCP_STATUS));
    m_udpLocalIpEdit = Edit(IDC_UDP_LOCAL_IP);
    m_udpLocalPortEdit = Edit(IDC_UDP_LOCAL_PORT);
    m_udpRemoteIpEdit = Edit(IDC_UDP_REMOTE_IP);
    m_udpRemotePortEdit = Edit(IDC_UDP_REMOTE_PORT);
    m_udpStatus = static_cast<QLabel*>(GetDlgItem(IDC_UDP_STATUS));
    m_sendLog = static_cast<CLogPane*>(GetDlgItem(IDC_SEND_LOG));
    m_recvLog = static_cast<CLogPane*>(GetDlgItem(IDC_RECV_LOG));

    // Commands. Each handler is connected with this dialog as context, so none outlives it.
    const std::pair<int32_t, ProtocolType> protocols[] = {
        {IDC_PROTO_RTU, ProtocolType::ModbusRtu},
        {IDC_PROTO_TCP, ProtocolType::ModbusTcp},
        {IDC_PROTO_55, ProtocolType::Protocol55},
    };
    for (const auto& [id, value] : protocols) {
        connect(CheckBox(id), &QCheckBox::clicked, this,
                [this, id = id, value = value] { OnProtocolSelector(id, value); });
    }
    for (int32_t id : {IDC_USE_SERIAL, IDC_USE_TCP, IDC_USE_UDP}) {
        connect(CheckBox(id), &QCheckBox::clicked, this, [this, id] { OnTransportSelector(id); });
    }
    auto onClick = [this](int32_t id, void (CMainDlg::*handler)()) {
        connect(static_cast<QPushButton*>(GetDlgItem(id)), &QPushButton::clicked, this, handler);
    };
    onClick(IDC_SERIAL_OPEN, &CMainDlg::OnSerialConnect);
    onClick(IDC_TCP_CONNECT, &CMainDlg::OnTcpConnect);
    onClick(IDC_UDP_CONNECT, &CMainDlg::OnUdpConnect);
    onClick(IDC_SERIAL_CLOSE, &CMainDlg::OnDisconnect);
    onClick(IDC_TCP_DISCONNECT, &CMainDlg::OnDisconnect);
    onClick(IDC_UDP_DISCONNECT, &CMainDlg::OnDisconnect);
    onClick(IDC_REFRESH_PORTS, &CMainDlg::OnRefreshPorts);
    connect(CheckBox(IDC_POLL_ENABLE), &QCheckBox::clicked, this, &CMainDlg::UpdatePolling);
    // The address follows both a choice from the list and every edit of the typed text.
    connect(m_addressCombo, &QComboBox::activated, this, &CMainDlg::ApplyDeviceAddress);
    connect(m_addressCombo->lineEdit(), &QLineEdit::textEdited, this,
            &CMainDlg::ApplyDeviceAddress);
}

void CMainDlg::OnInitDialog() {
    // Linux window managers offer no system menu that an application can extend, so the
    // about box is on the background's context menu (contextMenuEvent) and on F1.
#ifdef Q_OS_WIN
    // A Windows build appends a separator and IDS_ABOUTBOX (command IDM_ABOUTBOX) to the
    // system menu, next to the context menu and F1.
#endif
    auto* about = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(about, &QShortcut::activated, this, &CMainDlg::ShowAboutBox);

    setWindowIcon(VornakIcon());
    setWindowTitle(QString::fromUtf8(MainDlgTemplate::kCaption));

    for (int address = 0; address <= 255; ++address) {
        m_addressCombo->addItem(QString::number(address));
    }
    m_addressCombo->setCurrentIndex(1);

    Edit(IDC_POLL_INTERVAL)->setText(QStringLiteral("1000"));
    InitSerialCombos();

    m_tcpServerEdit->setText(QStringLiteral("192.168.1.110"));
    m_tcpPortEdit->setText(QStringLiteral("6000"));
    m_udpLocalIpEdit->setText(QStringLiteral("0.0.0.0"));
    m_udpLocalPortEdit->setText(QStringLiteral("0"));
    m_udpRemoteIpEdit->setText(QStringLiteral("192.168.1.110"));
    m_udpRemotePortEdit->setText(QStringLiteral("6000"));

    CreateIoButtons();

    {
        std::lock_guard<std::recursive_mutex> hold(m_device.GetLock());
        m_device.SetProtocol(m_device.GetConfig().protocolType);
    }
    m_device.SetCallback(this);

    DeviceConfig config;
    config.commType = CommType::Serial;
    config.serial.portName = "COM1";
    config.serial.baudRate = 9600;
    config.serial.dataBits = 8;
    config.serial.stopBits = 0;
    config.serial.parity = 0;
    config.tcp.serverIp = "127.0.0.1";
    config.tcp.port = 502;
    config.tcp.timeoutMs = 5000;
    config.udp.localIp = "0.0.0.0";
    config.udp.localPort = 0;
    config.udp.remoteIp = "127.0.0.1";
    config.udp.remotePort = 502;
    config.udp.timeoutMs = 3000;
    config.slaveAddress = 1;
    config.receiveTimeout = 100;
    config.retryCount = 3;
    config.heartbeatTimeout = 5000;
    config.protocolType = ProtocolType::Protocol55;
    m_device.SetConfig(config);

    EnablePanes(false, false, false);

    // The record above holds Protocol55, so the Modbus RTU handler switches the device
    // to Modbus RTU and enables the input buttons.
    CheckBox(IDC_PROTO_RTU)->setChecked(true);
    OnProtocolSelector(IDC_PROTO_RTU, ProtocolType::ModbusRtu);

    CheckBox(IDC_USE_SERIAL)->setChecked(true);
    m_useSerial = true;
    OnTransportSelector(IDC_USE_SERIAL);

    // Ticked only: the poll starts with the first successful connect.
    CheckBox(IDC_POLL_ENABLE)->setChecked(true);

    RefreshIoButtons();
}

void CMainDlg::InitSerialCombos() {
    EnumerateSerialPorts();
    if (m_portCombo->count() > 0)
        m_portCombo->setCurrentIndex(0);

    for (int baud : {9600, 19200, 38400, 57600, 115200}) {
        m_baudCombo->addItem(QString::number(baud));
    }
    m_baudCombo->setCurrentIndex(0);

    m_dataBitsCombo->addItems(
        {QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"), QStringLiteral("8")});
    m_dataBitsCombo->setCurrentIndex(3);

    // The list positions are the stop-bit and parity codes of the serial settings.
    m_stopBitsCombo->addItems({QStringLiteral("1"), QStringLiteral("1.5"), QStringLiteral("2")});
    m_stopBitsCombo->setCurrentIndex(0);

    m_parityCombo->addItems(
        {QStringLiteral("无校验"), QStringLiteral("奇校验"), QStringLiteral("偶校验")});
    m_parityCombo->setCurrentIndex(0);
}

void CMainDlg::EnumerateSerialPorts() {
    for (const std::string& port : ::EnumerateSerialPorts()) {
        m_portCombo->addItem(QString::fromUtf8(port.c_str()));
    }
}

// Both grids use one cell size, computed once from the inputs' group box, so that the
// coil and input buttons always match.
void CMainDlg::CreateIoButtons() {
    QWidget* inputBox = GetDlgItem(IDC_GROUP_INPUTS);
    QWidget* coilBox = GetDlgItem(IDC_GROUP_COILS);
    if (inputBox == nullptr || coilBox == nullptr)
        return;

    const QRect inputInner = inputBox->geometry().adjusted(10, 30, -10, -10);
    const int cellWidth = (inputInner.width() - 14) / 8;
    const int cellHeight = (inputInner.height() - 6) / 4;

    auto createGrid = [&](const QRect& inner, std::array<CColorButton*, 32>& buttons,
                          int32_t firstId, void (CMainDlg::*handler)(int32_t)) {
        for (int i = 0; i < kIoPointCount; ++i) {
            const int x = inner.left() + (i % 8) * (cellWidth + 2);
            const int y = inner.top() + (i / 8) * (cellHeight + 2);
            auto* button = new CColorButton(this);
            button->setText(QStringLiteral("%1\nOFF").arg(i));
            button->setGeometry(x, y, cellWidth, cellHeight);
            // Not a tab stop, and Enter never presses it.
            button->setFocusPolicy(Qt::ClickFocus);
            button->setAutoDefault(false);
            button->SetCornerRadius(3);
            const int32_t id = firstId + i;
            button->setObjectName(QString::number(id));
            m_items.insert(id, button);
            buttons[static_cast<size_t>(i)] = button;
            connect(button, &QPushButton::clicked, this,
                    [this, handler, id] { (this->*handler)(id); });
        }
    };
    createGrid(inputInner, m_inputButtons, IDC_INPUT_BASE, &CMainDlg::OnInputClicked);
    createGrid(coilBox->geometry().adjusted(10, 30, -10, -10), m_coilButtons, IDC_COIL_BASE,
               &CMainDlg::OnCoilClicked);
}

void CMainDlg::EnablePanes(bool serial, bool tcp, bool udp) {
    for (int32_t id :
         {IDC_GROUP_SERIAL, IDC_PORT_COMBO, IDC_BAUD_COMBO, IDC_DATABITS_COMBO, IDC_STOPBITS_COMBO,
          IDC_PARITY_COMBO, IDC_SERIAL_OPEN, IDC_SERIAL_CLOSE, IDC_REFRESH_PORTS}) {
        GetDlgItem(id)->setEnabled(serial);
    }
    for (int32_t id :
         {IDC_GROUP_TCP, IDC_TCP_SERVER, IDC_TCP_PORT, IDC_TCP_CONNECT, IDC_TCP_DISCONNECT}) {
        GetDlgItem(id)->setEnabled(tcp);
    }
    for (int32_t id : {IDC_GROUP_UDP, IDC_UDP_LOCAL_IP, IDC_UDP_LOCAL_PORT, IDC_UDP_REMOTE_IP,
                       IDC_UDP_REMOTE_PORT, IDC_UDP_CONNECT, IDC_UDP_DISCONNECT}) {
        GetDlgItem(id)->setEnabled(udp);
    }
    GetDlgItem(IDC_POLL_INTERVAL)->setEnabled(true);
    GetDlgItem(IDC_POLL_ENABLE)->setEnabled(true);
}

void CMainDlg::EnableTransportSelectors(bool enable) {
    for (int32_t id : {IDC_USE_SERIAL, IDC_USE_TCP, IDC_USE_UDP}) {
        GetDlgItem(id)->setEnabled(enable);
    }
}

void CMainDlg::PostLog(const QString& text) {
    Post(new DeviceEvent(WM_LOG_SEND, 0, text));
}

void CMainDlg::ShowAboutBox() {
    CAboutDlg about(this);
    about.exec();
}

void CMainDlg::contextMenuEvent(QContextMenuEvent* event) {
    // Reached only for the background: the edits and panes keep their own menus.
    QMenu menu(this);
    menu.addAction(QString::fromUtf8(IDS_ABOUTBOX), this, &CMainDlg::ShowAboutBox);
    menu.exec(event->globalPos());
}

void CMainDlg::accept() {}

void CMainDlg::reject() {
    m_device.Disconnect();
    // The timers end with the window on every path out of it.
    KillTimer(TIMER_HEARTBEAT);
    KillTimer(TIMER_POLL);
    QDialog::reject();
}
