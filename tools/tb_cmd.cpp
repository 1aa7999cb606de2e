#include "tb_cmd.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tablebases/classes.h"
#include "tablebases/generator.h"
#include "tablebases/verify.h"

namespace {

int generateUsage() {
    std::fprintf(stderr, "usage: tavik-tool tb generate <dir> (<class>... | --men N)\n");
    return 2;
}

int menOf(const char* name) { return int(std::strlen(name)); }

// Class names from the arguments after the directory: names, or --men N
// for every class of up to N men. False for a bad argument.
bool classArguments(const char* command, int argc, char** argv, std::vector<std::string>& names) {
    if (argc < 3) return false;
    if (std::strcmp(argv[2], "--men") == 0) {
        const int men = argc == 4 ? std::atoi(argv[3]) : 0;
        if (men < 3 || men > 5) return false;
        for (int c = 1; c < TablebaseClassCount; ++c)
            if (menOf(tablebaseClasses[c].name) <= men) names.push_back(tablebaseClasses[c].name);
        return true;
    }
    for (int i = 2; i < argc; ++i) {
        if (findTablebaseClass(argv[i]) == 0) {
            std::fprintf(stderr, "tb %s: unknown class \"%s\"\n", command, argv[i]);
            return false;
        }
        names.push_back(argv[i]);
    }
    return true;
}

int runGenerate(int argc, char** argv) {
    std::vector<std::string> names;
    if (!classArguments("generate", argc, argv, names)) return generateUsage();
    const std::string dir = argv[1];
    const int threads = int(std::max(1u, std::thread::hardware_concurrency()));
    tbgen::Generator generator(threads, true);
    int status = 0;
    for (const std::string& name : names) {
        std::string error;
        const tbgen::Table* table = generator.table(name, error);
        if (table && !tbgen::writeTableFiles(dir, *table, error)) table = nullptr;
        if (!table) {
            std::fprintf(stderr, "tb generate: %s\n", error.c_str());
            status = 1;
            continue;
        }
        std::printf("%s longest win %d moves\n", name.c_str(), table->longestWin);
        std::fflush(stdout);
    }
    return status;
}

int runVerify(int argc, char** argv) {
    std::vector<std::string> names;
    if (!classArguments("verify", argc, argv, names)) {
        std::fprintf(stderr, "usage: tavik-tool tb verify <dir> (<class>... | --men N)\n");
        return 2;
    }
    int status = 0;
    for (const std::string& name : names)
        if (!verifyTablebase(argv[1], name)) status = 1;
    return status;
}

struct Subcommand {
    const char* name;
    int (*run)(int argc, char** argv);
    const char* help;
};

const Subcommand subcommands[] = {
    {"generate", runGenerate, "generate <dir> (<class>... | --men N)   write plain tables by retrograde analysis"},
    {"verify", runVerify, "verify <dir> (<class>... | --men N)     check every position against its successors"},
};

}  // namespace

int runTablebaseCommand(int argc, char** argv) {
    buildIndexTables();
    if (argc >= 2)
        for (const Subcommand& s : subcommands)
            if (std::strcmp(argv[1], s.name) == 0) return s.run(argc - 1, argv + 1);
    std::fprintf(stderr, "usage: tavik-tool tb <subcommand>\n");
    for (const Subcommand& s : subcommands) std::fprintf(stderr, "  tb %s\n", s.help);
    return 2;
}
