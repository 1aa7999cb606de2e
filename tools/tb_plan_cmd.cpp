#include "tb_plan_cmd.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "tablebases/classes.h"
#include "tablebases/generator.h"

namespace {

int planUsage() {
    std::fprintf(stderr, "usage: tavik-tool tb plan <dir> --men N [--output FILE]\n");
    return 2;
}

// This program's own path, so that the plan runs the same build.
std::string toolPath(const char* fallback) {
    std::error_code failed;
    const auto self = std::filesystem::canonical("/proc/self/exe", failed);
    return failed ? fallback : self.string();
}

std::string joined(const std::vector<std::string>& names, const char* prefix) {
    std::string text;
    for (const std::string& name : names) text += std::string(" ") + prefix + name;
    return text;
}

}  // namespace

int runTbPlanCommand(int argc, char** argv) {
    // argv[0] is "plan".
    if (argc < 4 || std::strcmp(argv[2], "--men") != 0) return planUsage();
    const int men = std::atoi(argv[3]);
    std::string output;
    if (argc == 6 && std::strcmp(argv[4], "--output") == 0) output = argv[5];
    else if (argc != 4) return planUsage();
    if (men < 3 || men > 5) return planUsage();
    std::error_code failed;
    const std::string dir = std::filesystem::absolute(argv[1], failed).lexically_normal().string();
    if (failed || !std::filesystem::is_directory(dir)) {
        std::fprintf(stderr, "tb plan: %s is not a directory\n", argv[1]);
        return 1;
    }
    if (output.empty()) output = dir + "/plan.mk";

    std::vector<std::string> names;
    for (int c = 1; c < TablebaseClassCount; ++c)
        if (classMen(c) <= men) names.push_back(ClassTable[c].name);
    const std::vector<std::string> order = tbgen::dependencyOrder(names);

    std::string text =
        "# Endgame tables of up to " + std::to_string(men) + " men, made by\n"
        "#   make -j <jobs> -f " + output + " [all | verify | compress | <class>]\n"
        "# Each class is a target whose prerequisites are the classes its captures\n"
        "# and promotions lead to; its recipe makes that class alone, reading those\n"
        "# from DIR. A class whose files are whole is skipped, so the plan resumes.\n"
        "# Prefix TOOL with a batch system's blocking submit command to spread the\n"
        "# recipes over machines that share DIR (see README).\n"
        "TOOL ?= " + toolPath("tavik-tool") + "\n"
        "DIR ?= " + dir + "\n\n"
        "CLASSES =" + joined(order, "") + "\n"
        ".PHONY: all verify compress $(CLASSES) $(addprefix verify-,$(CLASSES)) $(addprefix compress-,$(CLASSES))\n"
        "all: $(CLASSES)\n"
        "verify: $(addprefix verify-,$(CLASSES))\n"
        "compress: $(addprefix compress-,$(CLASSES))\n";
    for (const std::string& name : order) {
        text += "\n" + name + ":" + joined(tbgen::successorClasses(name), "") + "\n";
        text += "\t$(TOOL) tb generate $(DIR) " + name + "\n";
        text += "verify-" + name + ": " + name + "\n";
        text += "\t$(TOOL) tb verify $(DIR) " + name + "\n";
        text += "compress-" + name + ": verify-" + name + "\n";
        text += "\t$(TOOL) tb compress $(DIR)/" + name + ".nbw $(DIR)/" + name + ".nbb\n";
    }
    FILE* f = std::fopen(output.c_str(), "w");
    bool ok = f && std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (f) ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        std::fprintf(stderr, "tb plan: cannot write %s\n", output.c_str());
        return 1;
    }
    std::printf("%s: %zu classes\n", output.c_str(), order.size());
    return 0;
}
