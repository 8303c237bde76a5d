// The crash stress of appenders, shared by the local run and the runs across
// the two clients of a shared file system (GlusterFS, CephFS). Processes
// append lines with cFileWriteToFile while the test kills them at random.
// Afterwards every line an appender saw completed is in the file exactly
// once and whole; a line cut off by a kill is whole, absent, or, on a local
// file system, its first part (a kill stops a write at a page boundary;
// Killed); nothing else is there.
#ifndef QORVEL_TESTS_STRESS_APPEND_STRESS_H
#define QORVEL_TESTS_STRESS_APPEND_STRESS_H

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "qorvel.h"
#include "stress.h"
#include "test_support.h"

namespace qstress {

constexpr int kProcesses = 8;
constexpr int kGenerations = 4096;  // lives of one appender slot

// One append as its appender saw it: when the call began and when it
// returned 0 (steady clock, ns; 0: the appender was killed first, -1: the
// call failed).
struct Append {
    int slot;
    int generation;
    uint32_t line;
    int64_t begin;
    std::atomic<int64_t> end;
};
constexpr uint32_t kJournal = 1 << 17;

struct Board {
    // Lines completed by each life of each slot: lines 0 .. n-1 are in.
    std::atomic<uint32_t> completed[kProcesses][kGenerations];
    std::atomic<long> unexpected{0};
    std::atomic<uint32_t> lastUnexpected{0};
    // Every append in the order they began, so that a lost line tells which
    // text took its place and when (explainLostLine).
    Append journal[kJournal];
    std::atomic<uint32_t> appends{0};
};

inline int64_t steadyNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// "<slot> <generation> <line> <length> <payload>": the payload is `length`
// letters that follow from the rest, so a torn line cannot pass.
inline std::string payload(int slot, int generation, uint32_t line, unsigned length) {
    std::string text(length, 'a');
    for (unsigned i = 0; i < length; ++i) {
        unsigned mix = static_cast<unsigned>(slot * 7 + generation * 13) + line * 31 + i;
        text[i] = static_cast<char>('a' + mix % 26);
    }
    return text;
}

inline std::string lineText(int slot, int generation, uint32_t line, unsigned length) {
    return std::to_string(slot) + " " + std::to_string(generation) + " " + std::to_string(line) +
           " " + std::to_string(length) + " " + payload(slot, generation, line, length);
}

[[noreturn]] inline void appender(Board& board, int slot, int generation, const std::string& path,
                                  unsigned seed) {
    std::mt19937 random(seed);
    for (uint32_t line = 0;; ++line) {
        std::string text =
            lineText(slot, generation, line, static_cast<unsigned>(random() % 100)) + "\r\n";
        uint32_t index = board.appends.fetch_add(1);
        Append* entry = index < kJournal ? &board.journal[index] : nullptr;
        if (entry) {
            entry->slot = slot;
            entry->generation = generation;
            entry->line = line;
            entry->begin = steadyNanoseconds();
        }
        cFileStatus status = cFileWriteToFile(path.c_str(), text.c_str());
        if (entry) entry->end.store(status == 0 ? steadyNanoseconds() : -1);
        if (status != 0) {
            board.unexpected.fetch_add(1);
            board.lastUnexpected = status;
            continue;
        }
        board.completed[slot][generation].store(line + 1);
    }
}

// What a run must reach to have proven anything.
struct AtLeast {
    long kills;
    long lines;
};

// What a kill in the middle of a write may leave of its text.
enum class Killed {
    kMayLeaveAStart,  // a local file system: the kernel stops at a page boundary
    kLeavesAllOrNone,
};

using LineId = std::tuple<int, int, uint32_t>;  // slot, life, line

inline const Append* journalEntry(const Board& board, const LineId& id) {
    uint32_t count = std::min(board.appends.load(), kJournal);
    for (uint32_t i = 0; i < count; ++i) {
        const Append& entry = board.journal[i];
        if (LineId{entry.slot, entry.generation, entry.line} == id) return &entry;
    }
    return nullptr;
}

inline bool holdsLine(const std::string& content, const LineId& id) {
    std::string start = std::to_string(std::get<0>(id)) + " " + std::to_string(std::get<1>(id)) +
                        " " + std::to_string(std::get<2>(id)) + " ";
    return content.compare(0, start.size(), start) == 0 ||
           content.find("\r\n" + start) != std::string::npos;
}

// A completed line that is not in the file: what lies where it belongs
// (between its appender's lines before and after it), when each of those
// appends began and ended against the lost one, and whether the line shows
// up when the file is read again, through the other client and later. The
// file and the journal are kept for a closer look.
inline void explainLostLine(const Board& board, const std::string& content,
                            const std::map<LineId, size_t>& where, const LineId& lost,
                            const std::vector<std::string>& paths) {
    const Append* missing = journalEntry(board, lost);
    int64_t zero = missing ? missing->begin : 0;
    auto ms = [zero](int64_t at) { return double(at - zero) / 1e6; };
    auto [slot, life, line] = lost;
    auto before = where.find({slot, life, line - 1});
    auto after = where.find({slot, life, line + 1});
    size_t from = line > 0 && before != where.end() ? before->second : 0;
    size_t to = after != where.end() ? after->second : content.size();
    std::printf(
        "[ lost     ] line %d.%d.%u: began 0 ms, returned %.3f ms; bytes %zu to %zu hold:\n", slot,
        life, line, missing ? ms(missing->end.load()) : -1.0, from, to);
    std::vector<std::pair<size_t, LineId>> region;
    for (const auto& [id, offset] : where) {
        if (offset >= from && offset <= to) region.emplace_back(offset, id);
    }
    std::sort(region.begin(), region.end());
    if (region.size() > 12) region.resize(12);
    for (const auto& [offset, id] : region) {
        const Append* entry = journalEntry(board, id);
        int64_t end = entry ? entry->end.load() : -2;
        std::printf("[ lost     ]   at %zu: line %d.%d.%u, began %.3f ms, %s %.3f ms\n", offset,
                    std::get<0>(id), std::get<1>(id), std::get<2>(id),
                    entry ? ms(entry->begin) : 0.0, end == 0 ? "killed, not returned" : "returned",
                    end > 0 ? ms(end) : 0.0);
    }
    bool throughOther = holdsLine(qtest::readFile(paths.back()), lost);
    std::this_thread::sleep_for(std::chrono::seconds(5));
    bool later = holdsLine(qtest::readFile(paths[0]), lost);
    std::printf("[ lost     ] read again through %s: %s; through %s 5 s later: %s\n",
                paths.back().c_str(), throughOther ? "there" : "absent", paths[0].c_str(),
                later ? "there" : "absent");
    char kept[] = "/tmp/qorvel-lost-line-XXXXXX";
    if (mkdtemp(kept) == nullptr) return;
    std::ofstream(std::string(kept) + "/file.txt", std::ios::binary) << content;
    std::ofstream journal(std::string(kept) + "/journal.tsv");
    journal << "slot\tlife\tline\tbegin_ns\tend_ns\toffset\n";
    for (uint32_t i = 0; i < std::min(board.appends.load(), kJournal); ++i) {
        const Append& entry = board.journal[i];
        auto found = where.find({entry.slot, entry.generation, entry.line});
        journal << entry.slot << '\t' << entry.generation << '\t' << entry.line << '\t'
                << entry.begin << '\t' << entry.end.load() << '\t'
                << (found == where.end() ? -1 : static_cast<long long>(found->second)) << '\n';
    }
    std::printf("[ lost     ] file and journal kept in %s\n", kept);
}

// Appender i works through paths[i % paths.size()]: names of one file (the
// same file through different mounts). One is killed and replaced every
// `meanPause` on average for `runTime`. The file is read back through
// paths[0] once `settle` has passed: a client of a shared file system sees
// the last lines another client appended only after its caches expire.
inline void runKilledAppenders(const std::vector<std::string>& paths,
                               std::chrono::milliseconds runTime,
                               std::chrono::microseconds meanPause, AtLeast minimum,
                               std::chrono::milliseconds settle = {},
                               Killed killed = Killed::kMayLeaveAStart) {
    Board* board = qstress::sharedObject<Board>();

    std::mt19937 random(std::random_device{}());
    pid_t pids[kProcesses];
    int generation[kProcesses] = {};
    auto spawn = [&](int slot) {
        auto seed = static_cast<unsigned>(random());
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            appender(*board, slot, generation[slot], paths[size_t(slot) % paths.size()], seed);
        }
        pids[slot] = pid;
    };
    auto kill = [&](int slot) {
        ::kill(pids[slot], SIGKILL);
        waitpid(pids[slot], nullptr, 0);
    };

