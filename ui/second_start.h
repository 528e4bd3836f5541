// What a start does when another Morvi may hold this folder's Morvi.ini: it
// runs, brings the first to the front, waits, or tells the person why the
// first cannot be reached. A person who starts Morvi always meets one of
// these. Portable: the decision is tested natively.
#pragma once

// What taking the claim answered: taken; held by a Morvi this process may
// wait on; held by one it may not even open (elevated, or another user's);
// or no claim could be made, and Morvi runs as it would without one.
enum class ClaimAnswer { Claimed, Held, HeldOutOfReach, NoClaim };

// What this start sees of the first on its desktop.
struct FirstMorvi {
    bool found;    // its window, marked with this folder's claim
    bool closing;  // it is saving for the last time
    bool answers;  // its window takes messages
};

enum class SecondStart { Run, BringToFront, Wait, ToldAdministrator, ToldOtherSession, ToldNotAnswering };

// How long a start waits for a first that shows no window yet (one that is
// starting shows it within moments) and for one that is closing (its last
// save has a bound of its own, a few seconds), in milliseconds.
inline constexpr unsigned firstStartingWaitMs = 8000;
inline constexpr unsigned firstClosingWaitMs = 60000;

// One step of the second start, after `waitedMs` of waiting.
constexpr SecondStart secondStartStep(ClaimAnswer claim, FirstMorvi first, unsigned waitedMs) {
    if (claim == ClaimAnswer::Claimed || claim == ClaimAnswer::NoClaim) return SecondStart::Run;
    if (first.found && first.closing)
        return waitedMs < firstClosingWaitMs ? SecondStart::Wait : SecondStart::ToldNotAnswering;
    if (first.found) return first.answers ? SecondStart::BringToFront : SecondStart::ToldNotAnswering;
    if (waitedMs < firstStartingWaitMs) return SecondStart::Wait;
    // Held, with no window on this desktop: another session's, or one this
    // process may not open.
    return claim == ClaimAnswer::HeldOutOfReach ? SecondStart::ToldAdministrator : SecondStart::ToldOtherSession;
}
