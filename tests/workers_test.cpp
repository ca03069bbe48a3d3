#include "workers/workers.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>

namespace w2r {
namespace {

struct Outcome {
    std::string out;
    std::string err;
    int lost = 0;
};

std::string contents(std::FILE* f) {
    std::string text;
    std::rewind(f);
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
    std::fclose(f);
    return text;
}

Outcome run(int count, Shard shard, int jobs, const PageConverter& convert) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    Outcome o;
    o.lost = runPages(count, shard, jobs, convert, out, err);
    o.out = contents(out);
    o.err = contents(err);
    // Every worker has been reaped.
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    return o;
}

// A page's lines: mostly a few bytes, now and then megabytes.
std::string linesOf(int page) {
    std::mt19937 random(static_cast<unsigned>(page));
    std::size_t size = page % 9 == 4 ? random() % 3000000 : random() % 300;
    return "page " + std::to_string(page) + "\n" + std::string(size, static_cast<char>('a' + page % 26)) + "\n";
}

void randomDelay(int page) {
    std::mt19937 random(static_cast<unsigned>(page) * 7919u);
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 4000));
}

std::string expected(int count, const std::set<int>& skipped = {}) {
    std::string text;
    for (int page = 0; page < count; ++page)
        if (!skipped.count(page)) text += linesOf(page);
    return text;
}

TEST(Workers, ParseJobs) {
    for (auto [text, value] : {std::pair{"1", 1}, {"4", 4}, {"16", 16}, {"1024", kMaxJobs}}) {
        int jobs = -7;
        EXPECT_TRUE(parseJobs(text, jobs) && jobs == value) << text;
    }
    for (const char* bad : {"", "0", "00", "-1", "+2", " 2", "2 ", "01x", "x", "1.5", "1025", "99999999999999999999999"}) {
        int jobs = -7;
        EXPECT_FALSE(parseJobs(bad, jobs)) << bad;
        EXPECT_EQ(jobs, -7) << bad;
    }
}

TEST(Workers, ParseShard) {
    for (auto [text, index, count] : {std::tuple{"0/1", 0, 1}, {"2/3", 2, 3}, {"07/8", 7, 8}, {"0/2147483647", 0, 2147483647}}) {
        Shard shard;
        EXPECT_TRUE(parseShard(text, shard) && shard.index == index && shard.count == count) << text;
    }
    for (const char* bad : {"", "3/3", "4/3", "x/2", "1/0", "0/0", "-1/2", "1/-2", "+1/2", "1/", "/2", "1", "1/2/3", " 1/2", "1/2 ",
                            "01x/2", "1/2x", "0/2147483648", "1\\2"}) {
        Shard shard{1, 5};
        EXPECT_FALSE(parseShard(bad, shard)) << bad;
        EXPECT_TRUE(shard.index == 1 && shard.count == 5) << bad;
    }
}

TEST(Workers, ShardSelectsPagesByRemainder) {
    struct Case {
        int count;
        Shard shard;
        int jobs;
        const char* pages;
    };
    const Case cases[] = {
        {10, {0, 1}, 1, "0 1 2 3 4 5 6 7 8 9 "},
        {10, {0, 3}, 1, "0 3 6 9 "},
        {10, {2, 3}, 3, "2 5 8 "},
        {2, {2, 3}, 2, ""},
        {0, {0, 1}, 2, ""},
        {1, {0, 4}, 4, "0 "},
        {7, {6, 7}, 2, "6 "},
    };
    for (const Case& c : cases) {
        Outcome o = run(c.count, c.shard, c.jobs, [](int page, std::string& out) { out += std::to_string(page) + " "; });
        EXPECT_EQ(o.out, c.pages) << c.shard.index << "/" << c.shard.count << " of " << c.count;
        EXPECT_EQ(o.err, "");
    }
    Outcome invalid = run(4, Shard{3, 3}, 2, [](int, std::string& out) { out += "x"; });
    EXPECT_EQ(invalid.lost, -1);
    EXPECT_EQ(invalid.out, "");
    EXPECT_EQ(invalid.err, "invalid shard 3/3\n");
}

