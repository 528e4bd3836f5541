#include <gtest/gtest.h>

#include "ui/second_start.h"

namespace {

// Every way a second start on one folder can go: it runs, brings the first
// forward, waits, or tells the person why not, never nothing at all.
TEST(SecondStart, EachAnswerOfTheClaimAndTheFirstGivesOneOutcome) {
    using enum SecondStart;
    const FirstMorvi none{false, false, false}, answering{true, false, true}, hung{true, false, false},
        closing{true, true, false};
    const unsigned late = firstStartingWaitMs, never = firstClosingWaitMs;
    const struct {
        ClaimAnswer claim;
        FirstMorvi first;
        unsigned waited;
        SecondStart step;
    } cases[] = {
        {ClaimAnswer::Claimed, none, 0, Run},
        {ClaimAnswer::NoClaim, none, 0, Run},  // no claim can be made: runs as it would without one
        {ClaimAnswer::Held, answering, 0, BringToFront},
        {ClaimAnswer::HeldOutOfReach, answering, 0, BringToFront},  // elevated, on this desktop
        {ClaimAnswer::Held, hung, 0, ToldNotAnswering},             // found out at once
        {ClaimAnswer::Held, closing, late, Wait},                   // its last save, however long within its bound
        {ClaimAnswer::Held, closing, never, ToldNotAnswering},
        {ClaimAnswer::Held, none, late - 1, Wait},  // starting: no window yet
        {ClaimAnswer::Held, none, late, ToldOtherSession},
        {ClaimAnswer::HeldOutOfReach, none, late, ToldAdministrator},
    };
    for (const auto& c : cases) EXPECT_EQ(secondStartStep(c.claim, c.first, c.waited), c.step) << (&c - cases);
}

}  // namespace
