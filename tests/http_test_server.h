// The HTTP server of the fetch tests (tests/http_server.py) on 127.0.0.1,
// 127.0.0.2 and 127.0.0.3, started by the test program and stopped by
// closing its standard input.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "fetch/fetch.h"

extern char** environ;

namespace w2r {

// The test server, started once for the whole program and stopped by
// closing its standard input.
class TestServer {
public:
    TestServer() {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) std::abort();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, in[1]);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        char* argv[] = {const_cast<char*>(W2R_PYTHON), const_cast<char*>(W2R_HTTP_SERVER), nullptr};
        if (posix_spawn(&pid_, W2R_PYTHON, &actions, nullptr, argv, environ) != 0) std::abort();
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        stdin_ = in[1];
        std::FILE* f = fdopen(out[0], "r");
        if (!f || std::fscanf(f, "%d %d %d", &ports_[0], &ports_[1], &ports_[2]) != 3) std::abort();
        std::fclose(f);
    }
    ~TestServer() {
        close(stdin_);
        for (int i = 0; i < 50; ++i) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) return;
            usleep(100000);
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    // Address of path on host 1, 2 or 3 (127.0.0.host).
    std::string url(const std::string& path, int host = 1) const {
        return "http://127.0.0." + std::to_string(host) + ":" + std::to_string(ports_[host - 1]) + path;
    }
    // One counter of /stats for a host.
    long stat(int host, const std::string& key) const {
        std::string json = get("/stats");
        std::size_t at = json.find("\"127.0.0." + std::to_string(host) + "\"");
        at = json.find("\"" + key + "\": ", at);
        return at == std::string::npos ? -1 : std::atol(json.c_str() + at + key.size() + 4);
    }
    std::string get(const std::string& path) const {
        FetchOptions o;
        o.robots = false;
        return fetchUrl(url(path), o).body;
    }

private:
    pid_t pid_ = 0;
    int stdin_ = -1;
    int ports_[3] = {};
};

}  // namespace w2r
