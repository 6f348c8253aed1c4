// The smaller dialogs' descriptions: what both faces rely on to find their controls and to
// enable them while a tool runs.
#include <gtest/gtest.h>

#include <set>

#include "dialog/ToolDialogs.h"

namespace {

using T = ToolDialogs;

TEST(ToolDialogs, EveryControlAFaceAddressesIsThereOnceWithItsKind) {
    const struct {
        DialogDescription description;
        std::vector<std::pair<int32_t, DialogControlKind>> wanted;
    } cases[] = {
        {T::SelfTest(),
         {{T::IDC_SELFTEST_LOOPBACK, DialogControlKind::CheckBox},
          {T::IDC_SELFTEST_START, DialogControlKind::Button},
          {T::IDC_SELFTEST_CANCEL, DialogControlKind::Button},
          {T::IDC_SELFTEST_COPY, DialogControlKind::Button},
          {T::IDC_SELFTEST_COILS, DialogControlKind::PointGrid},
          {T::IDC_SELFTEST_INPUTS, DialogControlKind::PointGrid},
          {T::IDC_SELFTEST_PROGRESS, DialogControlKind::Progress},
          {T::IDC_SELFTEST_VERDICT, DialogControlKind::Text}}},
        {T::BoardSearch(),
         {{T::IDC_SEARCH_ALL_PROTOCOLS, DialogControlKind::CheckBox},
          {T::IDC_SEARCH_ALL_LINE_SETTINGS, DialogControlKind::CheckBox},
          {T::IDC_SEARCH_START, DialogControlKind::Button},
          {T::IDC_SEARCH_CANCEL, DialogControlKind::Button},
          {T::IDC_SEARCH_USE, DialogControlKind::Button},
          {T::IDC_SEARCH_FOUND, DialogControlKind::List},
          {T::IDC_SEARCH_PROGRESS, DialogControlKind::Progress},
          {T::IDC_SEARCH_STATUS, DialogControlKind::Text}}},
        {T::LinkParameters(),
         {{T::IDC_LINK_RECEIVE_TIMEOUT, DialogControlKind::Edit},
          {T::IDC_LINK_RETRY_COUNT, DialogControlKind::Edit},
          {T::IDC_LINK_HEARTBEAT_TIMEOUT, DialogControlKind::Edit},
          {T::IDC_LINK_PROBLEM, DialogControlKind::Text},
          {T::IDC_OK, DialogControlKind::Button},
          {T::IDC_CANCEL, DialogControlKind::Button}}},
        {T::About(AboutBoxTexts()),
         {{T::IDC_ABOUT_ICON, DialogControlKind::Icon},
          {T::IDC_ABOUT_VERSION, DialogControlKind::Text},
          {T::IDC_ABOUT_COPYRIGHT, DialogControlKind::Text},
          {T::IDC_OK, DialogControlKind::Button}}},
    };
    for (const auto& c : cases) {
        std::set<int32_t> seen;
        for (const DialogRow& row : c.description.rows) {
            for (const DialogControl& control : row.controls) {
                if (control.id > 0)
                    EXPECT_TRUE(seen.insert(control.id).second)
                        << c.description.caption << " " << control.id;
            }
        }
        for (const auto& [id, kind] : c.wanted) {
            const DialogControl* control = c.description.Find(id);
            ASSERT_NE(control, nullptr) << c.description.caption << " " << id;
            EXPECT_EQ(control->kind, kind) << c.description.caption << " " << id;
        }
    }
}

TEST(ToolDialogs, WhileAToolRunsOnlyCancelIsEnabledAmongItsControls) {
    const struct {
        DialogDescription description;
        int32_t id;
        bool idle;
        bool running;
    } cases[] = {
        {T::SelfTest(), T::IDC_SELFTEST_START, true, false},
        {T::SelfTest(), T::IDC_SELFTEST_LOOPBACK, true, false},
        {T::SelfTest(), T::IDC_SELFTEST_COPY, true, false},
        {T::SelfTest(), T::IDC_SELFTEST_CANCEL, false, true},
        {T::SelfTest(), T::IDC_SELFTEST_COILS, true, true},
        {T::BoardSearch(), T::IDC_SEARCH_START, true, false},
        {T::BoardSearch(), T::IDC_SEARCH_ALL_PROTOCOLS, true, false},
        {T::BoardSearch(), T::IDC_SEARCH_ALL_LINE_SETTINGS, true, false},
        {T::BoardSearch(), T::IDC_SEARCH_USE, true, false},
        {T::BoardSearch(), T::IDC_SEARCH_CANCEL, false, true},
        {T::BoardSearch(), T::IDC_SEARCH_FOUND, true, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.description.EnabledWhile(c.id, false), c.idle) << c.id;
        EXPECT_EQ(c.description.EnabledWhile(c.id, true), c.running) << c.id;
    }
    EXPECT_EQ(T::SelfTest().RunDependent().size(), 4u);
    EXPECT_TRUE(DialogDescription::EscapeCloses(false));
    EXPECT_FALSE(DialogDescription::EscapeCloses(true));
    EXPECT_TRUE(T::MayChoose(0, false));
    EXPECT_FALSE(T::MayChoose(-1, false));
    EXPECT_FALSE(T::MayChoose(0, true));
}

} // namespace
