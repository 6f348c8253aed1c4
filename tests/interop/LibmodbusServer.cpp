#include "LibmodbusServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <poll.h>
#include <unistd.h>

#include "comm/Deadline.h"

LibmodbusServer::LibmodbusServer(int coilCount, int inputCount)
    : map(modbus_mapping_new(coilCount, inputCount, 0, 0)) {}

LibmodbusServer::~LibmodbusServer() {
    Stop();
    if (listenFd >= 0)
        close(listenFd);
    if (ctx != nullptr)
        modbus_free(ctx); // its TCP clients are closed; the pty's master is the pty's
    if (map != nullptr)
        modbus_mapping_free(map);
}

void LibmodbusServer::Stop() {
    stop = true;
    if (worker.joinable())
        worker.join();
}

void LibmodbusServer::SetCoil(int index, bool on) {
    std::lock_guard<std::mutex> guard(mapLock);
    map->tab_bits[index] = on;
}

void LibmodbusServer::SetInput(int index, bool on) {
    std::lock_guard<std::mutex> guard(mapLock);
    map->tab_input_bits[index] = on;
}

bool LibmodbusServer::Coil(int index) {
    std::lock_guard<std::mutex> guard(mapLock);
    return map->tab_bits[index] != 0;
}

bool LibmodbusServer::Start(bool rtu, int lifetimeMs) {
    if (map == nullptr || ctx != nullptr || !pty.Ok())
        return false;
    ctx = rtu ? modbus_new_rtu(pty.SlavePath().c_str(), 115200, 'N', 8, 1)
              : modbus_new_tcp("127.0.0.1", 0);
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (ctx == nullptr || modbus_set_indication_timeout(ctx, 0, 50000) != 0)
        return false;
    if (rtu) {
        // It serves on the master itself, so the code under test can open the slave.
        if (modbus_set_slave(ctx, 1) != 0 || modbus_set_socket(ctx, pty.MasterFd()) != 0)
            return false;
    } else if ((listenFd = modbus_tcp_listen(ctx, 1)) < 0 ||
               getsockname(listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return false;
    }
    port = ntohs(address.sin_port);
    worker = std::thread([this, rtu, lifetimeMs] {
        uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
        for (const Deadline end(lifetimeMs); !stop && !end.Expired();) {
            int s = listenFd;
            pollfd p{listenFd, POLLIN, 0};
            if (!rtu && modbus_get_socket(ctx) < 0 &&
                (poll(&p, 1, 50) <= 0 || modbus_tcp_accept(ctx, &s) < 0)) {
                continue; // TCP: one client at a time
            }
            const int n = modbus_receive(ctx, query);
            if (n > 0) {
                std::lock_guard<std::mutex> guard(mapLock);
                modbus_reply(ctx, query, n, map);
            } else if (n < 0 && errno != ETIMEDOUT && !rtu) {
                modbus_close(ctx); // the client has gone
            } else if (n < 0 && errno != ETIMEDOUT) {
                poll(nullptr, 0, 5); // no slave open: reads fail at once, so pause
            }
        }
        if (!rtu && modbus_get_socket(ctx) >= 0)
            modbus_close(ctx);
    });
    return true;
}
