#include "Statistics.h"

#include <utility>

std::string Statistics::ToLine() const {
    const std::pair<const char *, uint64_t> fields[] = {
        {"requests", requests}, {"answers", answers},       {"ignored", ignored},
        {"silenced", silenced}, {"dropped", dropped},       {"corrupted", corrupted},
        {"delayed", delayed},   {"split", split},           {"late", late},
        {"wrongid", wrongId},   {"exceptions", exceptions}, {"discarded", discardedBytes},
        {"chunked", chunked},   {"stray", stray},
        {"strangers", strangers}, {"echoed", echoed}, {"duplicated", duplicated},
    };
    std::string line;
    for (const auto &[name, value] : fields) {
        if (!line.empty())
            line += ' ';
        line += name;
        line += '=';
        line += std::to_string(value);
    }
    return line;
}
