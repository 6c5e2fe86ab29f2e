// The problems of a run: each told once, recoveries once, the first twenty
// kept and the rest counted; and the exit code they lead to.
#include <gtest/gtest.h>

#include <string>

#include "record/problem_list.h"

namespace {

TEST(ProblemList, EachToldOnceRecoveriesOnceFirstTwentyKeptTheRestCounted) {
    ProblemList list{};
    bool logFailing = false;
    EXPECT_TRUE(addFailure(list, logFailing, 1, "cannot write to 'l.csv': Disk full"));
    EXPECT_FALSE(addFailure(list, logFailing, 2, "cannot write to 'l.csv': Disk full")) << "still failing";
    EXPECT_TRUE(addRecovery(list, logFailing, 3, "log writable again"));
    EXPECT_FALSE(addRecovery(list, logFailing, 4, "log writable again")) << "already working";
    EXPECT_TRUE(addProblem(list, 5, "core 1 could not be sampled"));
    EXPECT_FALSE(addProblem(list, 6, "core 1 could not be sampled")) << "the same text again";
    // Longer than a kept text, cut inside a character: still the same text.
    std::string longPath = "cannot replace 'x";
    while (longPath.size() < problemTextCapacity + 8) longPath += "\u20ac";
    EXPECT_TRUE(addProblem(list, 7, longPath.c_str()));
    EXPECT_FALSE(addProblem(list, 8, longPath.c_str())) << "a long text cut at a character boundary, again";
    for (int k = 0; k < 30; ++k) addProblem(list, 10 + k, ("problem " + std::to_string(k)).c_str());
    EXPECT_EQ(list.count, 34);
    EXPECT_EQ(list.listed, problemsKept);
    EXPECT_STREQ(list.kept[1].text, "log writable again");
    EXPECT_EQ(list.kept[1].atUtcMs, 3);
    EXPECT_STREQ(list.kept[problemsKept - 1].text, "problem 15");
    // Beyond the twenty kept, a problem repeated is still told and counted once.
    EXPECT_FALSE(addProblem(list, 50, "problem 25"));
    EXPECT_FALSE(addProblem(list, 51, "core 1 could not be sampled"));
    EXPECT_EQ(list.count, 34);
}

TEST(ProblemList, ExitCodeThresholdWinsOverAnUntrustedRecord) {
    EXPECT_EQ(runExitCode(false, true), 0);
    EXPECT_EQ(runExitCode(false, false), 4);
    EXPECT_EQ(runExitCode(true, true), 3);
    EXPECT_EQ(runExitCode(true, false), 3);
}

}  // namespace
