// Round trip of reading 32 coils over loopback Modbus TCP, by a Device and by a libmodbus
// client, against one simulator in the same run, with their ratio, and by a Device that
// keeps link statistics against one that does not; the same read in Modbus RTU over the
// simulator's pseudo-terminal at 9600 baud, by a Device and by libmodbus; then the delay
// between an answer's last byte reaching a pseudo-terminal and the serial Receive returning
// it (median and 99th percentile), for an answer the port can tell whole and for one whose
// end only the closing pause shows.
//
//   vornak_core_bench [--serial_samples=N] [benchmark flags]
//
// On a busy machine, interleave repetitions so that both see the same load:
//   --benchmark_repetitions=20 --benchmark_enable_random_interleaving=true
//
// The Device runs without a callback (SetCallback(nullptr)): its log lines are still
// formatted, but nobody receives them.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <modbus/modbus.h>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "comm/SerialCommunication.h"
#include "device/Device.h"
#include "protocol/ModbusProtocol.h"
#include "support/PtyPair.h"
#include "support/SimProcess.h"
#include "tools/LinkStatistics.h"

namespace {

SimProcess* sim = nullptr;

// Reads 32 coils in a loop: Modbus TCP to the simulator's port, or Modbus RTU over its
// pseudo-terminal; with link statistics kept or not.
void DeviceReadCoils(benchmark::State& state, CommType commType, bool withStatistics = false) {
    Device device;
    device.SetCallback(nullptr);
    LinkStatistics statistics;
    if (withStatistics)
        device.SetTransactionObserver(&statistics);
    DeviceConfig config;
    config.commType = commType;
    config.protocolType =
        commType == CommType::Tcp ? ProtocolType::ModbusTcp : ProtocolType::ModbusRtu;
    config.tcp.serverIp = "127.0.0.1";
    config.tcp.port = sim->TcpPort();
    config.serial.portName = sim->PtyPath();
    config.receiveTimeout = 1000;
    device.SetProtocol(config.protocolType);
    device.SetConfig(config);
    if (!device.Connect()) {
        state.SkipWithError("connect failed");
        return;
    }
    for (auto _ : state) {
        if (!device.ReadCoils(0, 32).success) {
            state.SkipWithError("read failed");
            break;
        }
    }
    device.Disconnect();
}
void BM_DeviceReadCoils(benchmark::State& state) {
    DeviceReadCoils(state, CommType::Tcp);
}
BENCHMARK(BM_DeviceReadCoils)->UseRealTime();
void BM_DeviceReadCoilsWithStatistics(benchmark::State& state) {
    DeviceReadCoils(state, CommType::Tcp, true);
}
BENCHMARK(BM_DeviceReadCoilsWithStatistics)->UseRealTime();
// What keeping statistics adds to one transaction: two clock reads and a record. Alone it
// is measured without the loopback's noise.
void BM_LinkStatisticsRecord(benchmark::State& state) {
    LinkStatistics statistics;
    OperationResult ok;
    ok.success = true;
    for (auto _ : state) {
        const auto sent = std::chrono::steady_clock::now();
        const auto answered = std::chrono::steady_clock::now();
        statistics.OnTransaction(ok, (answered - sent).count());
    }
    benchmark::DoNotOptimize(statistics.Snapshot());
}
BENCHMARK(BM_LinkStatisticsRecord);
void BM_DeviceReadCoilsSerial(benchmark::State& state) {
    DeviceReadCoils(state, CommType::Serial);
}
BENCHMARK(BM_DeviceReadCoilsSerial)->UseRealTime();

void LibmodbusReadBits(benchmark::State& state, bool serial) {
    modbus_t* ctx = serial ? modbus_new_rtu(sim->PtyPath().c_str(), 9600, 'N', 8, 1)
                           : modbus_new_tcp("127.0.0.1", sim->TcpPort());
    if (ctx == nullptr || modbus_set_slave(ctx, 1) != 0 || modbus_connect(ctx) != 0) {
        state.SkipWithError("connect failed");
        if (ctx != nullptr)
            modbus_free(ctx);
        return;
    }
    uint8_t bits[32];
    for (auto _ : state) {
        if (modbus_read_bits(ctx, 0, 32, bits) != 32) {
            state.SkipWithError("read failed");
            break;
        }
    }
    modbus_close(ctx);
    modbus_free(ctx);
}
void BM_LibmodbusReadBits(benchmark::State& state) {
    LibmodbusReadBits(state, false);
}
BENCHMARK(BM_LibmodbusReadBits)->UseRealTime();
void BM_LibmodbusReadBitsSerial(benchmark::State& state) {
    LibmodbusReadBits(state, true);
}
BENCHMARK(BM_LibmodbusReadBitsSerial)->UseRealTime();

// Keeps the console output and remembers each benchmark's times per iteration.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    // Wall and CPU time per iteration in ns; zeros when the benchmark did not run.
    struct Times {
        double real = 0;
        double cpu = 0;
    };

    RecordingReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred)
                continue;
            const Times t = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
            // With repetitions, prefer the median aggregate over single runs.
            if (run.run_type == Run::RT_Aggregate) {
                if (run.aggregate_name == "median")
                    medians[run.run_name.function_name] = t;
            } else {
                singles[run.run_name.function_name] = t;
            }
        }
    }

    Times Time(const std::string& function) const {
        auto m = medians.find(function);
        if (m != medians.end())
            return m->second;
        auto s = singles.find(function);
        return s != singles.end() ? s->second : Times{};
    }

private:
    std::map<std::string, Times> medians;
    std::map<std::string, Times> singles;
};

