// The devsim program as operators run it: a fleet from a settings file,
// events on standard output, a clean stop on SIGTERM and SIGINT.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <regex>
#include <string>

#include "TqWire.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;

// A running devsim whose standard output and error the test reads.
class Program {
public:
    explicit Program(const std::vector<std::string>& args) {
        int out[2];
        EXPECT_EQ(::pipe(out), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, out[1], 2);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<std::string> all = {DEVSIM_PROGRAM};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        EXPECT_EQ(posix_spawn(&m_pid, DEVSIM_PROGRAM, &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        m_out = out[0];
    }
    ~Program() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        ::close(m_out);
    }

    // Reads output until it contains `text` or the output ends (or 10 s pass).
    bool ReadUntil(const std::string& text) {
        auto deadline = tqwire::Deadline::In(10s);
        while (m_output.find(text) == std::string::npos) {
            pollfd p{m_out, POLLIN, 0};
            if (::poll(&p, 1, deadline.RemainingMs()) <= 0) return false;
            char buffer[4096];
            ssize_t n = ::read(m_out, buffer, sizeof buffer);
            if (n <= 0) return false;
            m_output.append(buffer, static_cast<size_t>(n));
        }
        return true;
    }
    // Reads to the end of the output, then reaps the program; its exit code,
    // or -1 when it did not end within 10 s.
    int Wait() {
        ReadUntil("\x01never printed\x01");  // returns at the end of the output
        pollfd p{m_out, POLLIN, 0};
        if (::poll(&p, 1, 0) == 0) return -1;  // still writing: did not end
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void Signal(int signal) { ::kill(m_pid, signal); }
    const std::string& Output() const { return m_output; }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_output;
};

std::string WriteSettings(const std::string& text) {
    char path[] = "/tmp/devsim-settings-XXXXXX";
    int fd = ::mkstemp(path);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(fd);
    return path;
}

uint16_t PortOf(const std::string& output, const std::string& name) {
    std::smatch m;
    std::regex row("\\n  " + name + " +[A-Z]+ +127\\.0\\.0\\.[0-9]+:([0-9]+)");
    return std::regex_search(output, m, row) ? static_cast<uint16_t>(std::stoi(m[1])) : 0;
}

TEST(DevsimProgram, RunsAFleetPrintsWhatDevicesDoAndStopsOnASignal) {
    for (int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        std::string settings = WriteSettings(
            "[cam]\ntype = IPC\naddress = 127.0.0.31\nuser = op\npassword = pw1\n"
            "[rec]\ntype = DVR\naddress = 127.0.0.32\nrefuse_mac = 1\n");
        Program program({settings});
        ASSERT_TRUE(program.ReadUntil("devsim: 2 device(s)")) << program.Output();
        ASSERT_TRUE(program.ReadUntil("\n  rec ")) << program.Output();
        ASSERT_TRUE(program.ReadUntil("\n")) << program.Output();
        uint16_t port = PortOf(program.Output(), "cam");
        ASSERT_NE(port, 0) << program.Output();
        EXPECT_NE(program.Output().find("op         pw1"), std::string::npos) << "credentials are printed";

        int fd = -1;
        ASSERT_EQ(tqwire::Connect("127.0.0.31", port, tqwire::Deadline::In(5s), -1, &fd), tqwire::IoError::kNone);
        tqwire::Frame login;
        login.payload.assign(tqwire::kLoginPayload, 0);
        tqwire::SetFieldText(&login.payload[0], 32, "op");
        tqwire::SetFieldText(&login.payload[32], 36, "pw1");
        login.command = tqwire::kLogin;
        ASSERT_EQ(tqwire::WriteFrame(fd, login, tqwire::Deadline::In(5s), -1), tqwire::IoError::kNone);
        EXPECT_TRUE(program.ReadUntil("cam        LOGIN user=op kind=IPC -> ok")) << program.Output();

        // A connection still open must not hold the stop up.
        program.Signal(signal);
        EXPECT_EQ(program.Wait(), 0) << program.Output();
        EXPECT_NE(program.Output().find("devsim: stopped"), std::string::npos) << program.Output();
        ::close(fd);
        std::remove(settings.c_str());
    }
}

TEST(DevsimProgram, RefusesSettingsItCannotUse) {
    std::string bad = WriteSettings("[cam]\ntype = IPC\nport = many\n");
    struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"/nonexistent/fleet.ini"}, "cannot read /nonexistent/fleet.ini"},
        {{bad}, "line 3: port must be 0..65535"},
        {{"a.ini", "b.ini"}, "usage: devsim [settings.ini]"},
    };
    for (const auto& c : cases) {
        Program program(c.args);
        EXPECT_NE(program.Wait(), 0);
        EXPECT_NE(program.Output().find(c.message), std::string::npos) << program.Output();
    }
    std::remove(bad.c_str());
}

}  // namespace
