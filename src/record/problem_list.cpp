#include "record/problem_list.h"

#include <cstring>

#include "text/text_buffer.h"

void clearProblems(ProblemList& list) {
    list.listed = 0;
    list.count = 0;
    list.unlistedRemembered = 0;
}

// FNV-1a of the part of a text that a kept problem would hold.
static std::uint64_t hashOf(const char* message) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (std::size_t k = 0; k < problemTextCapacity - 1 && message[k] != '\0'; ++k) {
        hash = (hash ^ static_cast<unsigned char>(message[k])) * 1099511628211ULL;
    }
    return hash;
}

static bool toldAlready(const ProblemList& list, const char* message) {
    // Compared as kept: a long message is kept cut at a character boundary.
    char kept[problemTextCapacity];
    joinText(kept, sizeof kept, {message});
    for (std::int64_t k = 0; k < list.listed; ++k) {
        if (std::strcmp(list.kept[k].text, kept) == 0) return true;
    }
    if (list.unlistedRemembered == 0) return false;
    const std::uint64_t hash = hashOf(message);
    for (std::int64_t k = 0; k < list.unlistedRemembered; ++k) {
        if (list.unlistedHashes[k] == hash) return true;
    }
    return false;
}

static void add(ProblemList& list, std::int64_t atUtcMs, const char* message) {
    ++list.count;
    if (list.listed == problemsKept) {
        // Past the memory too, a problem is told and counted each time.
        if (list.unlistedRemembered < problemsRemembered) list.unlistedHashes[list.unlistedRemembered++] = hashOf(message);
        return;
    }
    Problem& problem = list.kept[list.listed++];
    problem.atUtcMs = atUtcMs;
    joinText(problem.text, problemTextCapacity, {message});
}

bool addProblem(ProblemList& list, std::int64_t atUtcMs, const char* message) {
    if (toldAlready(list, message)) return false;
    add(list, atUtcMs, message);
    return true;
}

bool addFailure(ProblemList& list, bool& failing, std::int64_t atUtcMs, const char* message) {
    if (failing) return false;
    failing = true;
    add(list, atUtcMs, message);
    return true;
}

bool addRecovery(ProblemList& list, bool& failing, std::int64_t atUtcMs, const char* recovery) {
    if (!failing) return false;
    failing = false;
    add(list, atUtcMs, recovery);
    return true;
}