// Milliseconds from the answer's last byte leaving the master to Receive returning it,
// with Receive already waiting when the answer comes; with the answer check that the
// Device installs (the answer is then seen whole), or without (its closing pause ends it).
std::vector<double> SerialAnswerDelays(int samples, bool checked) {
    std::vector<double> delays;
    PtyPair pty;
    SerialCommunication serial;
    SerialConfig config;
    config.portName = pty.SlavePath();
    if (!pty.Ok() || !serial.Configure(&config) || !serial.Open())
        return delays;
    ModbusProtocol protocol;
    if (checked) {
        serial.SetAnswerCheck([&](const uint8_t* data, int32_t length) {
            return protocol.AnswerLength(data, length) > 0;
        });
    }

    using Clock = std::chrono::steady_clock;
    const std::vector<uint8_t> answer = {0x01, 0x01, 0x04, 0x0F, 0x00, 0x00, 0x80, 0xF9, 0x65};
    std::mutex mutex;
    std::condition_variable cv;
    int requested = 0;
    bool quit = false;
    Clock::time_point written;

    std::thread device([&] {
        for (int done = 0;; ++done) {
            std::unique_lock<std::mutex> lock(mutex);
            cv.wait(lock, [&] { return quit || requested > done; });
            if (quit)
                return;
            lock.unlock();
            // Let the reader settle into its wait before the answer comes.
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            pty.Write(answer);
            lock.lock();
            written = Clock::now();
        }
    });

    uint8_t buffer[256];
    for (int i = 0; i < samples; ++i) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            ++requested;
        }
        cv.notify_all();
        const int32_t n = serial.Receive(buffer, sizeof buffer, 1000);
        const Clock::time_point returned = Clock::now();
        std::lock_guard<std::mutex> lock(mutex);
        if (n == static_cast<int32_t>(answer.size())) {
            delays.push_back(std::chrono::duration<double, std::milli>(returned - written).count());
        }
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        quit = true;
    }
    cv.notify_all();
    device.join();
    return delays;
}

double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const size_t index = static_cast<size_t>(p * (values.size() - 1) + 0.5);
    return values[index];
}

} // namespace

int main(int argc, char** argv) {
    int serialSamples = 200;
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--serial_samples=", 17) == 0) {
            serialSamples = std::atoi(argv[i] + 17);
        } else {
            args.push_back(argv[i]);
        }
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());

    SimProcess simulator(VORNAK_SIM_PATH);
    // Answers on the pty leave at the wire time of 9600 baud, as from a board on a real line;
    // TCP answers go at once.
    if (!simulator.Start(
            {"--tcp", "0", "--pty", "--quiet", "--coils", "92492492", "--baud", "9600"})) {
        std::fprintf(stderr, "vornak-sim did not start: %s\n", simulator.ErrorOutput().c_str());
        return 1;
    }
    sim = &simulator;

    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const RecordingReporter::Times ours = reporter.Time("BM_DeviceReadCoils");
    const RecordingReporter::Times theirs = reporter.Time("BM_LibmodbusReadBits");
    if (ours.real > 0 && theirs.real > 0 && theirs.cpu > 0) {
        std::printf("\nRead 32 coils over loopback Modbus TCP: Device %.1f us, libmodbus %.1f us, "
                    "ratio %.3f (goal <= 1.05); client CPU %.1f us vs %.1f us, ratio %.3f\n",
                    ours.real / 1000, theirs.real / 1000, ours.real / theirs.real, ours.cpu / 1000,
                    theirs.cpu / 1000, ours.cpu / theirs.cpu);
    }
    const RecordingReporter::Times counted = reporter.Time("BM_DeviceReadCoilsWithStatistics");
    if (ours.real > 0 && counted.real > 0 && ours.cpu > 0) {
        std::printf("Link statistics kept: %.1f us, ratio %.3f to without (goal <= 1.02); client "
                    "CPU ratio %.3f\n",
                    counted.real / 1000, counted.real / ours.real, counted.cpu / ours.cpu);
    }
    const RecordingReporter::Times record = reporter.Time("BM_LinkStatisticsRecord");
    if (ours.real > 0 && record.real > 0) {
        std::printf("Link statistics cost %.0f ns a transaction: (round trip + cost) / round trip "
                    "%.4f\n",
                    record.real, (ours.real + record.real) / ours.real);
    }
    const RecordingReporter::Times serialOurs = reporter.Time("BM_DeviceReadCoilsSerial");
    const RecordingReporter::Times serialTheirs = reporter.Time("BM_LibmodbusReadBitsSerial");
    if (serialOurs.real > 0 && serialTheirs.real > 0) {
        std::printf(
            "Read 32 coils in Modbus RTU over the simulator's pty at 9600 baud: Device %.1f us, "
            "libmodbus %.1f us, ratio %.3f (goal <= 1.2)\n",
            serialOurs.real / 1000, serialTheirs.real / 1000, serialOurs.real / serialTheirs.real);
    }
    simulator.Stop();

    for (const bool checked : {true, false}) {
        if (serialSamples <= 0)
            break;
        const std::vector<double> delays = SerialAnswerDelays(serialSamples, checked);
        if (delays.empty()) {
            std::printf("Serial answer delay: no samples\n");
            return 1;
        }
        std::printf("Serial answer delay over a pty, %s (%zu samples): median %.2f ms, "
                    "p99 %.2f ms, max %.2f ms (goal: p99 <= %s)\n",
                    checked ? "answer seen whole" : "end known by the pause only", delays.size(),
                    Percentile(delays, 0.5), Percentile(delays, 0.99),
                    *std::max_element(delays.begin(), delays.end()), checked ? "5 ms" : "55 ms");
    }
    return 0;
}