    for (int slot = 0; slot < kProcesses; ++slot) spawn(slot);
    long kills = 0;
    auto start = std::chrono::steady_clock::now();
    auto end = start + runTime;
    while (std::chrono::steady_clock::now() < end) {
        auto pause = random() % static_cast<unsigned long>(2 * meanPause.count());
        std::this_thread::sleep_for(std::chrono::microseconds(pause));
        int victim = static_cast<int>(random() % kProcesses);
        if (generation[victim] + 1 >= kGenerations) continue;
        kill(victim);
        ++kills;
        ++generation[victim];
        spawn(victim);
    }
    for (int slot = 0; slot < kProcesses; ++slot) kill(slot);
    double minutes =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / 60;

    // A kill in the middle of a write can leave the first part of that
    // write's text: the kernel stops a write of a text that crosses a page
    // boundary at the boundary when its process is killed. Such a piece is
    // the start of a line its writer never completed, and the next text
    // follows it directly.
    auto pieceOfAnUnfinishedLine = [&](const std::string& piece) {
        for (int slot = 0; slot < kProcesses; ++slot) {
            for (int life = 0; life <= generation[slot]; ++life) {
                uint32_t line = board->completed[slot][life].load();
                for (unsigned length = 0; length < 100; ++length) {
                    if (lineText(slot, life, line, length).compare(0, piece.size(), piece) == 0) {
                        return true;
                    }
                }
            }
        }
        return false;
    };
    auto wholeLine = [](const std::string& line, int* slot, int* life, unsigned* number) {
        unsigned length = 0;
        return std::sscanf(line.c_str(), "%d %d %u %u", slot, life, number, &length) == 4 &&
               *slot >= 0 && *slot < kProcesses && *life >= 0 && *life < kGenerations &&
               line == lineText(*slot, *life, *number, length);
    };

