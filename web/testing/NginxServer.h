// A private nginx for tests and benchmarks: started on 127.0.0.1 on a free
// port, as a non-daemon child process, with its configuration, document root,
// logs and temporary files in a temporary folder of its own. Stopped and the
// folder removed by Stop() or the destructor.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "Loopback.h"

namespace korvo::web::testing {

inline constexpr const char* kNginxPath = "/usr/sbin/nginx";

// True when the nginx program is installed.
bool NginxInstalled();

struct NginxOptions {
    // false: the server closes the connection after every answer.
    bool m_bKeepAlive = true;
    // Inserted verbatim into the server block, e.g. location blocks. Paths
    // in it may use "@DIR@", replaced by the temporary folder.
    std::string m_strServerConfig;
    // More than one forks a master process with that many workers, for
    // benchmarks that load nginx from several connections at once.
    int m_nWorkerProcesses = 1;
};

class NginxServer {
public:
    explicit NginxServer(NginxOptions options);
    ~NginxServer();
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    // Before Start: a file below the document root ("a/b.txt" makes the
    // folder). Returns false when it cannot be written.
    bool AddFile(const std::string& relativePath, const std::string& content);
    // Before Start: the password file "@DIR@/htpasswd" with one more user.
    bool AddUser(const std::string& user, const std::string& password);

    // Writes the configuration, starts nginx and waits (at most 10 s) until
    // it accepts connections. Returns false with a reason in *error.
    bool Start(std::string* error);
    // Ends nginx and waits for it. Safe to call twice.
    void Stop();

    std::uint16_t Port() const { return m_port; }
    const std::string& Dir() const { return m_dir; }
    // "http://127.0.0.1:<port>" followed by `path`.
    std::string Url(const std::string& path) const;

private:
    // One try on one port. On failure m_pid is -1 when nginx exited at start.
    bool StartOnce(std::string* error);

    NginxOptions m_options;
    std::string m_dir;
    std::uint16_t m_port = 0;
    pid_t m_pid = -1;
};

}  // namespace korvo::web::testing