void ignoreAlarm(int) {}

// Any number of workers gives the sequential output, also when the parent's
// waits are interrupted by signals all the time (no SA_RESTART: EINTR).
TEST(Workers, OutputMatchesTheSequentialRun) {
    struct sigaction action {
    }, previous{};
    action.sa_handler = ignoreAlarm;
    sigaction(SIGALRM, &action, &previous);
    for (int jobs = 1; jobs <= 4; ++jobs) {
        itimerval timer{{0, 500}, {0, jobs == 3 ? 500 : 0}};
        setitimer(ITIMER_REAL, &timer, nullptr);
        Outcome o = run(48, Shard{}, jobs, [](int page, std::string& out) {
            randomDelay(page);
            out += linesOf(page);
        });
        timer = {};
        setitimer(ITIMER_REAL, &timer, nullptr);
        EXPECT_TRUE(o.out == expected(48)) << "jobs " << jobs;
        EXPECT_EQ(o.err, "") << "jobs " << jobs;
        EXPECT_EQ(o.lost, 0);
    }
    sigaction(SIGALRM, &previous, nullptr);
}

TEST(Workers, DeadWorkersCostOnlyTheirPage) {
    rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    auto crashing = [](int page, std::string& out) {
        if (page == 3) std::abort();
        if (page == 7) raise(SIGKILL);
        if (page == 8) _exit(0);
        if (page == 11) throw std::runtime_error("page 11");
        randomDelay(page);
        out += linesOf(page);
    };
    for (int jobs : {2, 4}) {
        Outcome o = run(14, Shard{}, jobs, crashing);
        EXPECT_TRUE(o.out == expected(14, {3, 7, 8, 11})) << "jobs " << jobs;
        EXPECT_EQ(o.err, "worker died on page 3\nworker died on page 7\nworker died on page 8\nworker died on page 11\n");
        EXPECT_EQ(o.lost, 4);
    }
    Outcome all = run(6, Shard{}, 3, [](int, std::string&) { raise(SIGKILL); });
    EXPECT_EQ(all.out, "");
    EXPECT_EQ(all.lost, 6);
    EXPECT_EQ(all.err.find("worker died on page 5\n"), all.err.size() - 22);
}

TEST(Workers, SlowPageHoldsBackOnlyTheReport) {
    // Far more pages than may be handed out past the slow first one.
    const int count = 3000;
    Outcome o = run(count, Shard{}, 2, [](int page, std::string& out) {
        if (page == 0) std::this_thread::sleep_for(std::chrono::milliseconds(300));
        out += std::to_string(page) + "\n";
    });
    std::string want;
    for (int page = 0; page < count; ++page) want += std::to_string(page) + "\n";
    EXPECT_TRUE(o.out == want);
}

TEST(Workers, WorkerDeathIsSeenWhileItsChildHoldsTheChannel) {
    int pids[2];
    ASSERT_EQ(pipe(pids), 0);
    auto leaving = [&pids](int page, std::string& out) {
        if (page == 1) {
            if (fork() == 0) {
                pid_t self = getpid();
                (void)!write(pids[1], &self, sizeof self);
                for (;;) pause();
            }
            raise(SIGKILL);
        }
        out += linesOf(page);
    };
    auto start = std::chrono::steady_clock::now();
    Outcome o = run(4, Shard{}, 2, leaving);
    pid_t orphan = -1;
    ASSERT_EQ(read(pids[0], &orphan, sizeof orphan), static_cast<ssize_t>(sizeof orphan));
    kill(orphan, SIGKILL);
    close(pids[0]);
    close(pids[1]);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_TRUE(o.out == expected(4, {1}));
    EXPECT_EQ(o.err, "worker died on page 1\n");
}

}  // namespace
}  // namespace w2r
