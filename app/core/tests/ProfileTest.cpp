#include "korvo/appcore/Profile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <latch>
#include <thread>
#include <vector>

#include "TempDir.h"

namespace korvo {
namespace {

using korvo::testing::ReadFile;
using korvo::testing::TempDir;
using korvo::testing::WriteFile;

TEST(ParseProfileIntTest, FollowsTheNumberRuleOfStoredFiles) {
    struct Case {
        const char* text;
        uint32_t value;
    } cases[] = {
        {"0", 0},
        {"42", 42},
        {"010", 10},  // no octal without "0o"
        {"-1", 4294967295u},
        {"4294967295", 4294967295u},
        {"4294967296", 0},
        {"4294967297", 1},
        {"12abc", 12},
        {"abc", 0},
        {"0X1F", 0},  // only a lower-case prefix selects a base
        {"0x1F", 31},
        {"0xff", 255},
        {"0o17", 15},
        {"0o19", 1},  // 9 is not octal: reading stops there
        {"0b101", 5},
        {"0b102", 2},
        {"0x", 0},
        {"-0x10", 4294967280u},
        {"+7", 7},
        {"  \t 35", 35},
        {"+-5", 0},   // only one sign
        {"- 5", 0},
        {"1 2", 1},
        {"", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseProfileInt(c.text), c.value) << "text \"" << c.text << "\"";
    }
}

class ProfileTest : public ::testing::Test {
protected:
    TempDir m_dir;
    std::string m_path = m_dir.File("Account.ini");
};

TEST_F(ProfileTest, ReadsStoredFilesWithTheirQuirks) {
    struct Case {
        const char* contents;
        const char* section;
        const char* key;
        const char* text;  // ReadProfileText with default "def"
        uint32_t number;   // ReadProfileInt with default 77
    } cases[] = {
        {"[MAC]\r\nMAC1=12\r\n", "MAC", "MAC1", "12", 12},
        {"[mac]\nmac1=12\n", "MAC", "MAC1", "12", 12},                  // case-insensitive, LF only
        {"  [ MAC ]  \r\n  MAC1  =  12  \r\n", "MAC", "MAC1", "12", 12},  // blanks around
        {"[MAC]\r\nMAC1=\"12\"\r\n", "MAC", "MAC1", "12", 12},           // quotes stripped
        {"[MAC]\r\nMAC1=\" 12 \"\r\n", "MAC", "MAC1", " 12 ", 12},        // inner blanks stay
        {"[MAC]\r\nMAC1=\"12\r\n", "MAC", "MAC1", "\"12", 0},            // one quote is kept
        {"[MAC]\r\nMAC1=\r\n", "MAC", "MAC1", "def", 77},                // empty reads as default
        {"[MAC]\r\nMAC1=\"\"\r\n", "MAC", "MAC1", "def", 77},
        {"[MAC]\r\nMAC1\r\n", "MAC", "MAC1", "def", 77},                 // bare key
        {"[MAC]\r\nMAC1=abc\r\n", "MAC", "MAC1", "abc", 0},              // not a number: 0, not default
        {"[MAC]\r\nMAC2=5\r\n", "MAC", "MAC1", "def", 77},               // missing key
        {"[TYPE]\r\nMAC1=5\r\n", "MAC", "MAC1", "def", 77},              // key of another section
        {"MAC1=5\r\n[MAC]\r\n", "MAC", "MAC1", "def", 77},               // before any section
        {"[MAC]\r\nMAC1=1\r\n[MAC]\r\nMAC1=2\r\nMAC2=3\r\n", "MAC", "MAC1", "1", 1},  // first section counts
        {"[MAC]\r\nMAC1=1\r\n[MAC]\r\nMAC2=3\r\n", "MAC", "MAC2", "def", 77},  // ... alone
        {"[MAC]\r\nMAC1=1\r\nMAC1=2\r\n", "MAC", "MAC1", "1", 1},        // first key counts
        {"[MAC]\r\n;MAC1=9\r\nMAC1=4\r\n", "MAC", "MAC1", "4", 4},       // comment
        {"[MAC] trailing\r\nMAC1=4\r\n", "MAC", "MAC1", "4", 4},
        {"[MAC]\r\nMAC1=a=b\r\n", "MAC", "MAC1", "a=b", 0},              // split at the first '='
        {"\xEF\xBB\xBF[MAC]\r\nMAC1=6\r\n", "MAC", "MAC1", "6", 6},      // byte order mark
        {"[DEVICENET]\r\nUSER=J\xC3\xBCrgen\r\n", "devicenet", "user", "J\xC3\xBCrgen", 0},
        {"", "MAC", "MAC1", "def", 77},
    };
    for (const Case& c : cases) {
        WriteFile(m_path, c.contents);
        EXPECT_EQ(ReadProfileText(m_path, c.section, c.key, "def"), c.text) << "file:\n" << c.contents;
        EXPECT_EQ(ReadProfileInt(m_path, c.section, c.key, 77), c.number) << "file:\n" << c.contents;
    }
}

TEST_F(ProfileTest, AMissingFileReadsAsDefaults) {
    EXPECT_EQ(ReadProfileText(m_path, "DEVICENET", "PORT", "80"), "80");
    EXPECT_EQ(ReadProfileInt(m_path, "MAC", "LOCK", 3), 3u);
    EXPECT_FALSE(std::filesystem::exists(m_path));
}

TEST_F(ProfileTest, TextIsCutTo49CharactersOfTheWindow) {
    const std::string ascii60(60, 'u');
    const std::string umlauts60 = [] {
        std::string s;
        for (int i = 0; i < 60; ++i) s += "\xC3\xBC";  // U+00FC, one 16-bit character each
        return s;
    }();
    const std::string clef = "\xF0\x9D\x84\x9E";  // U+1D11E, two 16-bit characters
    struct Case {
        std::string stored;
        std::string read;
    } cases[] = {
        {ascii60, std::string(49, 'u')},
        {std::string(49, 'u'), std::string(49, 'u')},
        {umlauts60, umlauts60.substr(0, 98)},
        {std::string(47, 'a') + clef, std::string(47, 'a') + clef},  // exactly 49 wide
        {std::string(48, 'a') + clef, std::string(48, 'a')},         // the pair is not split
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(WriteProfileText(m_path, "DEVICENET", "USER", c.stored));
        EXPECT_EQ(ReadProfileText(m_path, "DEVICENET", "USER"), c.read) << c.stored;
    }
    EXPECT_EQ(ReadProfileText(m_path, "DEVICENET", "NONE", ascii60), std::string(49, 'u'));
}

TEST_F(ProfileTest, WritesTouchOnlyTheirKey) {
    struct Case {
        const char* before;
        const char* section;
        const char* key;
        const char* value;
        const char* after;
    } cases[] = {
        // no file yet: the section and the key are created
        {"", "MAC", "LOCK", "0", "[MAC]\r\nLOCK=0\r\n"},
        // an existing key keeps its place and its stored spelling
        {"[mac]\r\nMac1=1\r\nMAC2=2\r\n", "MAC", "MAC1", "9", "[mac]\r\nMac1=9\r\nMAC2=2\r\n"},
        {"[MAC]\r\n  MAC1 = 1 \r\n", "MAC", "MAC1", "9", "[MAC]\r\nMAC1=9\r\n"},
        // a new key goes after the last non-blank line of its section
        {"[MAC]\r\nMAC1=1\r\n\r\n[TYPE]\r\nDEVICETYPE=2\r\n", "MAC", "MAC2", "7",
         "[MAC]\r\nMAC1=1\r\nMAC2=7\r\n\r\n[TYPE]\r\nDEVICETYPE=2\r\n"},
        {"[MAC]\r\n\r\n", "MAC", "MAC2", "7", "[MAC]\r\nMAC2=7\r\n\r\n"},
        // a new section goes to the end; lines before any section, comments,
        // blank lines and unknown keys survive; LF becomes CR LF
        {"; written by hand\n\n[DEVICENET]\nPORT=80\nOTHER=x\n", "TYPE", "DEVICETYPE", "2",
         "; written by hand\r\n\r\n[DEVICENET]\r\nPORT=80\r\nOTHER=x\r\n[TYPE]\r\nDEVICETYPE=2\r\n"},
        // a last line without a line end gets one
        {"[MAC]\r\nMAC1=1", "MAC", "MAC1", "2", "[MAC]\r\nMAC1=2\r\n"},
        // the first of two sections of one name is the one written
        {"[MAC]\r\nA=1\r\n[MAC]\r\nB=2\r\n", "MAC", "B", "3", "[MAC]\r\nA=1\r\nB=3\r\n[MAC]\r\nB=2\r\n"},
        // the first of two entries of one key is the one written
        {"[MAC]\r\nA=1\r\nA=2\r\n", "MAC", "A", "3", "[MAC]\r\nA=3\r\nA=2\r\n"},
        // a bare key line becomes an entry
        {"[MAC]\r\nLOCK\r\n", "MAC", "LOCK", "1", "[MAC]\r\nLOCK=1\r\n"},
        // the byte order mark stays
        {"\xEF\xBB\xBF[MAC]\r\n", "MAC", "LOCK", "1", "\xEF\xBB\xBF[MAC]\r\nLOCK=1\r\n"},
        // values that would not read back as themselves are quoted
        {"", "D", "PSW", " pw ", "[D]\r\nPSW=\" pw \"\r\n"},
        {"", "D", "PSW", "\"pw\"", "[D]\r\nPSW=\"\"pw\"\"\r\n"},
        {"", "D", "PSW", "p\"w", "[D]\r\nPSW=p\"w\r\n"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(m_path);
        if (*c.before) WriteFile(m_path, c.before);
        ASSERT_TRUE(WriteProfileText(m_path, c.section, c.key, c.value)) << c.before;
        EXPECT_EQ(ReadFile(m_path), c.after) << "before:\n" << c.before;
    }
}

TEST_F(ProfileTest, EveryStorableValueReadsBackAsWritten) {
    const char* values[] = {
        "tulip", "p@ss=w;rd", " leading", "trailing ", "  both  ", "\"quoted\"", "\"", "\"\"",
        "\"half", "tab\tinside", "[not a section]", "; not a comment", "\xE5\xAF\x86\xE7\xA0\x81",
    };
    for (const char* value : values) {
        ASSERT_TRUE(WriteProfileText(m_path, "DEVICENET", "PSW", value));
        ASSERT_TRUE(WriteProfileText(m_path, "DEVICENET", "USER", "op"));
        EXPECT_EQ(ReadProfileText(m_path, "DEVICENET", "PSW"), value);
        EXPECT_EQ(ReadProfileText(m_path, "devicenet", "user"), "op");
    }
}

TEST_F(ProfileTest, RefusesWhatCannotBeStoredInALineAndLeavesTheFile) {
    const std::string before = "[MAC]\r\nMAC1=1\r\n";
    struct Case {
        std::string section;
        std::string key;
        std::string value;
    } cases[] = {
        {"MAC", "MAC1", "1\r\n[MAC]\r\nLOCK=1"},  // a value must not add lines
        {"MAC", "MAC1", "1\nLOCK=1"},
        {"MAC", "MAC1", std::string("1\0" "2", 3)},
        {"MAC", "", "1"},
        {"MAC", "A=B", "1"},
        {"MAC", " MAC1", "1"},
        {"MAC", "[X]", "1"},
        {"MAC", ";X", "1"},
        {"MAC", "A\nB", "1"},
        {"", "MAC1", "1"},
        {"MA]C", "MAC1", "1"},
        {"MAC ", "MAC1", "1"},
        {"M\r\nAC", "MAC1", "1"},
    };
    for (const Case& c : cases) {
        WriteFile(m_path, before);
        std::string error;
        EXPECT_FALSE(WriteProfileText(m_path, c.section, c.key, c.value, &error))
            << "[" << c.section << "] " << c.key;
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(ReadFile(m_path), before);
    }
}

TEST_F(ProfileTest, SeveralKeysGoInOneReplacementOrNotAtAll) {
    WriteFile(m_path, "[MAC]\r\nMAC1=1\r\nMAC2=2\r\n");
    const std::vector<ProfileEntry> entries = {
        {"MAC", "MAC1", "10"}, {"MAC", "MAC3", "30"}, {"TYPE", "DEVICETYPE", "2"}, {"MAC", "MAC2", "20"}};
    ASSERT_TRUE(WriteProfileTexts(m_path, entries));
    EXPECT_EQ(ReadFile(m_path), "[MAC]\r\nMAC1=10\r\nMAC2=20\r\nMAC3=30\r\n[TYPE]\r\nDEVICETYPE=2\r\n");

    const std::string stored = ReadFile(m_path);
    const std::vector<ProfileEntry> withABadOne = {{"MAC", "MAC1", "11"}, {"MAC", "MAC2", "x\ny"}};
    EXPECT_FALSE(WriteProfileTexts(m_path, withABadOne));
    EXPECT_EQ(ReadFile(m_path), stored);
}

// Leaves no temporary file beside `path` and `path` itself as it was.
void ExpectNothingChanged(const TempDir& dir, const std::string& path, const std::string& before) {
    EXPECT_EQ(ReadFile(path), before);
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        names.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(names, std::vector<std::string>{"Account.ini"});
}

TEST_F(ProfileTest, AWriteThatCannotBeDoneIsReportedAndChangesNothing) {
    struct Case {
        const char* what;
        std::string path;
    } cases[] = {
        {"directory missing", m_dir.File("missing/Account.ini")},
        // stands for any file that opens but cannot be read: replacing it by
        // one holding only the new key would lose every other stored key
        {"path is a directory", m_dir.File("folder")},
    };
    std::filesystem::create_directory(m_dir.File("folder"));
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(WriteProfileText(c.path, "MAC", "LOCK", "1", &error)) << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
    }
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("missing")));
    EXPECT_TRUE(std::filesystem::is_empty(m_dir.File("folder")));
}

