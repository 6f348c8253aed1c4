#include "LibmodbusServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kSliceMs = 50;

bool Expired(std::chrono::steady_clock::time_point end) {
    return std::chrono::steady_clock::now() >= end;
}

} // namespace

LibmodbusServer::LibmodbusServer(int coilCount, int inputCount)
    : map(modbus_mapping_new(coilCount, inputCount, 0, 0)) {}

LibmodbusServer::~LibmodbusServer() {
    Stop();
    if (ctx != nullptr) {
        modbus_close(ctx);
        modbus_free(ctx);
    }
    if (listenFd >= 0)
        close(listenFd);
    if (map != nullptr)
        modbus_mapping_free(map);
}

bool LibmodbusServer::StartTcp(int lifetimeMs) {
    if (map == nullptr || ctx != nullptr)
        return false;
    ctx = modbus_new_tcp("127.0.0.1", 0);
    if (ctx == nullptr)
        return false;
    listenFd = modbus_tcp_listen(ctx, 1);
    if (listenFd < 0)
        return false;
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (getsockname(listenFd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return false;
    port = ntohs(addr.sin_port);
    modbus_set_indication_timeout(ctx, 0, kSliceMs * 1000);
    worker = std::thread([this, lifetimeMs] { ServeTcp(lifetimeMs); });
    return true;
}

bool LibmodbusServer::StartRtu(const std::string& devicePath, int unit, int lifetimeMs) {
    if (map == nullptr || ctx != nullptr)
        return false;
    ctx = modbus_new_rtu(devicePath.c_str(), 115200, 'N', 8, 1);
    if (ctx == nullptr || modbus_set_slave(ctx, unit) != 0 || modbus_connect(ctx) != 0) {
        return false;
    }
    modbus_set_indication_timeout(ctx, 0, kSliceMs * 1000);
    worker = std::thread([this, lifetimeMs] { ServeRtu(lifetimeMs); });
    return true;
}

void LibmodbusServer::Stop() {
    stop = true;
    if (worker.joinable())
        worker.join();
}

void LibmodbusServer::SetCoil(int index, bool on) {
    std::lock_guard<std::mutex> guard(mapLock);
    map->tab_bits[index] = on ? 1 : 0;
}

void LibmodbusServer::SetInput(int index, bool on) {
    std::lock_guard<std::mutex> guard(mapLock);
    map->tab_input_bits[index] = on ? 1 : 0;
}

bool LibmodbusServer::Coil(int index) {
    std::lock_guard<std::mutex> guard(mapLock);
    return map->tab_bits[index] != 0;
}

void LibmodbusServer::Answer(const uint8_t* query, int length) {
    std::lock_guard<std::mutex> guard(mapLock);
    ++served; // before the answer leaves, so a client that has it sees the count
    modbus_reply(ctx, query, length, map);
}

void LibmodbusServer::ServeTcp(int lifetimeMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(lifetimeMs);
    uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
    while (!stop && !Expired(end)) {
        pollfd p{listenFd, POLLIN, 0};
        if (poll(&p, 1, kSliceMs) <= 0)
            continue;
        int s = listenFd;
        if (modbus_tcp_accept(ctx, &s) < 0)
            continue;
        // One client at a time, until it leaves or the server stops.
        while (!stop && !Expired(end)) {
            const int rc = modbus_receive(ctx, query);
            if (rc > 0) {
                Answer(query, rc);
            } else if (rc < 0 && errno != ETIMEDOUT) {
                break;
            }
        }
        modbus_close(ctx); // the client socket only; the listener stays
    }
}

void LibmodbusServer::ServeRtu(int lifetimeMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(lifetimeMs);
    uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
    while (!stop && !Expired(end)) {
        const int rc = modbus_receive(ctx, query);
        if (rc > 0)
            Answer(query, rc);
        // Time-outs, frames for other units and bad frames: keep listening.
    }
}
