// The smaller dialogs' descriptions: what both faces rely on to find their controls and to
// enable them while a tool runs.
#include <gtest/gtest.h>

#include <set>

#include "dialog/ToolDialogs.h"

namespace {

using T = ToolDialogs;

TEST(ToolDialogs, ControlsAreFoundByTheirOwnIdAndOnlyCancelRunsWhileAToolRuns) {
    for (const DialogDescription& d :
         {T::SelfTest(), T::BoardSearch(), T::LinkParameters(), T::About(AboutBoxTexts())}) {
        std::set<int32_t> seen;
        for (const DialogRow& row : d.rows) {
            for (const DialogControl& control : row.controls) {
                if (control.id <= 0)
                    continue;
                EXPECT_TRUE(seen.insert(control.id).second) << d.caption << " " << control.id;
                EXPECT_EQ(d.Find(control.id), &control) << d.caption << " " << control.id;
            }
        }
        EXPECT_EQ(d.Find(0), nullptr);
    }

    const struct {
        DialogDescription description;
        std::vector<int32_t> idle, running, always;
    } cases[] = {
        {T::SelfTest(),
         {T::IDC_SELFTEST_START, T::IDC_SELFTEST_LOOPBACK, T::IDC_SELFTEST_COPY},
         {T::IDC_SELFTEST_CANCEL},
         {T::IDC_SELFTEST_COILS, T::IDC_SELFTEST_VERDICT}},
        {T::BoardSearch(),
         {T::IDC_SEARCH_START, T::IDC_SEARCH_ALL_PROTOCOLS, T::IDC_SEARCH_ALL_LINE_SETTINGS,
          T::IDC_SEARCH_USE},
         {T::IDC_SEARCH_CANCEL},
         {T::IDC_SEARCH_FOUND, T::IDC_SEARCH_STATUS}},
    };
    for (const auto& c : cases) {
        const auto enabled = [&](int32_t id) {
            return std::to_string(c.description.EnabledWhile(id, false)) +
                   std::to_string(c.description.EnabledWhile(id, true));
        };
        for (int32_t id : c.idle)
            EXPECT_EQ(enabled(id), "10") << id;
        for (int32_t id : c.running)
            EXPECT_EQ(enabled(id), "01") << id;
        for (int32_t id : c.always)
            EXPECT_EQ(enabled(id), "11") << id;
        EXPECT_EQ(c.description.RunDependent().size(), c.idle.size() + c.running.size());
    }
    EXPECT_TRUE(DialogDescription::EscapeCloses(false));
    EXPECT_FALSE(DialogDescription::EscapeCloses(true));
    EXPECT_TRUE(T::MayChoose(0, false));
    EXPECT_FALSE(T::MayChoose(-1, false));
    EXPECT_FALSE(T::MayChoose(0, true));
}

} // namespace
