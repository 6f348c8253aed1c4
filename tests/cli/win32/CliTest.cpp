// Ctrl-C through vornak-cli.exe's console handler, under wine: the test takes a console of its
// own, starts vornak-cli.exe on it against vornak-sim.exe, which stays off the console, and
// raises Ctrl-C on that console once the command is under way, as a key press would. (The
// missing-port message is checked by scripts/build-windows.)
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

constexpr DWORD kWaitMs = 30000; // generous: a slow machine must not fail these

// A child process whose standard output and error go to one file, read as they come.
class Child {
public:
    // Starts commandLine, on this process's console unless detached; false when it cannot.
    bool Start(std::string commandLine, bool detached) {
        char folder[MAX_PATH], file[MAX_PATH];
        if (GetTempPathA(MAX_PATH, folder) == 0 || GetTempFileNameA(folder, "vk", 0, file) == 0)
            return false;
        m_path = file;
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        const HANDLE out = CreateFileA(file, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       &inherit, CREATE_ALWAYS, 0, nullptr);
        if (out == INVALID_HANDLE_VALUE)
            return false;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = detached ? nullptr : GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = out;
        startup.hStdError = out;
        PROCESS_INFORMATION process{};
        const bool started =
            CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                           detached ? DETACHED_PROCESS : 0, nullptr, nullptr, &startup, &process);
        CloseHandle(out);
        if (!started)
            return false;
        CloseHandle(process.hThread);
        m_process = process.hProcess;
        return true;
    }
    ~Child() {
        if (m_process != nullptr) {
            TerminateProcess(m_process, 99); // fails, harmlessly, once it has ended
            WaitForSingleObject(m_process, kWaitMs);
            CloseHandle(m_process);
        }
        if (!m_path.empty())
            DeleteFileA(m_path.c_str());
    }
    std::string Text() const {
        std::ifstream in(m_path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    bool WaitForText(const std::string& what) const {
        for (const DWORD start = GetTickCount(); GetTickCount() - start < kWaitMs; Sleep(20)) {
            if (Text().find(what) != std::string::npos)
                return true;
        }
        return false;
    }
    // The exit code, or -1 when it has not ended in time.
    long Wait() const {
        DWORD code = 0;
        if (WaitForSingleObject(m_process, kWaitMs) != WAIT_OBJECT_0 ||
            !GetExitCodeProcess(m_process, &code))
            return -1;
        return static_cast<long>(code);
    }

private:
    HANDLE m_process = nullptr;
    std::string m_path;
};

BOOL WINAPI Swallow(DWORD) {
    return TRUE; // this test's own process goes on
}

class CtrlC : public testing::Test {
protected:
    void SetUp() override {
        // A console of its own: the Ctrl-C below reaches this test and what it starts there.
        FreeConsole();
        ASSERT_TRUE(AllocConsole()) << "no console: " << GetLastError();
        SetConsoleCtrlHandler(Swallow, TRUE);
        ASSERT_TRUE(sim.Start(std::string(VORNAK_SIM_EXE) +
                                  " --tcp 0 --address 7 --coils 80000011 --delay 30",
                              true));
        ASSERT_TRUE(sim.WaitForText("READY")) << sim.Text();
        const std::string text = sim.Text();
        const size_t at = text.find("LISTEN tcp ");
        ASSERT_NE(at, std::string::npos) << text;
        tcp = text.substr(at + 11, text.find_first_of("\r\n", at) - at - 11);
    }
    std::string Cli(const std::string& arguments) {
        return std::string(VORNAK_CLI_EXE) + " --tcp " + tcp + " --address 7 " + arguments;
    }

    Child sim;
    std::string tcp;
};

TEST_F(CtrlC, EndsAPollAndASelfTestCleanly) {
    // A poll ends successfully, saying it was interrupted.
    Child poll;
    ASSERT_TRUE(poll.Start(Cli("--json --verbose poll"), false));
    ASSERT_TRUE(poll.WaitForText("接收: ")) << poll.Text();
    ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
    EXPECT_EQ(poll.Wait(), 0) << poll.Text();
    EXPECT_NE(poll.Text().find(R"("interrupted":true)"), std::string::npos) << poll.Text();

    // Interrupted after it switched coil 0, the self-test fails, and its restore is not
    // cancelled with it: the coils are written back and read back as they were.
    Child selftest;
    ASSERT_TRUE(selftest.Start(Cli("--verbose selftest"), false));
    ASSERT_TRUE(selftest.WaitForText("07 05 00 00 FF 00")) << selftest.Text();
    ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
    EXPECT_EQ(selftest.Wait(), 1) << selftest.Text();
    EXPECT_NE(selftest.Text().find("cancelled, 0 faults, coils restored"), std::string::npos)
        << selftest.Text();
}

} // namespace
