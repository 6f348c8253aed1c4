#include "cli/ProgressLine.h"

#include <cmath>

ProgressLine::ProgressLine(std::ostream& err, std::string label, bool terminal, bool quiet)
    : err(err), label(std::move(label)), terminal(terminal), quiet(quiet) {}

void ProgressLine::Say(const std::string& text) {
    if (!quiet)
        err << label << ": " << text << "\n" << std::flush;
}

void ProgressLine::Update(int64_t done, int64_t total, int64_t found) {
    if (quiet || total <= 0)
        return;
    const auto now = std::chrono::steady_clock::now();
    const int64_t tenth = done * 10 / total;
    if (terminal ? now - lastShown < std::chrono::milliseconds(200) && done < total
                 : tenth == lastTenth)
        return;
    lastShown = now;
    lastTenth = tenth;
    const double elapsed = std::chrono::duration<double>(now - start).count();
    std::string line = label + ": " + std::to_string(done) + "/" + std::to_string(total) + " (" +
                       std::to_string(done * 100 / total) + " %)";
    if (found >= 0)
        line += ", " + std::to_string(found) + " found";
    if (done > 0 && done < total)
        line += ", about " +
                Duration(elapsed / static_cast<double>(done) * static_cast<double>(total - done)) +
                " left";
    if (terminal) {
        // \33[K clears what a longer earlier line left behind.
        err << "\r" << line << "\33[K" << std::flush;
        liveLine = true;
    } else {
        err << line << "\n" << std::flush;
    }
}

void ProgressLine::Finish() {
    if (liveLine)
        err << "\n" << std::flush;
    liveLine = false;
}

std::string ProgressLine::Duration(double seconds) {
    const auto whole = static_cast<int64_t>(std::ceil(seconds));
    if (whole < 60)
        return std::to_string(whole) + " s";
    if (whole < 3600)
        return std::to_string(whole / 60) + " min " + std::to_string(whole % 60) + " s";
    return std::to_string(whole / 3600) + " h " + std::to_string(whole % 3600 / 60) + " min";
}