    // Read the file back line by line.
    std::this_thread::sleep_for(settle);
    const std::string content = qtest::readFile(paths[0]);
    std::map<std::tuple<int, int>, std::vector<uint32_t>> seen;  // (slot, life) -> lines
    std::map<LineId, size_t> where;                              // offset of each whole line
    long lines = 0, torn = 0, pieces = 0;
    size_t position = 0;
    while (position < content.size()) {
        size_t lineStart = position;
        size_t lineEnd = content.find("\r\n", position);
        if (lineEnd == std::string::npos) lineEnd = content.size();
        std::string line = content.substr(position, lineEnd - position);
        position = lineEnd + 2;
        int slot = -1, life = -1;
        unsigned number = 0;
        bool whole = wholeLine(line, &slot, &life, &number);
        for (size_t cut = 1; !whole && cut < line.size(); ++cut) {
            if (wholeLine(line.substr(cut), &slot, &life, &number) &&
                pieceOfAnUnfinishedLine(line.substr(0, cut))) {
                whole = true;
                ++pieces;
                lineStart += cut;
            }
        }
        if (!whole && lineEnd == content.size() && pieceOfAnUnfinishedLine(line)) {
            ++pieces;
            continue;
        }
        if (!whole) {
            if (++torn <= 5) ADD_FAILURE() << "a torn or foreign line: " << line.substr(0, 200);
            continue;
        }
        seen[{slot, life}].push_back(number);
        where[{slot, life, number}] = lineStart;
        ++lines;
    }

    long completed = 0, inFlight = 0, lost = 0;
    for (int slot = 0; slot < kProcesses; ++slot) {
        for (int life = 0; life <= generation[slot]; ++life) {
            uint32_t done = board->completed[slot][life].load();
            completed += done;
            const std::vector<uint32_t>& found = seen[{slot, life}];
            // One appender writes its lines in order, and each once: line i
            // is the i-th of its lines in the file.
            for (size_t i = 0; i < found.size(); ++i) {
                if (found[i] != i) {
                    ADD_FAILURE() << "appender " << slot << "." << life << ": line " << found[i]
                                  << " where line " << i << " belongs (lost or repeated)";
                    break;
                }
            }
            for (uint32_t line = 0; line < done; ++line) {
                if (where.count({slot, life, line}) == 0 && ++lost <= 3) {
                    explainLostLine(*board, content, where, {slot, life, line}, paths);
                }
            }
            EXPECT_GE(found.size(), done) << "appender " << slot << "." << life
                                          << " completed lines that are not in the file";
            // Only the line under way when the kill came may be there uncounted.
            EXPECT_LE(found.size(), done + 1) << "appender " << slot << "." << life;
            inFlight += static_cast<long>(found.size()) - done;
        }
    }
    std::printf(
        "[ crash    ] %d appenders on %zu paths, %.2f min: %ld kills, %ld lines (%ld completed, "
        "%ld "
        "landed as their writer died), %ld lost, %ld starts of unfinished lines, %ld torn, %ld "
        "failed appends\n",
        kProcesses, paths.size(), minutes, kills, lines, completed, inFlight, lost, pieces, torn,
        board->unexpected.load());
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(lost, 0);
    if (killed == Killed::kLeavesAllOrNone) {
        EXPECT_EQ(pieces, 0) << "a killed appender left the start of its text, another followed";
    }
    EXPECT_EQ(board->unexpected.load(), 0)
        << "an append answered " << std::hex << board->lastUnexpected.load();
    EXPECT_GT(kills, minimum.kills);
    EXPECT_GT(lines, minimum.lines);
}

}  // namespace qstress

#endif  // QORVEL_TESTS_STRESS_APPEND_STRESS_H
