// Input reads over every kind of file, feed files replaced whole (including
// full disks and concurrent writers), and same-folder detection.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "io/atomic_file.h"
#include "io/file_read.h"
#include "io/messages.h"
#include "support.h"

namespace {

using w2r::Accept;
using w2r::AtomicFileWriter;
using w2r::ReadStatus;
using w2r::test::readFile;

std::set<std::string> listing(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.insert(e.path().filename());
    return names;
}

class Scratch : public ::testing::Test {
public:
    std::string dir;
    void SetUp() override {
        char tmpl[] = "/tmp/w2r-io-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { ASSERT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0); }
    std::string at(const std::string& name) const { return dir + "/" + name; }
    void put(const std::string& name, const std::string& text) const { std::ofstream(at(name), std::ios::binary) << text; }
    bool write(const std::string& name, const std::string& text) const {
        AtomicFileWriter out(at(name));
        out.stream() << text;
        return out.commit();
    }
};

// --- Reading -------------------------------------------------------------

using Read = Scratch;

TEST_F(Read, EveryKindOfFile) {
    put("f", "page");
    put("empty", "");
    ::symlink("f", at("lf").c_str());
    ::symlink("none", at("dangling").c_str());
    ::symlink(".", at("ld").c_str());
    ::mkfifo(at("fifo").c_str(), 0644);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    at("sock").copy(a.sun_path, sizeof a.sun_path - 1);
    int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ::close(sock);
    const std::string cmdline = readFile("/proc/self/cmdline");
    const ReadStatus kOk = ReadStatus::kOk, kMissing = ReadStatus::kMissing, kDir = ReadStatus::kDirectory,
                     kOther = ReadStatus::kNotRegular;
    struct Kind {
        std::string path;
        ReadStatus strict, streams;
        std::string content;
    };
    std::vector<Kind> kinds = {
        {at("f"), kOk, kOk, "page"},
        {at("empty"), kOk, kOk, ""},
        {at("none"), kMissing, kMissing, ""},
        {at("f/x"), kMissing, kMissing, ""},
        {at("lf"), kOk, kOk, "page"},
        {at("dangling"), kMissing, kMissing, ""},
        {dir, kDir, kDir, ""},
        {at("ld") + "/", kDir, kDir, ""},
        {at("fifo"), kOther, kOk, ""},
        {"/dev/null", kOther, kOk, ""},
        {at("sock"), kOther, kOther, ""},
        {"/proc/self/cmdline", kOk, kOk, cmdline},                               // regular, size 0, yet has content
        {"/proc/self/mem", ReadStatus::kReadError, ReadStatus::kReadError, ""},  // reads fail
    };
    // Unreadable files only exist for others than root (CI runs as root).
    put("secret", "x");
    ::chmod(at("secret").c_str(), 0);
    if (::geteuid() != 0) kinds.push_back({at("secret"), ReadStatus::kOpenFailed, ReadStatus::kOpenFailed, ""});
    for (const auto& k : kinds) {
        for (Accept accept : {Accept::kRegularOnly, Accept::kRegularOrStream}) {
            SCOPED_TRACE(k.path + (accept == Accept::kRegularOnly ? " strict" : " streams"));
            ReadStatus want = accept == Accept::kRegularOnly ? k.strict : k.streams;
            char buf[4096];
            auto r = w2r::readPageFile(k.path, buf, sizeof buf, accept);
            EXPECT_EQ(r.status, want);
            EXPECT_EQ(std::string(buf, want == kOk ? r.size : 0), k.content);
            std::string s = "junk";
            EXPECT_EQ(w2r::readPageFile(k.path, 1 << 20, s, accept).status, want);
            EXPECT_EQ(s, k.content);
            EXPECT_EQ(w2r::pageReadFailure(want, k.path).empty(), want == kOk);
        }
    }
}

TEST_F(Read, LimitsAndTruncation) {
    const std::string text(300000, 'p');
    put("f", text);
    struct {
        std::size_t limit;
        bool truncated;
    } cases[] = {{0, true}, {10, true}, {299999, true}, {300000, false}, {400000, false}};
    for (auto c : cases) {
        SCOPED_TRACE(c.limit);
        std::string s;
        auto r = w2r::readPageFile(at("f"), c.limit, s);
        EXPECT_EQ(r.status, ReadStatus::kOk);
        EXPECT_EQ(r.truncated, c.truncated);
        EXPECT_TRUE(s == text.substr(0, c.limit)) << s.size();
        r = w2r::readListFile(at("f"), c.limit, s);
        EXPECT_EQ(r.status, c.truncated ? ReadStatus::kTooLarge : ReadStatus::kOk);
    }
    std::vector<char> buf(400000);
    for (auto c : cases) {
        auto r = w2r::readPageFile(at("f"), buf.data(), c.limit);
        EXPECT_TRUE(r.ok() && r.size == std::min<std::size_t>(c.limit, 300000) && r.truncated == c.truncated);
    }
    // An endless device stops at the limit.
    std::string s;
    auto r = w2r::readPageFile("/dev/zero", 5000, s, Accept::kRegularOrStream);
    EXPECT_TRUE(r.ok() && r.truncated && s == std::string(5000, '\0'));
}

// A stream the user named is waited for, not taken as empty.
TEST_F(Read, StreamWithSlowWriter) {
    ASSERT_EQ(::mkfifo(at("fifo").c_str(), 0644), 0);
    int fd = ::open(at("fifo").c_str(), O_RDWR);  // a writer that is there but slow
    std::thread writer([fd] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_EQ(::write(fd, "late", 4), 4);
        ::close(fd);
    });
    std::string s;
    EXPECT_TRUE(w2r::readPageFile(at("fifo"), 100, s, Accept::kRegularOrStream).ok());
    writer.join();
    EXPECT_EQ(s, "late");
}

TEST_F(Read, SameFolderAndFile) {
    ::mkdir(at("d").c_str(), 0755);
    ::mkdir(at("e").c_str(), 0755);
    ::symlink("d", at("ld").c_str());
    put("f", "x");
    ::link(at("f").c_str(), at("hard").c_str());
    ::symlink("f", at("lf").c_str());
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    struct {
        std::string a, b;
        bool dir, file;
    } cases[] = {
        {at("d"), at("d/"), true, true},
        {at("d"), at("d//"), true, true},
        {at("d/"), at("ld/"), true, true},
        {at("d"), at("e/../d"), true, true},
        {at("d"), at("e"), false, false},
        {at("d"), at("none"), false, false},
        {at("f"), at("hard"), false, true},
        {at("lf"), at("f"), false, true},
        {"", ".", true, false},
        {"", cwd, true, false},
        {at("f"), at("f/"), false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.a + " vs " + c.b);
        EXPECT_EQ(w2r::sameDirectory(c.a, c.b), c.dir);
        EXPECT_EQ(w2r::sameFile(c.a, c.b), c.file);
    }
}

// --- Writing -------------------------------------------------------------

// Runs body in a child process (its limits and mounts die with it); the
// child's exit status 77 means "cannot set this up here".
void inChild(const std::function<int()>& body) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) ::_exit(body());
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "cannot set up a full file system here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "failed check number " << WEXITSTATUS(status);
}

