// libmivex.so exports exactly the public classes of ThreadLib: this test
// reads the library's dynamic symbol table, so a missing export macro or a
// private part that leaks out fails here.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

namespace {

// The class that a demangled symbol belongs to, e.g. "ThreadPool" for
// "ThreadLib::ThreadPool::RunTask(ThreadLib::TaskObject*)" or for
// "vtable for ThreadLib::ThreadPool"; empty when it is not ThreadLib's.
std::string ClassOf(std::string symbol) {
    for (const char* prefix : {"vtable for ", "typeinfo for ", "typeinfo name for ", "VTT for "}) {
        if (symbol.rfind(prefix, 0) == 0) symbol = symbol.substr(std::string(prefix).size());
    }
    const std::string ns = "ThreadLib::";
    if (symbol.rfind(ns, 0) != 0) return "";
    const std::string rest = symbol.substr(ns.size());
    return rest.substr(0, rest.find_first_of(":("));
}

struct Exports {
    std::set<std::string> classes;
    std::set<std::string> foreign;  // defined symbols outside ThreadLib
    bool read = false;
};

Exports ReadExports() {
    Exports result;
    const std::string command = std::string("nm -D --defined-only -C '") + MIVEX_LIBRARY_PATH + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::string text(line);
        if (!text.empty() && text.back() == '\n') text.pop_back();
        // "<address> <type> <name>"
        const auto first = text.find(' ');
        const auto second = first == std::string::npos ? first : text.find(' ', first + 1);
        if (second == std::string::npos) continue;
        const std::string type = text.substr(first + 1, second - first - 1);
        const std::string name = text.substr(second + 1);
        if (type == "A") continue;  // version nodes
        const std::string cls = ClassOf(name);
        if (cls.empty()) {
            result.foreign.insert(name);
        } else {
            result.classes.insert(cls);
        }
    }
    result.read = pclose(pipe) == 0;
    return result;
}

}  // namespace

TEST(ExportTest, ExactlyThePublicClassesAreExported) {
    const Exports exports = ReadExports();
    ASSERT_TRUE(exports.read) << "could not run nm on " << MIVEX_LIBRARY_PATH;
    const std::set<std::string> expected = {
        "CPointerKeeper",   "CReferenceIdObject", "CReferenceObject", "CReferenceObjectMgr",
        "CRepetition",      "CThread_Posix",      "Event",            "MutexObject",
        "ReadWriteMutex",   "ResourceCount",      "Semphore",         "TaskObject",
        "Thread",           "ThreadMutex",        "ThreadMutex_Posix", "ThreadPool",
    };
    EXPECT_EQ(exports.classes, expected);
    EXPECT_TRUE(exports.foreign.empty()) << "first foreign symbol: " << *exports.foreign.begin();
}
