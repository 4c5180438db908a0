#include "NginxServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

extern char** environ;

namespace korvo::web::testing {

namespace fs = std::filesystem;

namespace {

bool WriteFile(const fs::path& path, const std::string& content) {
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out << content;
    return static_cast<bool>(out);
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

bool Accepts(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

bool NginxInstalled() { return ::access(kNginxPath, X_OK) == 0; }

NginxServer::NginxServer(NginxOptions options) : m_options(std::move(options)) {
    char pattern[] = "/tmp/korvo-nginx-XXXXXX";
    if (::mkdtemp(pattern) != nullptr) {
        m_dir = pattern;
        // Workers forked by a master started as root run as an unprivileged
        // user and must still read the pages and the password file.
        ::chmod(pattern, 0755);
    }
}

NginxServer::~NginxServer() {
    Stop();
    if (!m_dir.empty()) {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
}

bool NginxServer::AddFile(const std::string& relativePath, const std::string& content) {
    return !m_dir.empty() && WriteFile(fs::path(m_dir) / "www" / relativePath, content);
}

bool NginxServer::AddUser(const std::string& user, const std::string& password) {
    return !m_dir.empty() && WriteFile(fs::path(m_dir) / "htpasswd", user + ":{PLAIN}" + password + "\n");
}

std::string NginxServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

bool NginxServer::Start(std::string* error) {
    if (!NginxInstalled()) {
        *error = std::string(kNginxPath) + " is not installed";
        return false;
    }
    if (m_dir.empty()) {
        *error = "no temporary folder";
        return false;
    }
    // The free port may be taken by someone else before nginx binds it; nginx
    // then exits at once, and another port is worth a try.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (StartOnce(error)) {
            return true;
        }
        if (m_pid != -1) {
            Stop();  // it ran but did not answer: another port will not help
            break;
        }
    }
    return false;
}

bool NginxServer::StartOnce(std::string* error) {
    m_port = FreeLoopbackPort();
    fs::create_directories(fs::path(m_dir) / "www");
    fs::create_directories(fs::path(m_dir) / "temp");
    std::string conf =
        "daemon off;\n"
        "master_process " + std::string(m_options.m_nWorkerProcesses > 1 ? "on" : "off") + ";\n"
        "worker_processes " + std::to_string(std::max(1, m_options.m_nWorkerProcesses)) + ";\n"
        "error_log @DIR@/error.log warn;\n"
        "pid @DIR@/nginx.pid;\n"
        "events { worker_connections 1024; }\n"
        "http {\n"
        "    access_log off;\n"
        "    client_body_temp_path @DIR@/temp/body;\n"
        "    proxy_temp_path @DIR@/temp/proxy;\n"
        "    fastcgi_temp_path @DIR@/temp/fastcgi;\n"
        "    uwsgi_temp_path @DIR@/temp/uwsgi;\n"
        "    scgi_temp_path @DIR@/temp/scgi;\n"
        "    default_type text/plain;\n"
        "    keepalive_timeout " + std::string(m_options.m_bKeepAlive ? "65" : "0") + ";\n"
        "    server {\n"
        "        listen 127.0.0.1:" + std::to_string(m_port) + ";\n"
        "        root @DIR@/www;\n" +
        m_options.m_strServerConfig +
        "\n    }\n"
        "}\n";
    const fs::path confPath = fs::path(m_dir) / "nginx.conf";
    fs::remove(confPath);
    if (!WriteFile(confPath, ReplaceAll(conf, "@DIR@", m_dir))) {
        *error = "cannot write " + confPath.string();
        return false;
    }

    const std::string errorLog = m_dir + "/error.log";
    const std::string confText = confPath.string();
    const char* argv[] = {kNginxPath, "-p", m_dir.c_str(), "-e", errorLog.c_str(), "-c", confText.c_str(), nullptr};
    if (::posix_spawn(&m_pid, kNginxPath, nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
        m_pid = -1;
        *error = "cannot start nginx";
        return false;
    }
    // nginx tells nobody that it listens; probing is the only way to know.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < until) {
        if (Accepts(m_port)) {
            return true;
        }
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            std::ifstream log(errorLog);
            *error = "nginx exited at start: " +
                     std::string(std::istreambuf_iterator<char>(log), std::istreambuf_iterator<char>());
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    *error = "nginx did not accept connections within 10 s";
    return false;
}

void NginxServer::Stop() {
    if (m_pid <= 0) {
        return;
    }
    ::kill(m_pid, SIGTERM);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (::waitpid(m_pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > until) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    m_pid = -1;
}

}  // namespace korvo::web::testing
