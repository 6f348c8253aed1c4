// poll --vcd/--csv against the simulator's own motion: the VCD, read back by sigrok-cli, holds
// every edge the board made, in order, at the times the CSV gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <tuple>

#include "dialog/ScratchFolder.h"
#include "support/SimProcess.h"

namespace {

// A change: its time in µs, the point's name and its new level, '0' or '1'.
using Edge = std::tuple<int64_t, std::string, char>;

// The changes sigrok-cli writes when it converts the VCD to its own VCD: one line per time,
// "#T 1! 0#", after the head that names the identifiers. Time 0 holds the start levels.
std::vector<Edge> ReadSigrokVcd(const std::string& text) {
    std::map<std::string, std::string> names;
    std::vector<Edge> edges;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string word, type, width, id, name;
        words >> word;
        if (word == "$var" && words >> type >> width >> id >> name) {
            names[id] = name;
        } else if (!word.empty() && word[0] == '#') {
            const int64_t t = std::stoll(word.substr(1));
            for (std::string change; words >> change;) {
                if (t > 0)
                    edges.push_back({t, names[change.substr(1)], change[0]});
            }
        }
    }
    return edges;
}

// The CSV's changes with x read as 0, as a logic analyser reads it.
std::vector<Edge> ReadCsv(const std::string& text) {
    std::map<std::string, char> level;
    std::vector<Edge> edges;
    std::istringstream lines(text);
    std::string line;
    std::getline(lines, line); // head
    while (std::getline(lines, line)) {
        const size_t a = line.find(','), b = line.rfind(',');
        const std::string seconds = line.substr(0, a), point = line.substr(a + 1, b - a - 1);
        const char value = line[b + 1] == '1' ? '1' : '0';
        const int64_t t = std::stoll(seconds.substr(0, seconds.find('.'))) * 1000000 +
                          std::stoll(seconds.substr(seconds.find('.') + 1));
        if (level.count(point) && level[point] != value)
            edges.push_back({t, point, value});
        level[point] = value;
    }
    return edges;
}

TEST(CliRecording, SigrokReadsEveryEdgeTheBoardMade) {
    ASSERT_EQ(::system("command -v sigrok-cli >/dev/null"), 0)
        << "sigrok-cli is missing: run scripts/install-deps";
    SimProcess sim(VORNAK_SIM_PATH);
    // Input k follows coil k 150 ms later; input 3 bounces, 400 ms between toggles.
    ASSERT_TRUE(sim.Start({"--tcp", "0", "--quiet", "--inputs", "mirror", "--follow-ms", "150",
                           "--bounce", "8", "--bounce-ms", "400"}))
        << sim.ErrorOutput();
    ScratchFolder folder;
    const std::string vcd = (folder.path / "p.vcd").string(),
                      csv = (folder.path / "p.csv").string();
    const std::string tcp = "127.0.0.1:" + std::to_string(sim.TcpPort());
    // Coil 3 on after 6 polls, off and coil 7 on 25 polls later.
    const std::pair<long, const char*> moves[] = {
        {6, "coil 3 1"}, {31, "coil 3 0"}, {31, "coil 7 1"}};
    size_t next = 0;
    const ProgramRun poll =
        RunProgram({VORNAK_CLI_PATH, "--tcp", tcp, "poll", "--interval", "100", "--count", "70",
                    "--vcd", vcd, "--csv", csv},
                   "", [&](pid_t, const ProgramRun& run) {
                       for (; next < 3 &&
                              std::count(run.out.begin(), run.out.end(), '\n') >= moves[next].first;
                            ++next)
                           EXPECT_TRUE(sim.Command(moves[next].second)) << moves[next].second;
                       return false;
                   });
    ASSERT_EQ(poll.status, 0) << poll.err;

    const std::string converted = (folder.path / "sigrok.vcd").string();
    ASSERT_EQ(
        ::system(("sigrok-cli -I vcd -i '" + vcd + "' -O vcd -o '" + converted + "'").c_str()), 0);
    const std::vector<Edge> read = ReadSigrokVcd(ReadAll(converted));
    EXPECT_EQ(read, ReadCsv(ReadAll(folder.path / "p.csv")));

    std::map<std::string, std::string> levels;
    std::map<std::string, std::vector<int64_t>> times;
    for (const auto& [timeUs, point, level] : read) {
        levels[point] += level;
        times[point].push_back(timeUs);
    }
    const std::map<std::string, std::string> made{
        {"coil03", "10"}, {"input03", "1010101010"}, {"coil07", "1"}, {"input07", "1"}};
    ASSERT_EQ(levels, made);
    // Seen through a poll every 100 ms: an input follows its coil 150 ms late, a bounce's
    // toggles are 400 ms apart; the bounds allow for a slow machine.
    for (const auto& [coil, input] : {std::pair("coil03", "input03"), {"coil07", "input07"}}) {
        const int64_t lag = times[input][0] - times[coil][0];
        EXPECT_GE(lag, 40000) << input;
        EXPECT_LE(lag, 1500000) << input;
    }
    for (size_t i = 1; i < 5; ++i) {
        const int64_t gap = times["input03"][i] - times["input03"][i - 1];
        EXPECT_GE(gap, 250000) << i;
        EXPECT_LE(gap, 1500000) << i;
    }
}

} // namespace
