#pragma once

#include <cstdint>

// Identifiers of the main dialog and its controls. The numbers are the window's stable
// names: MainDialog and every face of the window address the controls by them.

constexpr int32_t IDD_MAIN = 102;  // the main dialog's template
constexpr int32_t IDC_STATIC = -1; // unnamed labels and frames

// Device settings and selectors.
constexpr int32_t IDC_GROUP_DEVICE = 1023;
constexpr int32_t IDC_ADDRESS_COMBO = 1024;
constexpr int32_t IDC_USE_SERIAL = 1001;
constexpr int32_t IDC_USE_TCP = 1002;
constexpr int32_t IDC_USE_UDP = 1029;
constexpr int32_t IDC_PROTO_RTU = 1018;
constexpr int32_t IDC_PROTO_55 = 1038;
constexpr int32_t IDC_PROTO_TCP = 1039;

// TCP pane.
constexpr int32_t IDC_GROUP_TCP = 1021;
constexpr int32_t IDC_TCP_SERVER = 1003;
constexpr int32_t IDC_TCP_PORT = 1004;
constexpr int32_t IDC_TCP_CONNECT = 1005;
constexpr int32_t IDC_TCP_DISCONNECT = 1006;
constexpr int32_t IDC_TCP_STATUS = 1007;

// UDP pane.
constexpr int32_t IDC_GROUP_UDP = 1037;
constexpr int32_t IDC_UDP_LOCAL_IP = 1030;
constexpr int32_t IDC_UDP_LOCAL_PORT = 1031;
constexpr int32_t IDC_UDP_REMOTE_IP = 1032;
constexpr int32_t IDC_UDP_REMOTE_PORT = 1033;
constexpr int32_t IDC_UDP_CONNECT = 1034;
constexpr int32_t IDC_UDP_DISCONNECT = 1035;
constexpr int32_t IDC_UDP_STATUS = 1036;

// Serial pane.
constexpr int32_t IDC_GROUP_SERIAL = 1022;
constexpr int32_t IDC_PORT_COMBO = 1008;
constexpr int32_t IDC_BAUD_COMBO = 1009;
constexpr int32_t IDC_DATABITS_COMBO = 1010;
constexpr int32_t IDC_STOPBITS_COMBO = 1011;
constexpr int32_t IDC_PARITY_COMBO = 1012;
constexpr int32_t IDC_SERIAL_OPEN = 1013;
constexpr int32_t IDC_SERIAL_CLOSE = 1014;
constexpr int32_t IDC_SERIAL_STATUS = 1015;
constexpr int32_t IDC_REFRESH_PORTS = 1025;

// Coil and input panel, log panes, timed poll.
constexpr int32_t IDC_GROUP_INPUTS = 1019;
constexpr int32_t IDC_GROUP_COILS = 1020;
constexpr int32_t IDC_SEND_LOG = 1016;
constexpr int32_t IDC_RECV_LOG = 1017;
constexpr int32_t IDC_GROUP_POLL = 1026;
constexpr int32_t IDC_POLL_INTERVAL = 1027;
constexpr int32_t IDC_POLL_ENABLE = 1028;

// The 32 input buttons are IDC_INPUT_BASE + i, the 32 coil buttons IDC_COIL_BASE + i.
constexpr int32_t IDC_INPUT_BASE = 2100;
// The link statistics line: a label the faces add below the log group box, outside the
// template, at kLinkStatsRect (dialog units: x, y, width, height).
constexpr int32_t IDC_LINK_STATS = 1040;
constexpr int32_t kLinkStatsRect[4] = {250, 412, 354, 11};
constexpr int32_t IDC_COIL_BASE = 2200;
constexpr int32_t kIoPointCount = 32;

// The about entry ("关于 Vornak(&A)...") and its command number.
constexpr int32_t IDM_ABOUTBOX = 0x0010;
constexpr const char* IDS_ABOUTBOX = "关于 Vornak(&A)...";
// The point timeline's entry, after the about entry (a multiple of 16, as the system menu
// requires).
constexpr int32_t IDM_TIMELINE = 0x0100;
constexpr const char* IDS_TIMELINE = "点位时间线...";

// Window timers, by the numbers the dialog knows them by.
constexpr int32_t TIMER_HEARTBEAT = 101;
constexpr int32_t TIMER_POLL = 102;
// Refreshes the link statistics line (IDC_LINK_STATS) while connected.
constexpr int32_t TIMER_STATS = 103;
constexpr int32_t kStatsIntervalMs = 1000;
constexpr int32_t kHeartbeatIntervalMs = 1000;