// The disk fills up (here: the file size limit is reached) half way through
// writing the new file. Root is subject to the limit too, so this works in CI.
TEST_F(ProfileTest, AWriteThatFailsHalfWayLeavesTheOldFileWhole) {
    const std::string before = "[MAC]\r\nMAC1=0\r\nMAC2=17\r\nMAC3=34\r\nMAC4=51\r\nMAC5=68\r\nMAC6=85\r\n";
    WriteFile(m_path, before);

    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto savedHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = before.size() + 8;  // room for the old file, not for the new one
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);

    std::string error;
    const bool written = WriteProfileText(m_path, "DEVICENET", "PSW", std::string(100, 'x'), &error);

    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, savedHandler);

    EXPECT_FALSE(written);
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
    ExpectNothingChanged(m_dir, m_path, before);
}

TEST_F(ProfileTest, ReplacementKeepsThePermissionsAndFollowsALink) {
    WriteFile(m_path, "[MAC]\r\nLOCK=0\r\n");
    ASSERT_EQ(chmod(m_path.c_str(), 0640), 0);
    const std::string link = m_dir.File("link.ini");
    std::filesystem::create_symlink(m_path, link);

    ASSERT_TRUE(WriteProfileText(link, "MAC", "LOCK", "1"));

    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadFile(m_path), "[MAC]\r\nLOCK=1\r\n");
    struct stat info;
    ASSERT_EQ(stat(m_path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

// Two copies of the program, or two threads, writing different keys at the
// same moment: each write must see the other's key, or the later rename
// would throw it away.
TEST_F(ProfileTest, ConcurrentWritersKeepEachOthersKeys) {
    constexpr int kWriters = 4;
    constexpr int kRounds = 25;
    std::latch start(kWriters);
    std::vector<std::thread> writers;
    std::vector<int> failures(kWriters, 0);
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, w] {
            start.arrive_and_wait();
            for (int round = 1; round <= kRounds; ++round) {
                if (!WriteProfileText(m_path, "MAC", "KEY" + std::to_string(w), std::to_string(round))) {
                    ++failures[w];
                }
            }
        });
    }
    for (std::thread& writer : writers) writer.join();
    for (int w = 0; w < kWriters; ++w) {
        EXPECT_EQ(failures[w], 0);
        EXPECT_EQ(ReadProfileInt(m_path, "MAC", "KEY" + std::to_string(w), 0), uint32_t{kRounds}) << "writer " << w;
    }
}

}  // namespace
}  // namespace korvo
