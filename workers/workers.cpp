#include "workers/workers.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <thread>
#include <utility>
#include <vector>

namespace w2r {

namespace {

constexpr long long kMaxShardCount = std::numeric_limits<int>::max();

bool parseNumber(std::string_view text, long long max, long long& value) {
    if (text.empty()) return false;
    long long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
        if (v > max) return false;
    }
    value = v;
    return true;
}

// The channel between the parent and a worker is one stream socket pair per
// worker: the parent sends a page number (kTaskSize bytes), the worker
// answers with a header (page number, byte count) and the page's lines. A
// socket rather than a pipe so that both sides can write with MSG_NOSIGNAL:
// a peer that is gone shows up as EPIPE, never as a SIGPIPE that would need
// a process-wide signal disposition.
constexpr std::size_t kTaskSize = sizeof(std::int32_t);
constexpr std::size_t kHeaderSize = sizeof(std::int32_t) + sizeof(std::uint64_t);
// Pages handed out may run at most this many pages (or four per worker)
// ahead of the oldest page not yet reported; this bounds the lines the
// parent holds for pages that finished early.
constexpr long long kMaxAhead = 1024;
// While waiting, how often to look for workers that died without their end
// of the channel being closed (a process they started still holds it).
constexpr int kReapIntervalMs = 500;
// Pages a worker holds at most: the one it converts and the next, so that it
// never waits for the parent between pages.
constexpr std::size_t kPagesPerWorker = 2;
// Exit status of a worker whose convert threw.
constexpr int kConvertThrew = 3;

bool sendAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool receiveAll(int fd, char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = recv(fd, data, size, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void waitForExit(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
}

struct Worker {
    pid_t pid = -1;
    int fd = -1;                   // the parent's end, non-blocking; -1: slot empty
    std::vector<long long> pages;  // pages handed to it (see Batch::pageOf), oldest first
    std::string received;          // answers received and not yet taken
    std::string unsent;            // page numbers not yet sent
};

struct Result {
    bool died = false;
    std::string lines;
};

// One parallel run. Pages are numbered by ordinal, their rank among the
// pages the shard holds.
class Batch {
public:
    Batch(int count, const Shard& shard, int jobs, const PageConverter& convert, std::FILE* out,
          std::FILE* err)
        : shard_(shard),
          convert_(convert),
          out_(out),
          err_(err),
          total_(count > shard.index ? (count - 1LL - shard.index) / shard.count + 1 : 0),
          maxAhead_(std::max<long long>(kMaxAhead, 4LL * jobs)),
          workers_(static_cast<std::size_t>(jobs)) {}
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;
    ~Batch() { stopWorkers(); }

    int run() {
        while (nextReport_ < total_) {
            handOut();
            report();
            if (nextReport_ >= total_) break;
            if (live_ == 0) {
                // Not one worker could be started. A shortage of processes or
                // memory often passes: wait and try again a few times before
                // converting here, where a crashing page would end the batch.
                if (startRetries_ < kStartRetries) {
                    ++startRetries_;
                    std::this_thread::sleep_for(std::chrono::milliseconds(kStartRetryMs));
                    continue;
                }
                // Nothing is in flight, so the next page to hand out is the
                // next one to report.
                convertHere(takeNext());
                continue;
            }
            startRetries_ = 0;
            waitForWorkers();
        }
        stopWorkers();
        return lost_;
    }

private:
    int pageOf(long long ordinal) const {
        return static_cast<int>(shard_.index + ordinal * shard_.count);
    }

    bool hasWork() const {
        return !requeued_.empty() || (nextHand_ < total_ && nextHand_ < nextReport_ + maxAhead_);
    }

    long long takeNext() {
        if (!requeued_.empty()) {
            auto first = std::min_element(requeued_.begin(), requeued_.end());
            long long ordinal = *first;
            requeued_.erase(first);
            return ordinal;
        }
        return nextHand_++;
    }

    // Gives every worker a page before any gets a second one.
    void handOut() {
        for (std::size_t depth = 1; depth <= kPagesPerWorker; ++depth) {
            for (Worker& w : workers_) {
                if (!hasWork()) return;
                // After a failed start, try again only when no worker is left.
                if (w.fd < 0 && (depth > 1 || (startFailed_ && live_ > 0) || !start(w))) continue;
                if (w.fd >= 0 && w.pages.size() < depth) assign(w, takeNext());
            }
        }
    }

    bool start(Worker& w) {
        int ends[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
            return startFailed(errno);
        std::fflush(nullptr);  // nothing buffered may be written twice
        pid_t pid = fork();
        if (pid < 0) {
            int error = errno;
            close(ends[0]);
            close(ends[1]);
            return startFailed(error);
        }
        if (pid == 0) {
            close(ends[0]);
            for (const Worker& other : workers_)
                if (other.fd >= 0) close(other.fd);
            serve(ends[1]);
        }
        close(ends[1]);
        fcntl(ends[0], F_SETFL, fcntl(ends[0], F_GETFL) | O_NONBLOCK);
        w = Worker{};
        w.pid = pid;
        w.fd = ends[0];
        ++live_;
        startFailed_ = false;
        return true;
    }

    bool startFailed(int error) {
        if (!startFailed_) {
            std::fflush(out_);
            std::fprintf(err_, "can't start a worker process: %s\n", std::strerror(error));
            std::fflush(err_);
        }
        startFailed_ = true;
        return false;
    }

    // The worker's side: takes page numbers until the parent closes the
    // channel. Never returns; _exit keeps the parent's exit handlers and
    // stdio buffers out of the child.
    [[noreturn]] void serve(int fd) {
        for (;;) {
            char task[kTaskSize];
            if (!receiveAll(fd, task, sizeof task)) _exit(0);
            std::int32_t page;
            std::memcpy(&page, task, sizeof page);
            std::string lines;
            try {
                convert_(page, lines);
            } catch (...) {
                _exit(kConvertThrew);
            }
            char header[kHeaderSize];
            std::uint64_t size = lines.size();
            std::memcpy(header, &page, sizeof page);
            std::memcpy(header + sizeof page, &size, sizeof size);
            if (!sendAll(fd, header, sizeof header) || !sendAll(fd, lines.data(), lines.size()))
                _exit(1);
        }
    }

    void assign(Worker& w, long long ordinal) {
        std::int32_t page = pageOf(ordinal);
        w.pages.push_back(ordinal);
        w.unsent.append(reinterpret_cast<const char*>(&page), sizeof page);
        sendTask(w);
    }

    void sendTask(Worker& w) {
        while (!w.unsent.empty()) {
            ssize_t n = send(w.fd, w.unsent.data(), w.unsent.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0) {
                if (errno == EINTR) continue;
                if (errno == EAGAIN || errno == EWOULDBLOCK) return;  // poll says when
                retire(w, false);
                return;
            }
            w.unsent.erase(0, static_cast<std::size_t>(n));
        }
    }

    // Reads what the worker has sent; false when its end is closed or the
    // answer is malformed.
    bool receive(Worker& w) {
        char buffer[65536];
        for (;;) {
            ssize_t n = recv(w.fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0) {
                w.received.append(buffer, static_cast<std::size_t>(n));
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            bool open = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
            return takeAnswers(w) && open;
        }
    }

    // Takes the complete answers received; false when an answer is not for
    // the oldest page the worker holds.
    bool takeAnswers(Worker& w) {
        std::size_t taken = 0;
        bool wellFormed = true;
        while (w.received.size() - taken >= kHeaderSize) {
            std::int32_t page;
            std::uint64_t size;
            std::memcpy(&page, w.received.data() + taken, sizeof page);
            std::memcpy(&size, w.received.data() + taken + sizeof page, sizeof size);
            if (w.pages.empty() || page != pageOf(w.pages.front())) {
                wellFormed = false;
                break;
            }
            if (w.received.size() - taken - kHeaderSize < size) break;
            done(w.pages.front(), false, w.received.substr(taken + kHeaderSize, size));
            w.pages.erase(w.pages.begin());
            taken += kHeaderSize + size;
        }
        w.received.erase(0, taken);
        return wellFormed;
    }

    // Ends a worker that died or misbehaved. The oldest page it held is lost
    // if it had received it; the pages it never started go back to the queue.
    void retire(Worker& w, bool reaped) {
        if (!reaped) {
            kill(w.pid, SIGKILL);
            waitForExit(w.pid);
        }
        close(w.fd);
        std::size_t undelivered = (w.unsent.size() + kTaskSize - 1) / kTaskSize;
        for (std::size_t i = 0; i < w.pages.size(); ++i) {
            if (i == 0 && undelivered < w.pages.size())
                done(w.pages[i], true, {});
            else
                requeued_.push_back(w.pages[i]);
        }
        w = Worker{};
        --live_;
    }

    void waitForWorkers() {
        std::vector<pollfd> fds;
        std::vector<Worker*> owners;
        for (Worker& w : workers_) {
            if (w.fd < 0) continue;
            short events = POLLIN;
            if (!w.unsent.empty()) events |= POLLOUT;
            fds.push_back(pollfd{w.fd, events, 0});
            owners.push_back(&w);
        }
        int ready = poll(fds.data(), fds.size(), kReapIntervalMs);
        if (ready < 0) return;  // EINTR, or a passing shortage: the caller loops
        if (ready == 0) {
            reapSilentDeaths();
            return;
        }
        for (std::size_t i = 0; i < fds.size(); ++i) {
            Worker& w = *owners[i];
            short got = fds[i].revents;
            if (got == 0 || w.fd < 0) continue;
            if (got & POLLOUT) sendTask(w);
            if (w.fd >= 0 && (got & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) && !receive(w))
                retire(w, false);
        }
    }

    // A worker whose channel stays open after its death (a process it
    // started holds its end) is found here: whatever it sent before dying
    // still counts.
    void reapSilentDeaths() {
        for (Worker& w : workers_) {
            if (w.fd < 0) continue;
            int status = 0;
            pid_t pid;
            while ((pid = waitpid(w.pid, &status, WNOHANG)) < 0 && errno == EINTR) {}
            if (pid != w.pid) continue;
            receive(w);
            retire(w, true);
        }
    }

    void done(long long ordinal, bool died, std::string lines) {
        finished_[ordinal] = Result{died, std::move(lines)};
    }

    void report() {
        while (!finished_.empty() && finished_.begin()->first == nextReport_) {
            auto it = finished_.begin();
            if (it->second.died) {
                ++lost_;
                std::fflush(out_);
                std::fprintf(err_, "worker died on page %d\n", pageOf(it->first));
                std::fflush(err_);
            } else {
                std::fwrite(it->second.lines.data(), 1, it->second.lines.size(), out_);
            }
            finished_.erase(it);
            ++nextReport_;
        }
    }

    void convertHere(long long ordinal) {
        std::string lines;
        convert_(pageOf(ordinal), lines);
        done(ordinal, false, std::move(lines));
    }

    // Closing a worker's channel tells it the batch is over; a worker still
    // on a page (only when the batch was cut short) is killed.
    void stopWorkers() {
        for (Worker& w : workers_) {
            if (w.fd < 0) continue;
            close(w.fd);
            w.fd = -1;
            if (!w.pages.empty()) kill(w.pid, SIGKILL);
        }
        for (Worker& w : workers_) {
            if (w.pid < 0) continue;
            waitForExit(w.pid);
            w = Worker{};
        }
        live_ = 0;
    }

    const Shard shard_;
    const PageConverter& convert_;
    std::FILE* const out_;
    std::FILE* const err_;
    const long long total_;
    const long long maxAhead_;
    std::vector<Worker> workers_;
    long long nextHand_ = 0;
    long long nextReport_ = 0;
    std::vector<long long> requeued_;
    std::map<long long, Result> finished_;
    int live_ = 0;
    int lost_ = 0;
    bool startFailed_ = false;
    int startRetries_ = 0;  // waits since the last worker started
    static constexpr int kStartRetries = 20;
    static constexpr int kStartRetryMs = 50;
};

}  // namespace

bool parseShard(std::string_view text, Shard& shard) {
    std::size_t slash = text.find('/');
    if (slash == std::string_view::npos) return false;
    long long index = 0;
    long long count = 0;
    if (!parseNumber(text.substr(0, slash), kMaxShardCount, index) ||
        !parseNumber(text.substr(slash + 1), kMaxShardCount, count) || count < 1 || index >= count)
        return false;
    shard.index = static_cast<int>(index);
    shard.count = static_cast<int>(count);
    return true;
}

bool parseJobs(std::string_view text, int& jobs) {
    long long value = 0;
    if (!parseNumber(text, kMaxJobs, value) || value < 1) return false;
    jobs = static_cast<int>(value);
    return true;
}

int runPages(int count, const Shard& shard, int jobs, const PageConverter& convert, std::FILE* out,
             std::FILE* err) {
    if (shard.count < 1 || shard.index < 0 || shard.index >= shard.count) {
        std::fprintf(err, "invalid shard %d/%d\n", shard.index, shard.count);
        return -1;
    }
    if (jobs <= 1) {
        for (long long page = shard.index; page < count; page += shard.count) {
            std::string lines;
            convert(static_cast<int>(page), lines);
            std::fwrite(lines.data(), 1, lines.size(), out);
        }
        return 0;
    }
    return Batch(count, shard, std::min(jobs, kMaxJobs), convert, out, err).run();
}

}  // namespace w2r