using Write = Scratch;

TEST_F(Write, CommitCreatesAndReplaces) {
    // A new file is created 0664 before the umask.
    inChild([&] {
        ::umask(0);
        struct stat st;
        return write("n", "first") && ::stat(at("n").c_str(), &st) == 0 && (st.st_mode & 0777) == 0664 ? 0 : 1;
    });
    struct stat st;
    // Replacing keeps the mode the file was given.
    ::chmod(at("n").c_str(), 0600);
    std::string big;
    for (int i = 0; i < 50000; i++) big += "line " + std::to_string(i) + "\n";
    AtomicFileWriter out(at("n"));
    ASSERT_TRUE(out.isOpen());
    EXPECT_EQ(out.temporaryPath().rfind(dir + "/.n.", 0), 0u);
    for (char c : std::string("abc")) out.stream().put(c);
    out.stream() << std::flush;
    EXPECT_EQ(readFile(out.temporaryPath()), "") << "flushes must not write";
    out.stream() << big;
    EXPECT_EQ(readFile(at("n")), "first");
    ASSERT_TRUE(out.commit()) << out.error();
    EXPECT_TRUE(readFile(at("n")) == "abc" + big) << readFile(at("n")).size();
    ASSERT_EQ(::stat(at("n").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    AtomicFileWriter synced(at("s"), w2r::Durability::kSync);
    synced.stream() << "synced";
    EXPECT_TRUE(synced.commit());
    EXPECT_EQ(readFile(at("s")), "synced");
    EXPECT_EQ(listing(dir), (std::set<std::string>{"n", "s"}));
}

TEST_F(Write, FailuresLeaveTheOldFile) {
    put("n", "old");
    ::mkdir(at("dir").c_str(), 0755);
    put("elsewhere", "keep");
    ::symlink("elsewhere", at("link").c_str());
    AtomicFileWriter(at("n")).stream() << "new";  // destroyed without commit
    AtomicFileWriter abandoned(at("n")), onFolder(at("dir"));
    abandoned.stream() << "new";
    abandoned.abandon();
    EXPECT_FALSE(abandoned.commit());
    onFolder.stream() << "new";
    EXPECT_FALSE(onFolder.commit());
    EXPECT_EQ(onFolder.error(), EISDIR);
    for (const char* bad : {"missing/n", "n/", ""}) {
        AtomicFileWriter out(bad[0] ? at(bad) : "");
        EXPECT_FALSE(out.isOpen()) << bad;
        EXPECT_NE(out.error(), 0);
        EXPECT_FALSE(out.commit());
    }
    EXPECT_EQ(readFile(at("n")), "old");
    EXPECT_EQ(listing(dir), (std::set<std::string>{"n", "dir", "elsewhere", "link"}));
    // A symbolic link at the final path is replaced, its target untouched.
    ASSERT_TRUE(write("link", "feed"));
    struct stat st;
    ASSERT_EQ(::lstat(at("link").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(readFile(at("link")), "feed");
    EXPECT_EQ(readFile(at("elsewhere")), "keep");
}

// In the child: a rewrite of dir/n that must fail with errno want.
int failingRewrite(const std::string& dir, int want) {
    { std::ofstream(dir + "/n") << "old"; }
    AtomicFileWriter out(dir + "/n");
    if (!out.isOpen()) return 1;
    std::string chunk(10000, 'x');
    for (int i = 0; i < 100 && out.stream(); i++) out.stream() << chunk;
    if (out.commit()) return 2;
    if (out.error() != want) return 3;
    if (readFile(dir + "/n") != "old") return 4;
    if (listing(dir) != std::set<std::string>{"n"}) return 5;
    return 0;
}

TEST_F(Write, FullDiskKeepsTheOldFile) {
    inChild([&] {
        // A private mount namespace: the small file system is seen by no one
        // else and disappears with the child.
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=64k") != 0)
            return 77;
        return failingRewrite(dir, ENOSPC);
    });
}

TEST_F(Write, FileSizeLimitKeepsTheOldFile) {
    inChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit lim{200000, 200000};
        if (::setrlimit(RLIMIT_FSIZE, &lim) != 0) return 77;
        return failingRewrite(dir, EFBIG);
    });
}

// Two writers replace one file over and over while a reader reads it: every
// read is one writer's whole content.
TEST_F(Write, ConcurrentWritersAndReader) {
    const std::string a(200000, 'a'), b = std::string(70001, 'b') + "end";
    ASSERT_TRUE(write("n", a));
    std::atomic<bool> stop{false};
    std::atomic<int> failures{0}, commits{0};
    auto writer = [&](const std::string& text) {
        while (!stop) ++(write("n", text) ? commits : failures);
    };
    std::thread wa(writer, a), wb(writer, b);
    int reads = 0, bad = 0;
    std::set<char> seen;
    std::string s;
    for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2); std::chrono::steady_clock::now() < end; reads++) {
        bool whole = w2r::readPageFile(at("n"), 1 << 20, s).ok() && (s == a || s == b);
        if (whole) seen.insert(s[0]);
        else bad++;
    }
    stop = true;
    wa.join();
    wb.join();
    EXPECT_EQ(bad, 0) << "of " << reads << " reads";
    EXPECT_EQ(failures, 0);
    EXPECT_GT(commits, 10);
    EXPECT_EQ(listing(dir), std::set<std::string>{"n"});
    EXPECT_EQ(seen.size(), 2u) << "both writers' content was read at some point";
}

TEST(Messages, KeepTheExistingLines) {
    EXPECT_EQ(w2r::pageReadFailure(ReadStatus::kMissing, "in/3"), "File not exist, skipping: in/3");
    EXPECT_EQ(w2r::listReadFailure("urls"), "can't open url list fileurls");
    EXPECT_EQ(w2r::feedOpenFailure("out/3"), "Error opening file out/3to write");
    EXPECT_EQ(w2r::feedWriteFailure("out/3"), "Error writing file out/3");
}

}  // namespace
